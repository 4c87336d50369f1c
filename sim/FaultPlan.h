// Faults that the simulated console puts on the line, drawn from one seeded
// generator so that every failing run can be repeated with its seed.
//
// Thread rules: used by the simulator's wire thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace vemkard {

struct FaultRates {
    double lose = 0;    // a reply is not sent (the command was carried out)
    double damage = 0;  // one byte of a sent frame is changed
    // One bit of a poll's length byte flips (checksum left as it was), so the
    // program's receiver waits for a long frame that is not there.
    double damageLength = 0;
    double noise = 0;      // a few random bytes go out before a frame
    double split = 0;      // a frame goes out in small pieces with short gaps
    double duplicate = 0;  // a reply is sent twice
    double delay = 0;      // the reply waits delayMs first
    int delayMs = 0;
    // After this many replies the console sends nothing more; negative: never.
    long silentAfter = -1;
    // After this many replies the console stops reading the line but still
    // polls, so that the program's output backs up in the driver; negative: never.
    long deafAfter = -1;
    // Verify replies for this block address report an error.
    std::optional<std::uint16_t> verifyErrorAddress{};

    bool Any() const {
        return lose > 0 || damage > 0 || damageLength > 0 || noise > 0 || split > 0 ||
               duplicate > 0 || (delay > 0 && delayMs > 0) || silentAfter >= 0 || deafAfter >= 0 ||
               verifyErrorAddress.has_value();
    }
};

class FaultPlan {
  public:
    static constexpr std::size_t kMaxNoiseBytes = 8;
    static constexpr std::size_t kMaxPiece = 4;

    explicit FaultPlan(FaultRates rates = {}, std::uint32_t seed = 1)
        : rates_(rates), random_(seed) {}

    const FaultRates& Rates() const { return rates_; }

    bool LoseReply() { return Chance(rates_.lose); }
    bool DuplicateReply() { return Chance(rates_.duplicate); }
    // Milliseconds to wait before this reply (0: none).
    int ReplyDelay() { return rates_.delayMs > 0 && Chance(rates_.delay) ? rates_.delayMs : 0; }
    bool Silent(std::uint64_t repliesSent) const {
        return rates_.silentAfter >= 0 && repliesSent >= std::uint64_t(rates_.silentAfter);
    }

    bool Deaf(std::uint64_t repliesSent) const {
        return rates_.deafAfter >= 0 && repliesSent >= std::uint64_t(rates_.deafAfter);
    }

    // Changes one byte of `frame` (to a different value) at the damage rate.
    // Returns whether it did.
    bool Damage(std::vector<std::uint8_t>& frame);
    // Flips one of the bits 1..7 of the length byte of `frame` (a poll, so
    // that L grows) at the damageLength rate. Returns whether it did.
    bool DamageLength(std::vector<std::uint8_t>& frame);
    // Random bytes to send before a frame: none, or 1 .. kMaxNoiseBytes.
    std::vector<std::uint8_t> Noise();
    // Sizes of the writes a frame of `length` bytes goes out in: the whole
    // frame, or pieces of 1 .. kMaxPiece bytes. They add up to `length`.
    std::vector<std::size_t> Pieces(std::size_t length);

    // How many faults have been put on the line so far.
    std::uint64_t Injected() const { return injected_; }

  private:
    bool Chance(double rate);
    std::size_t Uniform(std::size_t low, std::size_t high);

    FaultRates rates_;
    std::mt19937 random_;
    std::uint64_t injected_ = 0;
};

}  // namespace vemkard
