#include "sim/FaultPlan.h"

#include "protocol/Frame.h"

namespace vemkard {

bool FaultPlan::Chance(double rate) {
    // Draw only when the fault is on, so that switching one fault on does not
    // change the sequence that another fault sees from the same seed.
    if (rate <= 0) return false;
    const bool hit = rate >= 1 || std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
    if (hit) ++injected_;
    return hit;
}

std::size_t FaultPlan::Uniform(std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random_);
}

bool FaultPlan::Damage(std::vector<std::uint8_t>& frame) {
    if (frame.empty() || !Chance(rates_.damage)) return false;
    const std::size_t at = Uniform(0, frame.size() - 1);
    frame[at] = static_cast<std::uint8_t>(frame[at] ^ Uniform(1, 255));
    return true;
}

bool FaultPlan::DamageLength(std::vector<std::uint8_t>& frame) {
    if (frame.size() <= kFramePrefixSize || !Chance(rates_.damageLength)) return false;
    frame[kFramePrefixSize] ^= static_cast<std::uint8_t>(1u << Uniform(1, 7));
    return true;
}

std::vector<std::uint8_t> FaultPlan::Noise() {
    std::vector<std::uint8_t> bytes;
    if (!Chance(rates_.noise)) return bytes;
    bytes.resize(Uniform(1, kMaxNoiseBytes));
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(Uniform(0, 255));
    return bytes;
}

std::vector<std::size_t> FaultPlan::Pieces(std::size_t length) {
    if (length == 0) return {};
    if (!Chance(rates_.split)) return {length};
    std::vector<std::size_t> pieces;
    for (std::size_t left = length; left > 0;) {
        const std::size_t piece = std::min(left, Uniform(1, kMaxPiece));
        pieces.push_back(piece);
        left -= piece;
    }
    return pieces;
}

}  // namespace vemkard
