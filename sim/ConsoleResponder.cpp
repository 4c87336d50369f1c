#include "sim/ConsoleResponder.h"

#include <algorithm>
#include <cstdio>

#include "protocol/Frame.h"
#include "sim/WireWords.h"

namespace vemkard {
namespace {

bool ChangesStore(std::uint8_t command) {
    return command == cmClearAll || command == cmDeleteFile || command == cmCreateFile;
}

}  // namespace

std::vector<std::uint8_t> ConsoleResponder::Respond(std::span<const std::uint8_t> frame) {
    if (frame.size() < kMinCommandFrame) return {};
    const std::size_t length = frame[kFramePrefixSize];
    const std::uint8_t command = frame[kFramePrefixSize + 1];
    if (command == cmPoll) return {};
    const auto payload = frame.subspan(kFramePrefixSize + 2, length - 1);
    const bool repeated =
        !executeRepeats_ && ChangesStore(command) && std::ranges::equal(frame, previous_);
    previous_.assign(frame.begin(), frame.end());
    return MakeFrame(command, Carry(command, payload, repeated));
}

std::vector<std::uint8_t> ConsoleResponder::Carry(std::uint8_t command,
                                                  std::span<const std::uint8_t> payload,
                                                  bool repeated) {
    std::vector<std::uint8_t> reply;
    switch (command) {
        case cmProgramFlash:
        case cmVerifyFlash:
        case cmProgramEeprom:
        case cmVerifyEeprom:
            return ImageBlock(command, payload);
        case cmReadDirectory:
            reply.push_back(static_cast<std::uint8_t>(store_.Files().size()));
            break;
        case cmReadEntry: {
            const std::uint8_t index = payload.empty() ? 0 : payload[0];
            reply.push_back(index);
            reply.push_back(0);
            if (payload.empty() || index >= store_.Files().size()) {
                // No such entry: type, size and name all empty.
                reply.resize(reply.size() + 5, 0);
                break;
            }
            const auto& file = store_.Files()[index];
            PutWord(reply, file.Type);
            PutWord(reply, file.DataLength);
            reply.push_back(static_cast<std::uint8_t>(file.Name.size()));
            reply.insert(reply.end(), file.Name.begin(), file.Name.end());
            break;
        }
        case cmReadFreeSpace:
            PutWord(reply, store_.FreeSpace());
            break;
        case cmClearAll:
            if (!repeated) store_.ClearAll();
            break;
        case cmDeleteFile:
            if (!repeated && !payload.empty()) store_.DeleteFile(payload[0]);
            break;
        case cmCreateFile:
            if (!repeated) store_.CreateFile(payload);
            break;
        case cmWriteBlock:
            if (payload.size() >= 3 && payload[2] <= payload.size() - 3) {
                store_.WriteBlock(ReadWord(payload, 0), payload.subspan(3, payload[2]));
            }
            break;
        default:
            break;  // unknown commands are acknowledged and otherwise ignored
    }
    return reply;
}

std::vector<std::uint8_t> ConsoleResponder::ImageBlock(std::uint8_t command,
                                                       std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> reply;
    const std::uint16_t address = payload.size() >= 2 ? ReadWord(payload, 0) : 0;
    PutWord(reply, address);
    const bool wellFormed = payload.size() >= 3 && payload[2] <= payload.size() - 3;
    const auto data = wellFormed ? payload.subspan(3, payload[2]) : payload.first(0);
    bool ok = wellFormed;
    switch (command) {
        case cmProgramFlash:
            ok = ok && store_.ProgramFlash(address, data);
            break;
        case cmProgramEeprom:
            ok = ok && store_.ProgramEeprom(address, data);
            break;
        case cmVerifyFlash:
            ok = ok && store_.VerifyFlash(address, data) && verifyErrorAddress_ != address;
            break;
        default:
            ok = ok && store_.VerifyEeprom(address, data) && verifyErrorAddress_ != address;
            break;
    }
    reply.push_back(ok ? 0 : 1);
    return reply;
}

std::string DescribeFrame(std::span<const std::uint8_t> frame) {
    if (frame.size() < kMinCommandFrame) return "(no command)";
    const std::uint8_t command = frame[kFramePrefixSize + 1];
    const auto payload = frame.subspan(kFramePrefixSize + 2, frame[kFramePrefixSize] - 1u);
    char text[160];
    std::string out;
    if (const char* name = CommandName(command)) {
        out = name;
    } else {
        out = "command " + std::to_string(command);
    }
    const auto word = [&payload](std::size_t offset) {
        return unsigned{ReadWord(payload, offset)};
    };
    switch (command) {
        case cmProgramFlash:
        case cmVerifyFlash:
        case cmProgramEeprom:
        case cmVerifyEeprom:
            if (payload.size() == 3) {
                std::snprintf(text, sizeof text, " address=%Xh flag=%u", word(0), payload[2]);
            } else if (payload.size() >= 3) {
                std::snprintf(text, sizeof text, " address=%Xh count=%u", word(0), payload[2]);
            } else {
                text[0] = '\0';
            }
            out += text;
            break;
        case cmReadEntry:
            if (!payload.empty()) out += " index=" + std::to_string(payload[0]);
            if (payload.size() >= 7) {
                std::snprintf(text, sizeof text, " type=%Xh size=%u name-length=%u", word(2),
                              word(4), payload[6]);
                out += text;
            }
            break;
        case cmReadDirectory:
            if (!payload.empty()) out += " files=" + std::to_string(payload[0]);
            break;
        case cmReadFreeSpace:
            if (payload.size() >= 2) out += " free=" + std::to_string(word(0));
            break;
        case cmDeleteFile:
            if (!payload.empty()) out += " index=" + std::to_string(payload[0]);
            break;
        case cmCreateFile:
            if (payload.size() >= 5) {
                std::snprintf(text, sizeof text, " type=%Xh total=%u name-length=%u", word(0),
                              word(2), payload[4]);
                out += text;
            }
            break;
        case cmWriteBlock:
            if (payload.size() >= 3) {
                std::snprintf(text, sizeof text, " offset=%u count=%u", word(0), payload[2]);
                out += text;
            }
            break;
        default:
            break;
    }
    return out;
}

}  // namespace vemkard
