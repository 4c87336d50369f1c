// Private to serial/: how a MessageLoop sleeps and is woken on POSIX, in
// ppoll() on its wake-up event and the ports it watches.
//
// Thread rules: Wake may be called on any thread; everything else belongs
// to the loop thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "serial/posix/PortBackend.h"

struct timespec;

namespace vemkard {

class TLoopWaiter {
  public:
    using Clock = std::chrono::steady_clock;

    // Wakes a Sleep under way or the next one.
    void Wake() { wake_.Set(); }
    // Sleeps until woken, a watched port is ready or `until` (max: no limit);
    // the ready ports are noted for RunReady.
    void Sleep(Clock::time_point until);
    // Notes the ports that are ready now, without waiting.
    void Look();
    // Calls the noted ports' callbacks, `check` after each; false when it said stop.
    bool RunReady(const std::function<bool()>& check, std::size_t& ran);

    bool Watch(int port, std::function<void()> readable);
    void Unwatch(int port);

  private:
    // Waits in ppoll() at most `timeout` (null: without limit), noting ready ports.
    void PollPorts(const timespec* timeout);

    serial_backend::Event wake_;
    // Watched ports by descriptor, each with a number of its own, and the
    // numbers found readable, called in the next round.
    struct TWatch {
        std::uint64_t id;
        std::function<void()> readable;
    };
    std::map<int, TWatch> watches_;
    std::uint64_t nextWatch_ = 1;
    std::vector<std::pair<int, std::uint64_t>> readablePorts_;
};

}  // namespace vemkard
