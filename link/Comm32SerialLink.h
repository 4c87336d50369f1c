// Joins the serial component to the protocol core: the protocol's view of the
// port, served by a TComm32. Thread rules: those of TComm32 (owner thread only).
#pragma once

#include "protocol/LinkInterfaces.h"
#include "serial/Comm32.h"

namespace vemkard {

class Comm32SerialLink : public ISerialLink {
  public:
    explicit Comm32SerialLink(TComm32& comm) : comm_(comm) {}

    bool PortOpen() const override { return comm_.PortOpen(); }
    void SetCommPort(const std::string& name) override { comm_.SetCommPort(name); }
    void SetOddParity() override { comm_.SetParity(pOdd); }
    bool OpenPort() override { return comm_.OpenPort(); }  // throws ECommsError
    void ClosePort() override { comm_.ClosePort(); }
    bool WriteData(const std::uint8_t* data, std::uint16_t count) override {
        return comm_.WriteData(data, count);
    }
    std::uint32_t EscapeComm(std::uint32_t function) override { return comm_.EscapeComm(function); }

  private:
    TComm32& comm_;
};

}  // namespace vemkard
