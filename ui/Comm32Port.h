// `Comm321`: the serial component with the settings the main window gives it
// (odd parity, no flow control, event character 0), seen through the
// window's port interface. It is also the component's message target: each
// message the serial threads post is queued to the Qt event loop of the
// thread that made this object and handed to the component there, and that
// loop watches the open port, so the component reads it on this thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>

#include "forms/WindowPort.h"
#include "link/Comm32SerialLink.h"
#include "serial/Comm32.h"
#include "serial/CommMessage.h"

namespace vemkard {

class TComm32Port : public IWindowPort, public ICommMessageTarget {
  public:
    TComm32Port();
    ~TComm32Port() override;

    // ICommMessageTarget; any thread.
    bool Post(TCommMessage message) override;
    // ICommMessageTarget; the thread that made the object.
    bool WatchPort(int port, std::function<void()> readable) override;
    void UnwatchPort(int port) override;

    // IWindowPort; the thread that made the object.
    ISerialLink& Link() override { return link_; }
    void SetBaudRate(std::uint32_t rate) override { comm_.SetBaudRate(rate); }
    std::uint32_t BaudRate() const override { return comm_.BaudRate(); }
    void SetReceiveHandler(std::function<void(const void*, std::uint16_t)> handler) override {
        comm_.OnReceiveData = std::move(handler);
    }
    void ProbePort(const std::string& name) override { comm_.ProbePort(name); }

    TComm32& Component() { return comm_; }

  private:
    // Lives on the owner thread; queued calls to it run there, and those
    // still queued when it goes are dropped.
    QObject context_;
    // Watches the open port; a child of context_, so one whose deletion was
    // left to the loop still goes with it.
    QSocketNotifier* portNotifier_ = nullptr;
    int portCalls_ = 0;  // notifier calls under way (a modal loop may nest them)
    TComm32 comm_;
    Comm32SerialLink link_{comm_};
};

}  // namespace vemkard
