// Private to serial/: one open of a TComm32. Messages carry a weak reference
// to it, so that a message still queued after its open was closed raises nothing.
#pragma once

namespace vemkard {

class TComm32;

class TCommSession {
  public:
    explicit TCommSession(TComm32* owner) : Owner(owner) {}
    TComm32* const Owner;
};

}  // namespace vemkard
