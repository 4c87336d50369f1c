// Plain fakes for driving ConsoleLink without a port, a window or a clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/ConsoleLink.h"

namespace vemkard::testing {

class RecordingSerial : public ISerialLink {
  public:
    bool PortOpen() const override { return open; }
    void SetCommPort(const std::string& name) override { portName = name; }
    void SetOddParity() override { oddParity = true; }
    bool OpenPort() override {
        ++opens;
        if (failOpen) throw std::runtime_error("Невозможно открыть порт!");
        open = true;
        return true;
    }
    void ClosePort() override {
        ++closes;
        open = false;
    }
    bool WriteData(const std::uint8_t* data, std::uint16_t count) override {
        writes.emplace_back(data, data + count);
        return !refuseWrites;
    }
    std::uint32_t EscapeComm(std::uint32_t function) override {
        escapes.push_back(function);
        return 1;
    }
    std::string OpenFailure() const override { return failReason; }
    std::chrono::steady_clock::time_point ReceivedAt() const override { return arrival; }

    bool open = false;
    // The read time of every chunk fed; the epoch stands for a link that has none.
    std::chrono::steady_clock::time_point arrival{std::chrono::hours(1)};
    bool failOpen = false;
    std::string failReason;     // given for a failed open
    bool refuseWrites = false;  // as a component without a writer thread
    bool oddParity = false;
    int opens = 0;
    int closes = 0;
    std::string portName;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::uint32_t> escapes;
};

class RecordingView : public ILinkView {
  public:
    void SetStatus(std::string_view text) override { status = text; }
    void SetProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void SetProgressPosition(int position) override { progressPosition = position; }
    void SetQueueCounter(std::string_view text) override { counter = text; }

    std::string status;
    int progressMaximum = 0;
    int progressPosition = 0;
    std::string counter = "0";
};

class FakeTimer : public IReplyTimer {
  public:
    void SetInterval(int milliseconds) override { interval = milliseconds; }
    void Enable() override {
        enabled = true;
        ++starts;
        running = 0;
    }
    void Disable() override { enabled = false; }
    bool Enabled() const override { return enabled; }

    int interval = 0;
    bool enabled = false;
    int starts = 0;   // each Enable starts a full interval
    int running = 0;  // milliseconds since the last start
};

// Records each pause's deadline, and its length in milliseconds counted from
// `origin` when one is given.
class RecordingSleeper : public ISleeper {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    explicit RecordingSleeper(const TimePoint* origin = nullptr) : origin_(origin) {}
    void SleepUntil(TimePoint deadline) override {
        deadlines.push_back(deadline);
        if (origin_) {
            pauses.push_back(static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - *origin_)
                    .count()));
        }
    }
    std::vector<TimePoint> deadlines;
    std::vector<int> pauses;

  private:
    const TimePoint* origin_;
};

// A link with all fakes wired, the port name "/dev/ttyTEST".
struct LinkRig {
    RecordingSerial serial;
    RecordingView view;
    FakeTimer timer;
    RecordingSleeper sleeper{&serial.arrival};
    ConsoleLink link{serial, view, timer, sleeper, [] { return std::string("/dev/ttyTEST"); }};

    void Feed(const std::vector<std::uint8_t>& bytes) {
        link.Comm321ReceiveData(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    }
    // Lets `milliseconds` pass on the fake clock; the timer ticks when its
    // interval has run out since its last start.
    void Elapse(int milliseconds) {
        if (!timer.enabled) return;
        timer.running += milliseconds;
        if (timer.running < timer.interval) return;
        timer.running = 0;
        link.Timer1Timer();
    }
    void Queue(std::uint8_t command, std::vector<std::uint8_t> payload = {}) {
        if (!link.AddCommand(command, payload.data(), static_cast<int>(payload.size()) + 1))
            throw std::logic_error("command refused");
    }
};

inline std::vector<std::uint8_t> Poll() {
    return MakeFrame(cmPoll);
}

inline std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace vemkard::testing
