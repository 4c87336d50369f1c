#include "files/DirectoryListing.h"

#include <algorithm>
#include <cstdio>

#include "files/Cp1251.h"

namespace vemkard {

namespace {

std::uint16_t Word(std::span<const std::uint8_t> payload, std::size_t offset) {
    return static_cast<std::uint16_t>(payload[offset] | (payload[offset + 1] << 8));
}

// cmReadEntry reply layout.
constexpr std::size_t kEntryIndex = 0;
constexpr std::size_t kEntryType = 2;
constexpr std::size_t kEntrySize = 4;
constexpr std::size_t kEntryNameLength = 6;
constexpr std::size_t kEntryName = 7;

}  // namespace

std::string FileTypeName(std::uint16_t fileType) {
    switch (fileType) {
        case ftYearPlan:
            return "Годовой план Хронос-6 \"ЛИСТРАН\"";
        case ftVolumePlan:
            return "План громкости ЗВН-5";
        case ftIntersection:
            return "Организация перекрестка МРК-8";
        case ftProgram:
            return "Программа";
        default: {
            char text[48];
            std::snprintf(text, sizeof text, "Неизвестный тип %Xh", unsigned{fileType});
            return text;
        }
    }
}

DirectoryListing::DirectoryListing(ConsoleLink& link, DirectoryGrid& grid)
    : link_(link), grid_(grid) {
    link_.SetDirectoryReplies(this);
}

DirectoryListing::~DirectoryListing() {
    link_.SetDirectoryReplies(nullptr);
}

void DirectoryListing::ToolButton4Click() {
    link_.ActivateComm();
    RefreshDirectory();
}

void DirectoryListing::RefreshDirectory() {
    link_.AddCommand(cmReadDirectory, nullptr, 1);
    link_.UpdateQueueProgress();
}

void DirectoryListing::HandleDirectoryReply(std::span<const std::uint8_t> payload) {
    if (payload.empty()) return;
    const int fileCount = payload[0];
    grid_.ResetRows(fileCount + 2);
    files_.assign(static_cast<std::size_t>(fileCount), TListedFile{});
    for (int index = 0; index < fileCount; ++index) {
        const auto indexByte = static_cast<std::uint8_t>(index);
        link_.AddCommand(cmReadEntry, &indexByte, 2);
    }
    link_.AddCommand(cmReadFreeSpace, nullptr, 1);
    link_.UpdateQueueProgress();
}

void DirectoryListing::HandleEntryReply(std::span<const std::uint8_t> payload) {
    if (payload.size() < kEntryName) return;
    const int row = payload[kEntryIndex] + 1;
    // Rows past the files belong to the free space, or do not exist.
    if (row >= grid_.RowCount() - 1) return;

    const std::size_t nameLength =
        std::min<std::size_t>(payload[kEntryNameLength], payload.size() - kEntryName);
    const auto* name = reinterpret_cast<const char*>(payload.data() + kEntryName);
    char size[32];
    std::snprintf(size, sizeof size, "%u б.", unsigned{Word(payload, kEntrySize)});

    grid_.SetCell(row, 0, std::to_string(row));
    grid_.SetCell(row, 1, Cp1251ToUtf8(std::string_view(name, nameLength)));
    grid_.SetCell(row, 2, FileTypeName(Word(payload, kEntryType)));
    grid_.SetCell(row, 3, size);
    if (static_cast<std::size_t>(row - 1) < files_.size())
        files_[static_cast<std::size_t>(row - 1)] =
            TListedFile{true, Word(payload, kEntryType), Word(payload, kEntrySize)};
}

void DirectoryListing::HandleFreeSpaceReply(std::span<const std::uint8_t> payload) {
    if (payload.size() < 2) return;
    const std::uint16_t free = Word(payload, 0);
    char text[48];
    std::snprintf(text, sizeof text, "Свободно - %u байт", unsigned{free});
    grid_.SetCell(grid_.RowCount() - 1, 1, text);
    freeSpace_ = free;
}

}  // namespace vemkard
