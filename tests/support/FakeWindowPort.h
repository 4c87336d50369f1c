// A serial port for the windows that only records what it is told. Its
// journal outlives the port, so a test can read what the window did to the
// port while it was being destroyed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/WindowPort.h"

namespace vemkard::testing {

using Journal = std::vector<std::string>;

class RecordingPort : public ISerialLink {
  public:
    explicit RecordingPort(std::shared_ptr<Journal> journal) : journal_(std::move(journal)) {}

    bool PortOpen() const override { return open; }
    void SetCommPort(const std::string& name) override { commPort = name; }
    void SetOddParity() override { journal_->push_back("parity"); }
    bool OpenPort() override {
        journal_->push_back("open " + commPort);
        if (failOpen || refused.count(commPort) != 0) throw std::runtime_error(failMessage);
        open = true;
        return true;
    }
    void ClosePort() override {
        journal_->push_back("close");
        if (!stuckOpen) open = false;
    }
    bool WriteData(const std::uint8_t* data, std::uint16_t count) override {
        written.emplace_back(data, data + count);
        return true;
    }
    std::uint32_t EscapeComm(std::uint32_t) override { return 1; }

    bool open = false;
    bool failOpen = false;
    // ClosePort leaves the port open (a port that cannot be closed).
    bool stuckOpen = false;
    std::string failMessage = "порт не открывается";
    std::set<std::string> refused;
    std::string commPort = "COM2";
    std::vector<std::vector<std::uint8_t>> written;

  private:
    std::shared_ptr<Journal> journal_;
};

class FakeWindowPort : public IWindowPort {
  public:
    explicit FakeWindowPort(std::shared_ptr<Journal> journal = std::make_shared<Journal>())
        : journal(journal), port(journal) {}

    ISerialLink& Link() override { return port; }
    void SetBaudRate(std::uint32_t rate) override {
        journal->push_back("baud " + std::to_string(rate));
        baudRate = rate;
    }
    std::uint32_t BaudRate() const override { return baudRate; }
    void SetReceiveHandler(std::function<void(const void*, std::uint16_t)> handler) override {
        receive = std::move(handler);
    }
    void ProbePort(const std::string& name) override {
        journal->push_back("probe " + name);
        if (port.refused.count(name) != 0) throw std::runtime_error(port.failMessage);
    }

    std::shared_ptr<Journal> journal;
    RecordingPort port;
    std::uint32_t baudRate = kDefaultBaudRate;
    std::function<void(const void*, std::uint16_t)> receive;
};

}  // namespace vemkard::testing
