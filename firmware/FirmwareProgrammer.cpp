#include "firmware/FirmwareProgrammer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "files/LocalFile.h"
#include "protocol/LinkAction.h"

namespace vemkard {

namespace {

std::uint16_t ReplyAddress(const TReplyRecord& reply) {
    const auto payload = reply.Payload();
    return static_cast<std::uint16_t>(payload[0] | (payload[1] << 8));
}

}  // namespace

FirmwareProgrammer::FirmwareProgrammer(ConsoleLink& link, IDirectoryReplies& directory,
                                       IUserDialogs& dialogs)
    : link_(link), directory_(directory), dialogs_(dialogs) {
    link_.SetFirmwareReplies(this);
}

FirmwareProgrammer::~FirmwareProgrammer() {
    link_.SetFirmwareReplies(nullptr);
}

void FirmwareProgrammer::ToolButton10Click() {
    if (!dialogs_.ConfirmWarning(kTextConfirmFirmware)) return;
    const std::optional<std::string> path =
        dialogs_.OpenFile(kFirmwareFilter, 1, kFirmwareDefaultExtension);
    if (!path) return;
    const TLinkAction action(link_);
    // A refused image gets no refresh, whose end would report a success.
    if (ProgramFirmware(*path)) directory_.RefreshDirectory();
}

bool FirmwareProgrammer::ProgramFirmware(const std::string& path) {
    const LocalFile file(path);
    if (file.Size() >= kFirmwareSizeLimit) {
        link_.View().SetStatus(kTextFirmwareTooLarge);
        return false;
    }
    const std::vector<std::uint8_t> image = file.ReadAll(kFirmwareSizeLimit);
    // A file that grew since its size was taken, or a device that reports no
    // size, must not wrap the addresses.
    if (image.size() >= kFirmwareSizeLimit) {
        link_.View().SetStatus(kTextFirmwareTooLarge);
        return false;
    }
    if (image.empty()) {
        link_.View().SetStatus(kTextFirmwareEmpty);
        return false;
    }

    // One buffer for every block of both passes. Past the end of the image the
    // last block keeps the bytes of the block before it, so both passes send
    // the same bytes; an image shorter than one block is padded with 0xFF.
    std::array<std::uint8_t, 3 + kFirmwareBlockSize> block;
    block.fill(0xFF);
    for (const std::uint8_t command : {cmProgramFlash, cmVerifyFlash}) {
        std::size_t address = 0;
        do {
            const std::size_t count = std::min(kFirmwareBlockSize, image.size() - address);
            block[0] = static_cast<std::uint8_t>(address & 0xFF);
            block[1] = static_cast<std::uint8_t>(address >> 8);
            block[2] = static_cast<std::uint8_t>(kFirmwareBlockSize);
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(address), count,
                        block.begin() + 3);
            link_.AddCommand(command, block.data(), static_cast<int>(block.size() + 1));
            address += kFirmwareBlockSize;
        } while (address < image.size());
    }
    link_.UpdateQueueProgress();
    return true;
}

bool FirmwareProgrammer::RunQueued() const {
    return std::any_of(link_.Queue().begin(), link_.Queue().end(), [](const TCommandEntry& entry) {
        return entry.Command == cmProgramFlash || entry.Command == cmVerifyFlash;
    });
}

bool FirmwareProgrammer::ConfirmAbandonRun() {
    if (!RunQueued()) return true;
    if (!dialogs_.ConfirmWarning(kTextConfirmAbandonFirmware)) return false;
    // The run may have ended (or failed) while the box was up.
    if (RunQueued()) {
        link_.ClearCommands();
        link_.View().SetStatus(kTextFirmwareAbandoned);
    }
    return true;
}

void FirmwareProgrammer::ShowAddress(const char* format, const TReplyRecord& reply) {
    if (reply.Payload().size() < 2) return;
    char text[128];
    std::snprintf(text, sizeof text, format, unsigned{ReplyAddress(reply)});
    link_.View().SetStatus(text);
}

void FirmwareProgrammer::ShowVerify(const TVerifyTexts& texts, const TReplyRecord& reply) {
    if (reply.Payload().size() < 3) return;
    if (reply.Payload()[2] != 0) {
        ShowAddress(texts.error, reply);
        link_.ClearCommands();
    } else if (link_.QueueLength() == 0) {
        link_.View().SetStatus(texts.done);
    } else {
        ShowAddress(texts.progress, reply);
    }
}

void FirmwareProgrammer::ShowProgramStatus(const TReplyRecord& reply) {
    ShowAddress("Идет программирование по адресу %Xh", reply);
}

void FirmwareProgrammer::ShowVerifyStatus(const TReplyRecord& reply) {
    ShowVerify({"Ошибка верификации по адресу %Xh!", "Программирование успешно завершено",
                "Идет верификация по адресу %Xh"},
               reply);
}

void FirmwareProgrammer::ShowEepromProgramStatus(const TReplyRecord& reply) {
    ShowAddress("Идет программирование EEPROM по адресу %Xh", reply);
}

void FirmwareProgrammer::ShowEepromVerifyStatus(const TReplyRecord& reply) {
    ShowVerify(
        {"Ошибка верификации EEPROM по адресу %Xh!", "Программирование EEPROM успешно завершено",
         "Идет верификация EEPROM по адресу %Xh"},
        reply);
}

}  // namespace vemkard
