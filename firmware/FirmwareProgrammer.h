// Writing the console's main firmware image: every 32-byte block is queued
// twice, first to program it and then to verify it, followed by a directory
// refresh. The replies move the status line along; a verify error abandons
// the rest. User-interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "files/UserDialogs.h"
#include "protocol/ConsoleLink.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

inline constexpr std::string_view kFirmwareFilter = "Зашифрованные прошивки|*.mts";
inline constexpr std::string_view kFirmwareDefaultExtension = "*.mts";
// Line feed, then carriage return, between the two sentences.
inline constexpr std::string_view kTextConfirmFirmware =
    "Все данные в пульте будут утеряны!\n\rПодтвердите операцию";
// Asked before an action would cut a firmware run off.
inline constexpr std::string_view kTextConfirmAbandonFirmware =
    "Идет запись основной программы!\n\rПрервать операцию?";
inline constexpr std::string_view kTextFirmwareAbandoned = "Запись основной программы прервана";
inline constexpr std::string_view kTextFirmwareTooLarge = "Файл слишком большой!";
inline constexpr std::string_view kTextFirmwareEmpty = "Файл прошивки пуст";

// Block addresses are 16-bit, so an image must stay below 64 KiB.
inline constexpr std::uint64_t kFirmwareSizeLimit = 65536;
inline constexpr std::size_t kFirmwareBlockSize = 32;

class FirmwareProgrammer : public IFirmwareReplies {
  public:
    // Registers itself with `link` for the firmware replies. `directory`
    // queues the refresh that follows the two passes.
    FirmwareProgrammer(ConsoleLink& link, IDirectoryReplies& directory, IUserDialogs& dialogs);
    ~FirmwareProgrammer() override;
    FirmwareProgrammer(const FirmwareProgrammer&) = delete;
    FirmwareProgrammer& operator=(const FirmwareProgrammer&) = delete;

    // Firmware button: after a Yes to the warning box and a chosen image,
    // opens the link, queues both passes and then the refresh. A refused
    // image queues nothing, not even the refresh; with nothing else queued
    // the link is closed again. Throws EFOpenError (nothing queued either)
    // when the image cannot be opened or read.
    void ToolButton10Click();

    // Reads the image at `path` and queues the program pass and the verify
    // pass; true when it did. An image of 64 KiB or more, or an empty one,
    // is refused on the status line (false). Throws EFOpenError.
    bool ProgramFirmware(const std::string& path);

    // True while blocks of a firmware run (program or verify) are queued.
    bool RunQueued() const;
    // Asked before an action that would cut a run off (the settings dialog,
    // a device change, closing the window). With no run queued: true. Else
    // the warning box asks whether to abandon it: Yes empties the queue,
    // closes the link, says the write was interrupted and gives true; No
    // changes nothing and gives false.
    bool ConfirmAbandonRun();

    // Each status handler ignores a reply too short for the fields it reads.
    void ShowProgramStatus(const TReplyRecord& reply) override;
    // A set error flag shows the failing address and clears the queue.
    void ShowVerifyStatus(const TReplyRecord& reply) override;
    void ShowEepromProgramStatus(const TReplyRecord& reply) override;
    void ShowEepromVerifyStatus(const TReplyRecord& reply) override;

  private:
    struct TVerifyTexts {
        const char* error;
        std::string_view done;
        const char* progress;
    };
    void ShowAddress(const char* format, const TReplyRecord& reply);
    void ShowVerify(const TVerifyTexts& texts, const TReplyRecord& reply);

    ConsoleLink& link_;
    IDirectoryReplies& directory_;
    IUserDialogs& dialogs_;
};

}  // namespace vemkard
