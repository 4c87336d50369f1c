// The serial component as the windows use it: the protocol's view of it, plus
// the line speed chosen by the device buttons and the receive-data event.
// User-interface thread only; the receive handler is called on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "protocol/LinkInterfaces.h"

namespace vemkard {

inline constexpr std::uint32_t kDefaultBaudRate = 9600;

class IWindowPort {
  public:
    virtual ~IWindowPort() = default;
    // The port as the protocol sees it.
    virtual ISerialLink& Link() = 0;
    // Stored; applied to an open port at once.
    virtual void SetBaudRate(std::uint32_t rate) = 0;
    virtual std::uint32_t BaudRate() const = 0;
    // OnReceiveData: each received chunk, on the user-interface thread.
    virtual void SetReceiveHandler(std::function<void(const void*, std::uint16_t)> handler) = 0;
    // The port scan's test of one name with the current settings: throws when
    // the port would not open (missing, busy, refusing the settings), and
    // leaves the port as it found it either way.
    virtual void ProbePort(const std::string& name) = 0;
};

}  // namespace vemkard
