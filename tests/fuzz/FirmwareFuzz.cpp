// The firmware image reader on images of every size up to twice the limit:
// two passes of identical 32-byte blocks at addresses 0, 32, ..., then the
// refresh; an image of 64 KiB or more queues no block.
#include <cstdint>
#include <exception>
#include <string>

#include "firmware/FirmwareProgrammer.h"
#include "link/ConsoleSession.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/protocol/LinkFakes.h"
#include "tests/support/FakeDialogs.h"

using namespace vemkard;
using namespace vemkard::fuzz;

namespace {

constexpr std::size_t kBlock = 32;

// The image: the rest of the input as it is, or that rest repeated to a size
// read from the input (0 .. 131071 bytes), so that large images are cheap.
Bytes DecodeImage(FuzzInput& input) {
    const std::uint8_t mode = input.Byte();
    if (mode & 1) {
        const auto rest = input.Rest();
        return Bytes(rest.begin(), rest.end());
    }
    const std::size_t size = input.Word() | std::size_t{input.Byte() & 1u} << 16;
    const auto pattern = input.Rest();
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = pattern.empty() ? static_cast<std::uint8_t>(i * 7) : pattern[i % pattern.size()];
    }
    return image;
}

void CheckBlock(const TCommandEntry& entry, std::uint8_t command, std::size_t address,
                const Bytes& image, const TCommandEntry* previous) {
    FUZZ_CHECK(entry.Command == command && entry.Length == 36, "block at %zu: command %u, L %u",
               address, entry.Command, entry.Length);
    FUZZ_CHECK(WordAt(entry.Payload, 0) == address && entry.Payload[2] == kBlock,
               "block at %zu carries address %u, count %u", address, WordAt(entry.Payload, 0),
               entry.Payload[2]);
    const std::size_t count = std::min(kBlock, image.size() - address);
    for (std::size_t i = 0; i < kBlock; ++i) {
        if (i < count) {
            FUZZ_CHECK(entry.Payload[3 + i] == image[address + i],
                       "block at %zu, byte %zu is not the image's", address, i);
        } else if (previous) {
            // Past the end the buffer keeps what the block before left there.
            FUZZ_CHECK(entry.Payload[3 + i] == previous->Payload[3 + i],
                       "block at %zu, byte %zu past the end is not the previous block's", address,
                       i);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    FuzzInput input(data, size);
    const Bytes image = DecodeImage(input);
    const std::string path = folder.Write("image.mts", image);

    testing::RecordingSerial serial;
    testing::RecordingView view;
    testing::FakeTimer timer;
    testing::RecordingSleeper sleeper;
    testing::FakeDialogs dialogs;
    dialogs.chosenFile = path;
    ConsoleSession session(serial, view, timer, sleeper, dialogs, [] { return std::string(); });
    try {
        session.Firmware.ToolButton10Click();
    } catch (const std::exception& error) {
        FUZZ_CHECK(false, "exception: %s", error.what());
    }

    const auto& queue = session.Link.Queue();
    const std::size_t length = queue.size();
    FUZZ_CHECK(view.counter == std::to_string(length), "counter %s, queue %zu",
               view.counter.c_str(), length);
    const bool refused = length <= 1;
    if (refused) {
        // A refused image queues no block; the refresh behind it is optional.
        FUZZ_CHECK(image.empty() || image.size() >= 65536, "image of %zu bytes refused",
                   image.size());
        if (image.size() >= 65536)
            FUZZ_CHECK(view.status == kTextFirmwareTooLarge, "status %s", view.status.c_str());
        FUZZ_CHECK(length == 0 || queue.front().Command == cmReadDirectory,
                   "a refusal queued command %u", queue.front().Command);
        return 0;
    }

    FUZZ_CHECK(image.size() < 65536, "image of %zu bytes accepted", image.size());
    const std::size_t blocks = image.empty() ? 1 : (image.size() + kBlock - 1) / kBlock;
    FUZZ_CHECK(length == 2 * blocks + 1, "%zu commands for %zu blocks per pass", length, blocks);
    for (std::size_t k = 0; k < blocks; ++k) {
        const TCommandEntry& program = queue[k];
        CheckBlock(program, cmProgramFlash, k * kBlock, image, k > 0 ? &queue[k - 1] : nullptr);
        const TCommandEntry& verify = queue[blocks + k];
        CheckBlock(verify, cmVerifyFlash, k * kBlock, image,
                   k > 0 ? &queue[blocks + k - 1] : nullptr);
        FUZZ_CHECK(std::equal(program.Payload.begin(), program.Payload.begin() + 35,
                              verify.Payload.begin()),
                   "the verify pass sends other bytes at %zu", k * kBlock);
    }
    FUZZ_CHECK(queue.back().Command == cmReadDirectory && queue.back().Length == 1,
               "the refresh is not last");
    FUZZ_CHECK(view.progressMaximum == static_cast<int>(length) &&
                   view.progressPosition == static_cast<int>(length),
               "progress %d/%d for %zu commands", view.progressPosition, view.progressMaximum,
               length);
    FUZZ_CHECK(serial.open && timer.enabled, "the link is not active");
    return 0;
}
