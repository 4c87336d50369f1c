// Uploading a local file into the console's file store: one cmCreateFile with
// the upload header, then one cmWriteBlock per 32 data bytes. The console's
// reply to cmCreateFile queues a directory refresh behind the blocks.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/DirectoryListing.h"
#include "files/UserDialogs.h"
#include "protocol/ConsoleLink.h"

namespace vemkard {

inline constexpr std::string_view kUploadFilter =
    "Зашифрованные модули|*.kts|Организация перекрестка МРК-8|*.m0|"
    "Органзация перекрестка МРК-8 (ведомый)|*.m1|План таймера \"ЛИСТРАН\"|*.h6s|"
    "План громкости ЗВН-5|*.z0|Известные типы|*.kts;*.m0;*.m1;*.h6s;*.z0|Все файлы|*.*";
// "Известные типы".
inline constexpr int kUploadFilterIndex = 6;

inline constexpr std::string_view kTextFileTooLarge = "Файл слишком большой";
inline constexpr std::string_view kTextOrganisationDamaged = "Файл организации повреждён";
inline constexpr std::string_view kTextNameTooLong = "Слишком длинное имя файла";

// Bytes of data per cmWriteBlock.
inline constexpr std::size_t kUploadBlockSize = 32;
// The header travels as one payload of at most 249 bytes: n + 7 <= 249, n odd.
inline constexpr std::size_t kMaxUploadNameLength = 241;
// Room the console needs beyond header and data.
inline constexpr std::int64_t kUploadReserve = 20;

// The upload header, sent as the payload of cmCreateFile.
struct TBlockDescription {
    std::uint16_t FileType = 0;
    // Header length + data length, modulo 65536.
    std::uint16_t TotalLength = 0;
    // CP1251 bytes, as the console lists the file.
    std::string Name;
    // Modulo 65536.
    std::uint16_t DataLength = 0;

    std::size_t HeaderLength() const { return Name.size() + 7; }
    // type (2) | total length (2) | n (1) | name (n) | data length (2), little-endian.
    std::vector<std::uint8_t> Serialise() const;
};

// What an extension (upper-cased) selects.
struct TUploadKind {
    std::uint16_t FileType = 0;
    // Only a computed part of an intersection organisation is uploaded.
    bool Organisation = false;
};

// The kind selected by the extension of the name part of `path` (from its
// last dot on, compared without regard to ASCII case). Type 0 when unknown.
TUploadKind UploadKindOf(std::string_view path);

// The name under which the console lists the upload of `path` (UTF-8): the
// path in CP1251, cut to 255 bytes; when it is longer than 200 bytes, its file
// name part instead (after the last separator), cut to 255 bytes; then one space
// appended when the length is even. Can exceed kMaxUploadNameLength.
std::string UploadName(std::string_view path);

// Replaces `image` with the uploaded part of an intersection organisation
// `file`: A (the word at 1029, raised to a multiple of 16) bytes from offset
// 1024 plus B (the word at 1024 + A) bytes, or only the two bytes of B when B
// is 0xFFFF or A + B exceeds 2048; the file is read as a ring from 1024.
// Returns false, leaving `image` alone, when either word lies past the end.
bool ExtractOrganisation(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& image);

class FileUpload {
  public:
    FileUpload(ConsoleLink& link, const DirectoryListing& listing, IUserDialogs& dialogs);

    // Add-file button: asks for a file; cancelled or no such file: nothing.
    // Otherwise opens the link and uploads; when the upload is refused or
    // fails and nothing else is queued, the link is closed again. Throws
    // EFOpenError.
    void ToolButton8Click();

    // Builds and queues the upload of `path`. A refusal (too large, damaged
    // organisation, name too long) goes to the status line and queues nothing.
    // Throws EFOpenError when the file cannot be opened or read; nothing is
    // queued then either.
    void UploadFile(const std::string& path);

  private:
    ConsoleLink& link_;
    const DirectoryListing& listing_;
    IUserDialogs& dialogs_;
};

}  // namespace vemkard
