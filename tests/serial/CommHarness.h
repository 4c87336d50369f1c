// A TComm32 on a pseudo-terminal, owned by a MessageLoop on the test thread,
// with a target that records every message the threads post.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "serial/Comm32.h"
#include "serial/MessageLoop.h"
#include "serial/posix/PtyPair.h"

namespace vemkard::testing {

using namespace std::chrono_literals;

// Generous: the machine may be loaded, and a wait ends as soon as it is met.
inline constexpr auto kPatience = 20s;

// Records what the threads post, then hands it to the loop. With
// `ownerReads` the loop also watches the port, and the component reads it on
// the loop's thread.
class RecordingTarget final : public ICommMessageTarget {
  public:
    explicit RecordingTarget(MessageLoop& loop, bool ownerReads = false)
        : loop_(loop), ownerReads_(ownerReads) {}

    bool WatchPort(int port, std::function<void()> readable) override {
        return ownerReads_ && loop_.WatchPort(port, std::move(readable));
    }
    void UnwatchPort(int port) override { loop_.UnwatchPort(port); }

    bool Post(TCommMessage message) override {
        const std::uint32_t msg = message.Msg;
        // Counted once queued, so that a count seen means a message the loop has.
        const bool queued = loop_.Post(std::move(message));
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(msg);
        }
        postedChanged_.notify_all();
        return queued;
    }

    int Count(std::uint32_t msg) const {
        std::lock_guard lock(mutex_);
        return CountLocked(msg);
    }

    // Waits (without running the loop) until `count` messages `msg` were posted.
    bool WaitPosted(std::uint32_t msg, int count) const {
        std::unique_lock lock(mutex_);
        return postedChanged_.wait_for(lock, kPatience, [&] { return CountLocked(msg) >= count; });
    }

  private:
    int CountLocked(std::uint32_t msg) const {
        int n = 0;
        for (const auto m : posted_) n += m == msg ? 1 : 0;
        return n;
    }

    MessageLoop& loop_;
    const bool ownerReads_;
    mutable std::mutex mutex_;
    mutable std::condition_variable postedChanged_;
    std::vector<std::uint32_t> posted_;
};

struct CommHarness {
    MessageLoop loop;
    RecordingTarget target;
    PtyPair pty;
    std::vector<std::vector<std::uint8_t>> chunks;
    int hangups = 0;
    TComm32 comm{target};  // last: closed before the rest goes

    explicit CommHarness(bool ownerReads = false) : target(loop, ownerReads) {
        comm.SetCommPort(pty.SlaveName());
        comm.OnReceiveData = [this](const void* buffer, std::uint16_t length) {
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            EXPECT_EQ(bytes[length], 0) << "a zero byte follows each chunk";
            chunks.emplace_back(bytes, bytes + length);
        };
        comm.OnRequestHangup = [this](TComm32&) { ++hangups; };
    }

    std::vector<std::uint8_t> Received() const {
        std::vector<std::uint8_t> all;
        for (const auto& chunk : chunks) all.insert(all.end(), chunk.begin(), chunk.end());
        return all;
    }

    bool RunUntilReceived(std::size_t count) {
        return loop.RunUntil([&] { return Received().size() >= count; }, kPatience);
    }

    // Both threads have posted WM_COMM_STARTED for the current open.
    bool WaitStarted(int opens = 1) { return target.WaitPosted(WM_COMM_STARTED, 2 * opens); }
};

// Deterministic bytes that differ from chunk to chunk.
inline std::vector<std::uint8_t> Pattern(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

}  // namespace vemkard::testing
