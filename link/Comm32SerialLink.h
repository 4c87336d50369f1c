// Joins the serial component to the protocol core: the protocol's view of the
// port, served by a TComm32. Thread rules: those of TComm32 (owner thread only).
#pragma once

#include <optional>
#include <string>

#include "protocol/LinkInterfaces.h"
#include "serial/Comm32.h"
#include "serial/OpenFailureReason.h"

namespace vemkard {

class Comm32SerialLink : public ISerialLink {
  public:
    explicit Comm32SerialLink(TComm32& comm) : comm_(comm) {}

    bool PortOpen() const override { return comm_.PortOpen(); }
    void SetCommPort(const std::string& name) override { comm_.SetCommPort(name); }
    void SetOddParity() override { comm_.SetParity(pOdd); }
    // Throws ECommsError, and keeps it for OpenFailure.
    bool OpenPort() override {
        lastError_.reset();
        try {
            return comm_.OpenPort();
        } catch (const ECommsError& error) {
            lastError_ = error;
            lastPort_ = comm_.CommPort();
            throw;
        }
    }
    void ClosePort() override { comm_.ClosePort(); }
    bool WriteData(const std::uint8_t* data, std::uint16_t count) override {
        return comm_.WriteData(data, count);
    }
    std::uint32_t EscapeComm(std::uint32_t function) override { return comm_.EscapeComm(function); }
    std::chrono::steady_clock::time_point ReceivedAt() const override { return comm_.ReceivedAt(); }

    // The error of the latest open, when it failed.
    const std::optional<ECommsError>& LastOpenError() const { return lastError_; }
    // Why the latest open failed, as a sentence for the user; empty when it did not.
    std::string OpenFailure() const override {
        return lastError_ ? OpenFailureReason(*lastError_, lastPort_) : std::string();
    }

  private:
    TComm32& comm_;
    std::optional<ECommsError> lastError_;
    std::string lastPort_;
};

}  // namespace vemkard
