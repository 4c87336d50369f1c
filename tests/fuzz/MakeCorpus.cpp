// Writes the seed corpora of the fuzz targets into <folder>/<target>/:
// valid exchanges, polls and replies for the receiver, files of every upload
// kind, firmware images at the size limits, and text for the code page.
//   fuzz_corpus tests/fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "protocol/Frame.h"
#include "tests/fuzz/ReceiverInput.h"

using namespace vemkard;
using namespace vemkard::fuzz;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::filesystem::path g_root;

void Save(const std::string& target, const std::string& name, const Bytes& bytes) {
    const auto folder = g_root / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    return bytes;
}

Bytes Word(unsigned value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Entry(std::uint8_t index, unsigned type, unsigned size, const std::string& name) {
    Bytes entry =
        Join({{index, 0}, Word(type), Word(size), {static_cast<std::uint8_t>(name.size())}});
    entry.insert(entry.end(), name.begin(), name.end());
    return entry;
}

// A console answering a refresh of `files` files.
ReceiverScript& Listing(ReceiverScript& script, std::uint8_t files) {
    script.Frame(cmPoll).Frame(cmReadDirectory, {files});
    for (std::uint8_t i = 0; i < files; ++i)
        script.Frame(cmPoll).Frame(cmReadEntry, Entry(i, i % 2 ? 0x4D52 : 1, 100u * i, "plan.h6s"));
    return script.Frame(cmPoll).Frame(cmReadFreeSpace, Word(30000));
}

void ReceiverSeeds() {
    Save("receiver", "poll", ReceiverScript(0).Frame(cmPoll).Bytes());
    {
        ReceiverScript script(kSetupRefresh);
        Save("receiver", "refresh", Listing(script, 3).Bytes());
    }
    {
        ReceiverScript script(kSetupUpload);
        script.Frame(cmPoll).Frame(cmCreateFile);
        for (int i = 0; i < 4; ++i) script.Frame(cmPoll).Frame(cmWriteBlock);
        Save("receiver", "upload", Listing(script, 1).Bytes());
    }
    for (const std::uint8_t flag : {0, 1}) {
        ReceiverScript script(kSetupFirmware);
        for (const std::uint8_t command : {cmProgramFlash, cmVerifyFlash}) {
            for (unsigned address = 0; address < 96; address += 32) {
                Bytes reply = Word(address);
                if (command == cmVerifyFlash) reply.push_back(address == 64 ? flag : 0);
                script.Frame(cmPoll).Frame(command, reply);
            }
        }
        Save("receiver", flag ? "firmware-verify-error" : "firmware", Listing(script, 0).Bytes());
    }
    {
        ReceiverScript script(kSetupClear);
        script.Frame(cmPoll).Frame(cmClearAll);
        Save("receiver", "clear", Listing(script, 0).Bytes());
    }
    {
        // Every queued kind at once, replies and polls in one chunk each time,
        // split frames, noise and a false prefix with a large length.
        const Bytes poll = MakeFrame(cmPoll);
        const Bytes noise{0x5C, 0x59, 0x00, 0x5C, 0x59, 0x53, 0x57, 0xC8, 0x10};
        ReceiverScript script(kSetupRefresh | kSetupUpload | kSetupFirmware | kSetupClear);
        script.Chunk(Join({noise, poll}))
            .Chunk(Join({MakeFrame(cmReadDirectory, Bytes{2}), poll}))
            .Split(3, cmReadEntry, Entry(0, 0x8000, 2048, "Модуль"))
            .Frame(cmPoll)
            .Split(9, cmReadEntry, Entry(1, 0xABCD, 65535, ""))
            .Frame(cmPoll)
            .Frame(cmReadFreeSpace, Word(65535));
        Save("receiver", "mixed", script.Bytes());
    }
    {
        // Chunks longer than the receive buffer.
        const Bytes piece =
            Join({MakeFrame(cmPoll), MakeFrame(cmProgramFlash, Word(0)), Bytes{0x5C, 0x59, 0x53}});
        Save("receiver", "large-chunk",
             ReceiverScript(kSetupFirmware).Repeated(250, piece).Chunk(Counting(5000)).Bytes());
    }
    {
        ReceiverScript script(0);
        script.Do(kRefresh)
            .Frame(cmPoll)
            .Frame(cmReadDirectory, {4})
            .Do(kDoubleClick, 2)
            .Do(kUpload, 1)
            .Do(kUpload, 2)
            .Do(kClear, 1)
            .Do(kFirmware, 1)
            .Do(kTimerTick)
            .Do(kPortClosed)
            .Do(kPortBusy)
            .Do(kRefresh)
            .Do(kPortBusy)
            .Do(kRefresh)
            .Frame(cmPoll);
        Save("receiver", "user-actions", script.Bytes());
    }
}

// Upload input (UploadFuzz.cpp): flags, free space, path length (low byte,
// then 2 bits), path, then the file or the words of a made organisation.
Bytes UploadInput(unsigned freeSpace, const std::string& path, const Bytes& file,
                  std::uint8_t flags = 0) {
    Bytes input = Join({{flags}, Word(freeSpace), Word(static_cast<unsigned>(path.size()))});
    input.insert(input.end(), path.begin(), path.end());
    input.insert(input.end(), file.begin(), file.end());
    return input;
}

// Flag 1: an organisation of `size` bytes with the words A and B; flag 2: B
// a signed byte from its limit.
Bytes OrganisationInput(const std::string& path, unsigned size, unsigned a, unsigned b,
                        std::uint8_t flags = 1) {
    return UploadInput(10000, path, Join({Word(size - 1024), Word(a), Word(b), Counting(7)}),
                       flags);
}

Bytes Organisation(std::size_t size, unsigned a, unsigned b) {
    Bytes file = Counting(size);
    file[1029] = static_cast<std::uint8_t>(a);
    file[1030] = static_cast<std::uint8_t>(a >> 8);
    const unsigned raised = a % 16 ? (a | 15) + 1 : a;
    if (1024 + raised + 2 <= size) {
        file[1024 + raised] = static_cast<std::uint8_t>(b);
        file[1025 + raised] = static_cast<std::uint8_t>(b >> 8);
    }
    return file;
}

void UploadSeeds() {
    Save("upload", "year-plan", UploadInput(10000, "План.h6s", Counting(100)));
    Save("upload", "module", UploadInput(10000, "модули/связь.kts", Counting(301)));
    Save("upload", "volume", UploadInput(10000, "громкость.Z0", Counting(64)));
    Save("upload", "other", UploadInput(10000, "notes.txt", Counting(33)));
    Save("upload", "no-extension", UploadInput(10000, "README", Counting(5)));
    Save("upload", "empty", UploadInput(10000, "пусто.h6s", {}));
    Save("upload", "organisation",
         UploadInput(10000, "Ленина - Мира.M0", Organisation(1500, 0x123, 0x100)));
    Save("upload", "organisation-unset",
         UploadInput(10000, "ведомый.m1", Organisation(1400, 0x40, 0xFFFF)));
    Save("upload", "organisation-ring",
         UploadInput(10000, "кольцо.m0", Organisation(1100, 0x30, 0x500)));
    Save("upload", "organisation-short", UploadInput(10000, "обрыв.m0", Counting(1030)));
    Save("upload", "too-large", UploadInput(150, "План.h6s", Counting(200)));
    // Folders of more than 200 bytes, so that only the name part is sent,
    // whatever folder the target writes its files in.
    std::string deep;
    for (int i = 0; deep.size() <= 200; ++i) deep += "folder_" + std::to_string(i) + "/";
    Save("upload", "long-path",
         UploadInput(10000, deep + "Советская - Кирова.m1", Organisation(1500, 0x60, 0x80)));
    Save("upload", "long-name",
         UploadInput(10000, deep + std::string(120, 'n') + "ия.kts", Counting(40)));
    // Boundaries: A + B of exactly 2048, and header, data and 20 bytes of
    // exactly the free space ("План.h6s" is padded to 9 bytes: 16 + 100 + 20),
    // also given relative to the need (flag 4).
    Save("upload", "organisation-limit", OrganisationInput(deep + "предел.m0", 1500, 0x100, 0x700));
    Save("upload", "organisation-at-limit", OrganisationInput("предел.m1", 1400, 0x123, 0, 3));
    Save("upload", "organisation-made-ring", OrganisationInput("кольцо.M1", 1100, 0x31, 0x500));
    Save("upload", "organisation-made-short", OrganisationInput("обрыв.m0", 1100, 0x200, 5));
    Save("upload", "free-space-exact", UploadInput(136, deep + "План.h6s", Counting(100)));
    Save("upload", "free-space-short", UploadInput(135, deep + "План.h6s", Counting(100)));
    Save("upload", "free-space-at-need", UploadInput(0, "годовой.H6S", Counting(90), 4));
}

Bytes FirmwareAsIs(const Bytes& image) {
    return Join({{1}, image});
}

Bytes FirmwareSized(unsigned size) {
    return Join({{0}, Word(size & 0xFFFF), {static_cast<std::uint8_t>(size >> 16)}, Counting(251)});
}

void FirmwareSeeds() {
    Save("firmware", "empty", FirmwareAsIs({}));
    Save("firmware", "one-byte", FirmwareAsIs({0x42}));
    Save("firmware", "64", FirmwareAsIs(Counting(64)));
    Save("firmware", "70", FirmwareAsIs(Counting(70)));
    Save("firmware", "2048", FirmwareSized(2048));
    Save("firmware", "65535", FirmwareSized(65535));
    Save("firmware", "65536", FirmwareSized(65536));
}

void Cp1251Seeds() {
    const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    Save("cp1251", "cyrillic", text("Организация перекрестка МРК-8 №5, ёЁ"));
    Save("cp1251", "punctuation",
         text("€‚„…†‡‰‹›™ЂЃѓЉЊЌЋЏђ‘’“”•–—љњќћџ ЎўЈ¤Ґ¦§Ё©Є«¬­®Ї°±Ііґµ¶·ё№є»јЅѕї"));
    Bytes high;
    for (int byte = 0x80; byte < 0x100; ++byte) high.push_back(static_cast<std::uint8_t>(byte));
    Save("cp1251", "high-bytes", high);
    Save("cp1251", "ill-formed",
         {0xC0, 0x80, 0x20, 0xED, 0xA0, 0x80, 0x20, 0xF4, 0x90, 0x80, 0x80, 0x20, 0xE2, 0x82, 0x41,
          0x80, 0xD0});
    Save("cp1251", "beyond", text("a中b😀c\xEF\xBB\xBF"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_corpus FOLDER\n");
        return 2;
    }
    g_root = argv[1];
    ReceiverSeeds();
    UploadSeeds();
    FirmwareSeeds();
    Cp1251Seeds();
    return 0;
}
