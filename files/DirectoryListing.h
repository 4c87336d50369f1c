// Reading and showing the console's directory: the file count, one entry per
// file and the free space, as a chain of queued commands answered one by one.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/DirectoryGrid.h"
#include "protocol/ConsoleLink.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

enum TFileType : std::uint16_t {
    ftYearPlan = 1,
    ftVolumePlan = 0x10,
    ftIntersection = 0x4D52,
    ftProgram = 0x8000,
};

// One file of the listing as the console reported it; the grid row shows it
// as text.
struct TListedFile {
    bool Listed = false;  // its entry reply has come
    std::uint16_t FileType = 0;
    std::uint16_t Size = 0;
};

// Free space assumed until the console first reports it.
inline constexpr std::int32_t kInitialFreeSpace = 10000;

// The text shown for a file type code; unknown codes give
// "Неизвестный тип <code in upper-case hex>h".
std::string FileTypeName(std::uint16_t fileType);

class DirectoryListing : public IDirectoryReplies {
  public:
    // Registers itself with `link` for the directory replies.
    DirectoryListing(ConsoleLink& link, DirectoryGrid& grid);
    ~DirectoryListing() override;
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    // Refresh button: opens the link, then queues a refresh.
    void ToolButton4Click();

    // Queues cmReadDirectory and sets the progress bar. Does not open the link.
    void RefreshDirectory() override;
    // Each reply handler ignores a payload shorter than its fixed fields.

    // Reply to cmReadDirectory: resizes and empties the grid, queues one entry
    // read per file and the free-space read.
    void HandleDirectoryReply(std::span<const std::uint8_t> payload) override;
    // Reply to cmReadEntry: fills the row that the reply's own index names.
    // An index at or past the free-space row is ignored; a name that runs past
    // the end of the frame shows the bytes the frame holds.
    void HandleEntryReply(std::span<const std::uint8_t> payload) override;
    // Reply to cmReadFreeSpace: stores it and shows it in the last row.
    void HandleFreeSpaceReply(std::span<const std::uint8_t> payload) override;

    // Bytes free on the console as last reported (10000 before that).
    std::int32_t FreeSpace() const { return freeSpace_; }
    // The files of the latest directory reply, by entry index (grid row - 1).
    const std::vector<TListedFile>& Files() const { return files_; }

  private:
    ConsoleLink& link_;
    DirectoryGrid& grid_;
    std::vector<TListedFile> files_;
    std::int32_t freeSpace_ = kInitialFreeSpace;
};

}  // namespace vemkard
