// The line trace: what went over the line, as the serial component handed it
// over, one line per frame in each direction and one per run of bytes that
// was no frame:
//
//     time ms  dir  bytes in hex  decoded
//       21.4   <-   5C 59 53 57 01 00 9F  cmPoll
//       43.0   ->   5C 59 53 57 01 10 8F  cmReadDirectory
//
// "->" went to the console, "<-" came from it. Frames are found as the
// receiver finds them; a matched prefix whose frame fails its checksum is
// marked damaged, other bytes noise, and what is still incomplete when the
// port closes as such.
//
// Thread rules: the serial component's owner thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "serial/Comm32.h"

namespace vemkard {

// The decoded part of the line of one whole, valid frame.
std::string DescribeTracedFrame(TTraceDirection direction, std::span<const std::uint8_t> frame);

class TLineTrace {
  public:
    using Clock = std::chrono::steady_clock;

    // Lines go to `out`, flushed each; times count from `start`.
    TLineTrace(std::ostream& out, Clock::time_point start);

    // A chunk as the serial component hands it over.
    void Add(const TTraceChunk& chunk);
    // Writes what both directions still hold; called when the port closes.
    void Flush();

  private:
    // One direction's bytes that are not yet written out.
    struct TStream {
        TTraceDirection direction;
        // Bytes the frame search has not passed yet (a frame still arriving).
        std::vector<std::uint8_t> waiting;
        // Bytes passed that were no frame, not yet written (kept so that a run
        // of noise over several chunks stays one line), and when the last of
        // them was passed.
        std::vector<std::uint8_t> noFrame;
        Clock::time_point noFrameTime{};
        Clock::time_point time{};  // of the latest chunk
    };

    void Scan(TStream& stream);
    void PassNoFrame(TStream& stream, const std::uint8_t* from, const std::uint8_t* to);
    // Writes the no-frame bytes held, split where a prefix starts.
    void WriteNoFrame(TStream& stream, bool portClosed);
    void WriteLine(TTraceDirection direction, Clock::time_point time,
                   std::span<const std::uint8_t> bytes, const std::string& text);

    std::ostream& out_;
    Clock::time_point start_;
    TStream received_{TTraceDirection::Received, {}, {}, {}, {}};
    TStream sent_{TTraceDirection::Sent, {}, {}, {}, {}};
};

}  // namespace vemkard
