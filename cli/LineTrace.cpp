#include "cli/LineTrace.h"

#include <algorithm>
#include <cstdio>

#include "files/Cp1251.h"
#include "files/DirectoryListing.h"
#include "protocol/Frame.h"

namespace vemkard {
namespace {

using Bytes = std::span<const std::uint8_t>;

unsigned Word(Bytes bytes, std::size_t offset) {
    return unsigned{bytes[offset]} | unsigned{bytes[offset + 1]} << 8;
}

std::string Format(const char* format, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string Hex(Bytes bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) text += ' ';
        text += Format("%02X", unsigned{bytes[i]});
    }
    return text;
}

// A name as the console keeps it (CP1251), n bytes from `at`, cut to the frame.
std::string Name(Bytes payload, std::size_t at, std::size_t n) {
    const std::size_t count = std::min(n, payload.size() - std::min(at, payload.size()));
    const auto* bytes = reinterpret_cast<const char*>(payload.data() + at);
    return "«" + Cp1251ToUtf8(std::string_view(bytes, count)) + "»";
}

std::string Type(unsigned code) {
    return Format("%Xh (", code) + FileTypeName(static_cast<std::uint16_t>(code)) + ")";
}

// The fields of a command the program sends.
std::string Request(std::uint8_t command, Bytes p, bool& shortFrame) {
    switch (command) {
        case cmProgramFlash:
        case cmVerifyFlash:
        case cmProgramEeprom:
        case cmVerifyEeprom:
            if ((shortFrame = p.size() < 3)) return {};
            return Format("адрес %Xh, длина %u", Word(p, 0), unsigned{p[2]});
        case cmReadEntry:
        case cmDeleteFile:
            if ((shortFrame = p.empty())) return {};
            return Format("индекс %u", unsigned{p[0]});
        case cmCreateFile: {
            if ((shortFrame = p.size() < 5)) return {};
            const std::size_t n = p[4];
            std::string text = "тип " + Type(Word(p, 0)) + ", имя " + Name(p, 5, n) +
                               Format(", длина %u", Word(p, 2));
            if ((shortFrame = p.size() < n + 7)) return text;
            return text + Format(", данных %u", Word(p, 5 + n));
        }
        case cmWriteBlock:
            if ((shortFrame = p.size() < 3)) return {};
            return Format("смещение %u, длина %u", Word(p, 0), unsigned{p[2]});
        default:
            return {};
    }
}

// The fields of a frame the console sends.
std::string Reply(std::uint8_t command, Bytes p, bool& shortFrame) {
    switch (command) {
        case cmProgramFlash:
        case cmProgramEeprom:
            if ((shortFrame = p.size() < 2)) return {};
            return Format("адрес %Xh", Word(p, 0));
        case cmVerifyFlash:
        case cmVerifyEeprom:
            if ((shortFrame = p.size() < 3)) return {};
            if (p[2] == 0) return Format("адрес %Xh, верно", Word(p, 0));
            return Format("адрес %Xh, ОШИБКА ВЕРИФИКАЦИИ (флаг %u)", Word(p, 0), unsigned{p[2]});
        case cmReadDirectory:
            if ((shortFrame = p.empty())) return {};
            return Format("файлов %u", unsigned{p[0]});
        case cmReadEntry:
            if ((shortFrame = p.size() < 7)) return {};
            return Format("индекс %u, тип ", unsigned{p[0]}) + Type(Word(p, 2)) +
                   Format(", размер %u, имя ", Word(p, 4)) + Name(p, 7, p[6]);
        case cmReadFreeSpace:
            if ((shortFrame = p.size() < 2)) return {};
            return Format("свободно %u байт", Word(p, 0));
        default:
            return {};
    }
}

const std::uint8_t* FindPrefix(const std::uint8_t* from, const std::uint8_t* end) {
    return std::search(from, end, kFramePrefix.begin(), kFramePrefix.end());
}

}  // namespace

std::string DescribeTracedFrame(TTraceDirection direction, Bytes frame) {
    const std::uint8_t length = frame[kFramePrefixSize];
    if (length == 0) return "кадр без команды";
    const std::uint8_t command = frame[kFramePrefixSize + 1];
    const Bytes payload = frame.subspan(kFramePrefixSize + 2, length - 1u);
    const char* name = CommandName(command);
    std::string text = name ? name : Format("команда %u (нет в таблице)", unsigned{command});
    bool shortFrame = false;
    const std::string fields = direction == TTraceDirection::Sent
                                   ? Request(command, payload, shortFrame)
                                   : Reply(command, payload, shortFrame);
    if (!fields.empty()) text += " " + fields;
    if (shortFrame) text += " (короткий кадр)";
    return text;
}

TLineTrace::TLineTrace(std::ostream& out, Clock::time_point start) : out_(out), start_(start) {}

void TLineTrace::Add(const TTraceChunk& chunk) {
    TStream& stream = chunk.Direction == TTraceDirection::Sent ? sent_ : received_;
    // Noise held for the other direction came first: keep the lines in time order.
    WriteNoFrame(stream.direction == TTraceDirection::Sent ? received_ : sent_, false);
    stream.waiting.insert(stream.waiting.end(), chunk.Bytes.begin(), chunk.Bytes.end());
    stream.time = chunk.Time;
    Scan(stream);
}

void TLineTrace::Flush() {
    for (TStream* stream : {&received_, &sent_}) {
        PassNoFrame(*stream, stream->waiting.data(),
                    stream->waiting.data() + stream->waiting.size());
        stream->waiting.clear();
        WriteNoFrame(*stream, true);
    }
}

void TLineTrace::Scan(TStream& stream) {
    const std::uint8_t* bytes = stream.waiting.data();
    const int size = static_cast<int>(stream.waiting.size());
    int done = 0;
    int from = 0;
    while (const auto at = NextFrame(bytes, from, size)) {
        PassNoFrame(stream, bytes + done, bytes + *at);
        WriteNoFrame(stream, false);
        const Bytes frame(bytes + *at, bytes[*at + kFramePrefixSize] + kFrameOverhead);
        WriteLine(stream.direction, stream.time, frame,
                  DescribeTracedFrame(stream.direction, frame));
        done = from = *at + static_cast<int>(frame.size());
    }
    // Nothing before `from` can start a frame any more, nor can the bytes
    // after it that do not begin like a prefix.
    int keep = std::max(done, from);
    while (keep < size &&
           !std::equal(bytes + keep, bytes + std::min(size, keep + int(kFramePrefixSize)),
                       kFramePrefix.begin()))
        ++keep;
    PassNoFrame(stream, bytes + done, bytes + keep);
    stream.waiting.erase(stream.waiting.begin(), stream.waiting.begin() + keep);
}

void TLineTrace::PassNoFrame(TStream& stream, const std::uint8_t* from, const std::uint8_t* to) {
    if (from == to) return;
    stream.noFrame.insert(stream.noFrame.end(), from, to);
    stream.noFrameTime = stream.time;
}

void TLineTrace::WriteNoFrame(TStream& stream, bool portClosed) {
    const auto line = [&](Bytes bytes, const std::string& text) {
        WriteLine(stream.direction, stream.noFrameTime, bytes, text);
    };
    const std::uint8_t* at = stream.noFrame.data();
    const std::uint8_t* end = at + stream.noFrame.size();
    while (at < end) {
        const bool prefix = end - at >= 4 && FindPrefix(at, at + 4) == at;
        const std::uint8_t* next = FindPrefix(at + (prefix ? 1 : 0), end);
        const Bytes piece(at, next);
        if (!prefix) {
            line(piece, "ШУМ");
        } else if (piece.size() <= kFramePrefixSize) {
            line(piece, next == end && portClosed
                            ? Format("НЕПОЛНЫЙ КАДР: пришло %zu байт", piece.size())
                            : std::string("ПОВРЕЖДЁН: оборван"));
        } else {
            const std::size_t need = piece[kFramePrefixSize] + kFrameOverhead;
            if (piece.size() >= need) {
                const Bytes frame = piece.first(need);
                const std::uint8_t sum = FrameChecksum(frame.data());
                line(frame, sum == frame[need - 1]
                                ? DescribeTracedFrame(stream.direction, frame)
                                : Format("ПОВРЕЖДЁН: контрольная сумма %02Xh, должна быть %02Xh",
                                         unsigned{frame[need - 1]}, unsigned{sum}));
                if (piece.size() > need) line(piece.subspan(need), "ШУМ");
            } else if (next == end && portClosed) {
                line(piece, Format("НЕПОЛНЫЙ КАДР: пришло %zu из %zu байт", piece.size(), need));
            } else {
                line(piece, Format("ПОВРЕЖДЁН: оборван, по длине %zu байт", need));
            }
        }
        at = next;
    }
    stream.noFrame.clear();
}

void TLineTrace::WriteLine(TTraceDirection direction, Clock::time_point time, Bytes bytes,
                           const std::string& text) {
    const double ms = std::chrono::duration<double, std::milli>(time - start_).count();
    out_ << Format("%9.1f %s ", ms, direction == TTraceDirection::Sent ? "->" : "<-") << Hex(bytes)
         << "  " << text << std::endl;
}

}  // namespace vemkard
