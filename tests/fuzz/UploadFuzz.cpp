// The upload's reading of arbitrary files under arbitrary names (nested
// folders, so that long paths reach the name rule): the queued create command
// and blocks must rebuild exactly the header and data that an independent
// reading of the upload rules gives, and a refusal must queue nothing.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "files/FileUpload.h"
#include "link/ConsoleSession.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/protocol/LinkFakes.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/UploadRules.h"

using namespace vemkard;
using namespace vemkard::fuzz;

namespace {

// The relative path decoded from the input: '/' separates folders; bytes a
// file name cannot hold are dropped and each part is cut to 255 bytes.
std::filesystem::path DecodePath(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> parts(1);
    for (const std::uint8_t byte : bytes) {
        if (byte == '/') {
            parts.emplace_back();
        } else if (byte != 0 && parts.back().size() < 255) {
            parts.back().push_back(static_cast<char>(byte));
        }
    }
    std::filesystem::path path;
    for (std::string& part : parts) {
        if (part.empty()) continue;
        if (part == "." || part == "..") part = "_";
        path /= part;
    }
    return path.empty() ? std::filesystem::path("f") : path;
}

// The console file (header, then data) that the queued commands write.
Bytes Rebuild(const std::deque<TCommandEntry>& queue) {
    const TCommandEntry& create = queue.front();
    FUZZ_CHECK(create.Command == cmCreateFile, "the first command is %u", create.Command);
    const std::size_t n = create.Payload[4];
    FUZZ_CHECK(create.Length == n + 8, "create L %u for a name of %zu bytes", create.Length, n);
    Bytes file(create.Payload.begin(), create.Payload.begin() + static_cast<std::ptrdiff_t>(n + 7));
    for (std::size_t i = 1; i < queue.size(); ++i) {
        const TCommandEntry& block = queue[i];
        const std::size_t count = block.Payload[2];
        FUZZ_CHECK(block.Command == cmWriteBlock && block.Length == count + 4,
                   "block %zu: command %u, L %u, count %zu", i, block.Command, block.Length, count);
        FUZZ_CHECK(count >= 1 && count <= 32 && (count == 32 || i + 1 == queue.size()),
                   "block %zu of %zu carries %zu bytes", i, queue.size() - 1, count);
        FUZZ_CHECK(WordAt(block.Payload, 0) == file.size(), "block %zu at offset %u, expected %zu",
                   i, WordAt(block.Payload, 0), file.size());
        file.insert(file.end(), block.Payload.begin() + 3,
                    block.Payload.begin() + 3 + static_cast<std::ptrdiff_t>(count));
    }
    return file;
}

// Input layout: flags, free space, path length (low byte, then 2 bits), path,
// then the file: the rest of the input as it is, or with kMadeOrganisation an
// organisation made from its size - 1024, the words A and B and a pattern.
// The two limit flags put B, or the free space, a signed byte away from their
// limits; such an input is also checked right at the limit and one past it,
// where an off-by-one shows.
enum Flags : std::uint8_t {
    kMadeOrganisation = 1,
    kBAtLimit = 2,         // B := 2048 - A (raised) + delta
    kFreeSpaceAtNeed = 4,  // free := header + data + 20 + delta
};

std::size_t Raised(std::size_t a) {
    return a % 16 != 0 ? a / 16 * 16 + 16 : a;
}

void PutWord(Bytes& file, std::size_t at, std::size_t word) {
    if (at + 1 >= file.size()) return;
    file[at] = static_cast<std::uint8_t>(word);
    file[at + 1] = static_cast<std::uint8_t>(word >> 8);
}

// The files to upload: the one the input gives and, for B at its limit, the
// same with A + B exactly 2048 and 2049.
std::vector<Bytes> DecodeFiles(FuzzInput& input, std::uint8_t flags) {
    if ((flags & kMadeOrganisation) == 0) {
        const auto rest = input.Rest();
        return {Bytes(rest.begin(), rest.end())};
    }
    const std::size_t size = 1024 + input.Word() % 2048;
    const std::uint16_t a = input.Word();
    const std::uint16_t b = input.Word();
    const auto pattern = input.Rest();
    Bytes file(size);
    for (std::size_t i = 0; i < size; ++i)
        file[i] = pattern.empty() ? static_cast<std::uint8_t>(i) : pattern[i % pattern.size()];
    PutWord(file, 1029, a);
    const std::size_t at = 1024 + Raised(a);
    if ((flags & kBAtLimit) == 0) {
        PutWord(file, at, b);
        return {file};
    }
    std::vector<Bytes> files;
    for (const int delta : {static_cast<int>(static_cast<std::int8_t>(b & 0xFF)), 0, 1}) {
        PutWord(file, at, static_cast<std::uint16_t>(2048 - static_cast<int>(Raised(a)) + delta));
        files.push_back(file);
    }
    return files;
}

// Uploads `file` under `relative` with the free space `freeWord` (or, with
// the flag, `freeDelta` from what the upload needs) and checks the queue.
void CheckUpload(const ScratchFolder& folder, const std::filesystem::path& relative,
                 const Bytes& file, bool freeAtNeed, std::uint16_t freeWord, int freeDelta) {
    const std::filesystem::path top = folder.Path() / "t";
    std::error_code error;
    std::filesystem::remove_all(top, error);
    std::filesystem::create_directories((top / relative).parent_path(), error);
    if (error) return;  // a name the file system refuses
    const std::string path = folder.Write(top / relative, file);

    testing::RecordingSerial serial;
    testing::RecordingView view;
    testing::FakeTimer timer;
    testing::RecordingSleeper sleeper;
    testing::FakeDialogs dialogs;
    ConsoleSession session(serial, view, timer, sleeper, dialogs, [] { return std::string(); });
    const testing::ExpectedUpload expected = testing::ReadUploadRules(path, file);
    std::uint16_t freeSpace = freeWord;
    if (freeAtNeed && expected.data) {
        const long need = static_cast<long>(expected.name.size() + 7 + expected.data->size() + 20);
        freeSpace = static_cast<std::uint16_t>(std::clamp(need + freeDelta, 0L, 65535L));
    }
    const std::uint8_t reply[2] = {static_cast<std::uint8_t>(freeSpace),
                                   static_cast<std::uint8_t>(freeSpace >> 8)};
    session.Listing.HandleFreeSpaceReply(reply);
    try {
        session.Upload.UploadFile(path);
    } catch (const std::exception& caught) {
        FUZZ_CHECK(false, "exception: %s", caught.what());
    }

    std::vector<std::string_view> refusals;
    if (!expected.data) refusals.push_back(kTextOrganisationDamaged);
    if (expected.name.size() > 241) refusals.push_back(kTextNameTooLong);
    if (expected.data && expected.name.size() + 7 + expected.data->size() + 20 > freeSpace)
        refusals.push_back(kTextFileTooLarge);

    const auto& queue = session.Link.Queue();
    if (!refusals.empty()) {
        FUZZ_CHECK(queue.empty(), "a refused upload queued %zu commands", queue.size());
        FUZZ_CHECK(std::find(refusals.begin(), refusals.end(), view.status) != refusals.end(),
                   "refused with the status \"%s\"", view.status.c_str());
        return;
    }
    FUZZ_CHECK(!queue.empty(), "nothing queued; status \"%s\"", view.status.c_str());
    const Bytes consoleFile = expected.ConsoleFile();
    const Bytes rebuilt = Rebuild(queue);
    FUZZ_CHECK(rebuilt.size() == consoleFile.size(), "the commands write %zu bytes, not %zu",
               rebuilt.size(), consoleFile.size());
    const auto differs = std::mismatch(rebuilt.begin(), rebuilt.end(), consoleFile.begin());
    FUZZ_CHECK(differs.first == rebuilt.end(), "the commands write another byte at %zu",
               static_cast<std::size_t>(differs.first - rebuilt.begin()));
    FUZZ_CHECK(view.counter == std::to_string(queue.size()), "counter %s for %zu commands",
               view.counter.c_str(), queue.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::uint16_t freeWord = input.Word();
    const std::size_t pathLength = input.Byte() | std::size_t{input.Byte() & 3u} << 8;
    const std::filesystem::path relative = DecodePath(input.Take(pathLength));
    const bool freeAtNeed = flags & kFreeSpaceAtNeed;
    const int given = static_cast<std::int8_t>(freeWord & 0xFF);
    for (const Bytes& file : DecodeFiles(input, flags)) {
        for (const int delta : {given, 0, -1}) {
            CheckUpload(folder, relative, file, freeAtNeed, freeWord, delta);
            if (!freeAtNeed) break;
        }
    }
    return 0;
}
