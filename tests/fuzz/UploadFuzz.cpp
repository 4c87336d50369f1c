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

// The file: the rest of the input as it is (mode bit 0 clear), or an
// organisation made from a size, the words A and B and a pattern, so that the
// fuzzer reaches the organisation rules with a few bytes.
Bytes DecodeFile(FuzzInput& input) {
    if ((input.Byte() & 1) == 0) {
        const auto rest = input.Rest();
        return Bytes(rest.begin(), rest.end());
    }
    const std::size_t size = 1024 + input.Word() % 2048;
    const std::uint16_t a = input.Word();
    const std::uint16_t b = input.Word();
    const auto pattern = input.Rest();
    Bytes file(size);
    for (std::size_t i = 0; i < size; ++i)
        file[i] = pattern.empty() ? static_cast<std::uint8_t>(i) : pattern[i % pattern.size()];
    const auto put = [&file](std::size_t at, std::uint16_t word) {
        if (at + 1 < file.size()) {
            file[at] = static_cast<std::uint8_t>(word);
            file[at + 1] = static_cast<std::uint8_t>(word >> 8);
        }
    };
    put(1029, a);
    put(1024 + (a % 16 ? (a | 15u) + 1 : a), b);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    FuzzInput input(data, size);
    const std::uint16_t freeSpace = input.Word();
    const std::size_t pathLength = input.Byte() | std::size_t{input.Byte() & 3u} << 8;
    const std::filesystem::path relative = DecodePath(input.Take(pathLength));
    const Bytes file = DecodeFile(input);

    const std::filesystem::path top = folder.Path() / "t";
    std::error_code error;
    std::filesystem::remove_all(top, error);
    std::filesystem::create_directories((top / relative).parent_path(), error);
    if (error) return 0;  // a name the file system refuses
    const std::string path = folder.Write(top / relative, file);

    testing::RecordingSerial serial;
    testing::RecordingView view;
    testing::FakeTimer timer;
    testing::RecordingSleeper sleeper;
    testing::FakeDialogs dialogs;
    ConsoleSession session(serial, view, timer, sleeper, dialogs, [] { return std::string(); });
    const std::uint8_t reply[2] = {static_cast<std::uint8_t>(freeSpace),
                                   static_cast<std::uint8_t>(freeSpace >> 8)};
    session.Listing.HandleFreeSpaceReply(reply);
    try {
        session.Upload.UploadFile(path);
    } catch (const std::exception& caught) {
        FUZZ_CHECK(false, "exception: %s", caught.what());
    }

    const testing::ExpectedUpload expected = testing::ReadUploadRules(path, file);
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
        return 0;
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
    return 0;
}
