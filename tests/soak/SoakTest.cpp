// Hundreds of mixed operations (uploads of every kind, delete, clear,
// firmware with verify, refresh) through the real serial component against
// the simulated console with every line fault on. After each operation the
// console must hold exactly what the program reported as done, or the
// program must have reported a failure; a silent difference fails the test.
//
//   VEMKARD_SOAK_SEED=N        replays a run (the seed is printed first)
//   VEMKARD_SOAK_OPERATIONS=N  operations to run (default 300)
//   VEMKARD_SOAK_SECONDS=N     stop early after N seconds (default 170)
//   VEMKARD_E2E_LOG=1          logs every frame on standard error
//
// The seed fixes the operations, the files and the simulator's faults; the
// thread timing of a pty still varies, so a replay takes the same road but
// not always to the byte.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "files/Cp1251.h"
#include "files/DirectoryListing.h"
#include "protocol/ConsoleLink.h"
#include "sim/ConsoleStore.h"
#include "tests/e2e/ConsoleBench.h"
#include "tests/support/TempFiles.h"
#include "tests/support/UploadRules.h"

namespace vemkard::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

unsigned long EnvironmentNumber(const char* name, unsigned long otherwise) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoul(text, nullptr, 10) : otherwise;
}

// What the console holds, as the program's reports say it should.
struct ConsoleModel {
    std::vector<Bytes> files;  // header and data, in directory order
    Bytes flash;

    static ConsoleModel Of(const ConsoleStore& store) {
        ConsoleModel model;
        for (const auto& file : store.Files()) model.files.push_back(file.Bytes);
        model.flash = store.Flash();
        return model;
    }
};

// The first difference between the console and the model, or "".
std::string Difference(const ConsoleStore& store, const ConsoleModel& model) {
    if (store.Files().size() != model.files.size()) {
        return "the console holds " + std::to_string(store.Files().size()) + " files, " +
               std::to_string(model.files.size()) + " reported";
    }
    for (std::size_t i = 0; i < model.files.size(); ++i) {
        if (store.Files()[i].Bytes != model.files[i])
            return "file " + std::to_string(i) + " differs from the one reported";
    }
    if (store.Flash() != model.flash) {
        std::size_t at = 0;
        while (store.Flash()[at] == model.flash[at]) ++at;
        return "flash differs at " + std::to_string(at);
    }
    return {};
}

// The first difference between the program's grid and the console, or "".
std::string ListingDifference(ConsoleBench& bench, const ConsoleStore& store) {
    const auto& grid = bench.session.Grid;
    const auto& files = store.Files();
    if (grid.RowCount() != static_cast<int>(files.size()) + 2)
        return "the grid has " + std::to_string(grid.RowCount()) + " rows for " +
               std::to_string(files.size()) + " files";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        if (grid.Cell(row, 0) != std::to_string(row) ||
            grid.Cell(row, 1) != Cp1251ToUtf8(files[i].Name) ||
            grid.Cell(row, 2) != FileTypeName(files[i].Type) ||
            grid.Cell(row, 3) != std::to_string(files[i].DataLength) + " б.")
            return "grid row " + std::to_string(row) + " shows \"" + grid.Cell(row, 1) + "\"";
    }
    const std::string free = "Свободно - " + std::to_string(store.FreeSpace()) + " байт";
    if (grid.Cell(grid.RowCount() - 1, 1) != free ||
        bench.session.Listing.FreeSpace() != store.FreeSpace())
        return "the grid shows \"" + grid.Cell(grid.RowCount() - 1, 1) + "\", the console " + free;
    return {};
}

// Verify replies for this block address report an error.
constexpr std::uint16_t kVerifyErrorAddress = 0x3E0;

struct Counts {
    int operations = 0;
    int uploads = 0, deletes = 0, clears = 0, firmware = 0, refreshes = 0;
    int failuresReported = 0;
    int silentDifferences = 0;
    std::map<std::string, int> failures;  // by the status shown
};

class Soak {
  public:
    Soak(std::uint32_t seed, ConsoleBench& bench) : seed_(seed), random_(seed), bench_(bench) {
        model_ = ConsoleModel::Of(bench_.Console());
    }

    // Runs one operation; false when the program did not come to rest.
    bool Step(int index) {
        index_ = index;
        mustFail_ = false;
        const unsigned pick = Uniform(0, 99);
        const std::size_t files = model_.files.size();
        if (files >= 10 || pick < 4) return Clear();
        if (pick < 45) return Upload();
        if (pick < 60 && files > 0) return Delete();
        if (pick < 75) return Firmware();
        return Refresh();
    }

    const Counts& Totals() const { return counts_; }

  private:
    unsigned Uniform(unsigned low, unsigned high) {
        return std::uniform_int_distribution<unsigned>(low, high)(random_);
    }
    Bytes RandomBytes(std::size_t size) {
        Bytes bytes(size);
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(Uniform(0, 255));
        return bytes;
    }

    // Starts `action`, runs the program until it rests and checks the console
    // against what `expect` gives: the model if the program reports success
    // (given the console as it is then, for bytes the program may choose).
    using Expect = std::function<ConsoleModel(const ConsoleStore&)>;
    bool Finish(const std::string& what, const std::function<void()>& action,
                const ConsoleModel& expected) {
        return Finish(what, action, Expect([expected](const ConsoleStore&) { return expected; }));
    }
    bool Finish(const std::string& what, const std::function<void()>& action,
                const Expect& expect) {
        ++counts_.operations;
        what_ = what;
        bench_.view.history.clear();
        action();
        // A refusal queues nothing; the program has said why.
        const bool queued = bench_.session.Link.QueueLength() > 0;
        if (queued && !bench_.RunUntilIdle(60s)) {
            ADD_FAILURE() << Where() << ": did not end within 60 s; status \""
                          << bench_.view.Status() << "\", " << bench_.session.Link.QueueLength()
                          << " queued";
            return false;
        }
        const ConsoleStore store = bench_.Console();
        const bool done = queued && bench_.view.Status() == kTextOperationDone;
        if (!done) {
            ++counts_.failuresReported;
            ++counts_.failures[bench_.view.Status()];
            model_ = ConsoleModel::Of(store);
            return true;
        }
        std::string difference = Difference(store, expect(store));
        if (mustFail_) difference = "the console reported a verify error";
        if (difference.empty()) difference = ListingDifference(bench_, store);
        if (!difference.empty()) {
            ++counts_.silentDifferences;
            ADD_FAILURE() << Where() << ": reported done, but " << difference;
        }
        model_ = ConsoleModel::Of(store);
        return true;
    }

    std::string Where() const {
        return "seed " + std::to_string(seed_) + ", operation " + std::to_string(index_) + " (" +
               what_ + ")";
    }

    bool Upload() {
        ++counts_.uploads;
        static const char* const kExtensions[] = {".kts", ".m0", ".M1", ".h6s", ".Z0", ".txt", ""};
        const std::string extension = kExtensions[Uniform(0, 6)];
        const bool organisation = extension == ".m0" || extension == ".M1";
        std::string name = "Файл " + std::to_string(index_) + extension;
        if (Uniform(0, 4) == 0) {
            // A path past 200 bytes: only the name part goes to the console.
            for (int i = 0; i < 14; ++i) name = "папка номер " + std::to_string(i) + "/" + name;
        }
        Bytes contents;
        if (organisation) {
            // A (raised to 16) bytes from 1024 and B more, read as a ring.
            const unsigned a = Uniform(16, 0x180);
            const unsigned raised = (a + 15) / 16 * 16;
            contents = RandomBytes(Uniform(1024 + raised + 2, 1700));
            contents[1029] = static_cast<std::uint8_t>(a);
            contents[1030] = static_cast<std::uint8_t>(a >> 8);
            const unsigned b = Uniform(0, 3) == 0 ? 0xFFFF : Uniform(0, 0x300);
            contents[1024 + raised] = static_cast<std::uint8_t>(b);
            contents[1025 + raised] = static_cast<std::uint8_t>(b >> 8);
        } else {
            contents = RandomBytes(Uniform(0, 400));
        }
        const std::string path = folder_.Write(name, contents);
        const ExpectedUpload upload = ReadUploadRules(path, contents);
        ConsoleModel expected = model_;
        expected.files.push_back(upload.ConsoleFile());
        return Finish(
            "upload of " + std::to_string(contents.size()) + " bytes from \"" + name + "\"",
            [&] {
                bench_.dialogs.chosenFile = path;
                bench_.session.Upload.ToolButton8Click();
            },
            expected);
    }

    bool Delete() {
        ++counts_.deletes;
        // The grid is the console's directory as last read.
        const int rows = bench_.session.Grid.RowCount();
        if (rows <= 2) return Refresh();
        const int row = static_cast<int>(Uniform(1, static_cast<unsigned>(rows - 2)));
        ConsoleModel expected = model_;
        if (static_cast<std::size_t>(row - 1) < expected.files.size())
            expected.files.erase(expected.files.begin() + (row - 1));
        return Finish(
            "delete of row " + std::to_string(row),
            [&] {
                bench_.session.Grid.SetCurrentRow(row);
                bench_.session.Removal.StringGrid1DblClick();
            },
            expected);
    }

    bool Clear() {
        ++counts_.clears;
        ConsoleModel expected = model_;
        expected.files.clear();
        return Finish(
            "clear",
            [&] {
                bench_.dialogs.confirm = true;
                bench_.session.Removal.ToolButton6Click();
            },
            expected);
    }

    bool Firmware() {
        ++counts_.firmware;
        const Bytes image = RandomBytes(Uniform(1, 1200));
        mustFail_ = image.size() > kVerifyErrorAddress;
        const std::string path = folder_.Write("image " + std::to_string(index_) + ".mts", image);
        ConsoleModel expected = model_;
        std::copy(image.begin(), image.end(), expected.flash.begin());
        // Past the end the last block carries what the block before left.
        const std::size_t end = (image.size() + 31) / 32 * 32;
        for (std::size_t at = image.size(); at < end && image.size() > 32; ++at)
            expected.flash[at] = image[at - 32];
        return Finish(
            "firmware of " + std::to_string(image.size()) + " bytes",
            [&] {
                bench_.dialogs.confirm = true;
                bench_.dialogs.chosenFile = path;
                bench_.session.Firmware.ToolButton10Click();
            },
            Expect([expected, size = image.size()](const ConsoleStore& store) {
                // What pads an image shorter than a block is the program's choice.
                ConsoleModel model = expected;
                for (std::size_t at = size; at < 32; ++at) model.flash[at] = store.Flash()[at];
                return model;
            }));
    }

    bool Refresh() {
        ++counts_.refreshes;
        return Finish(
            "refresh", [&] { bench_.session.Listing.ToolButton4Click(); }, model_);
    }

    std::uint32_t seed_;
    std::mt19937 random_;
    ConsoleBench& bench_;
    TempFolder folder_;
    ConsoleModel model_;
    Counts counts_;
    int index_ = 0;
    std::string what_;
    bool mustFail_ = false;  // the console will refuse this operation
};

TEST(Soak, MixedOperationsUnderEveryLineFaultEndAsReported) {
    const auto seed =
        static_cast<std::uint32_t>(EnvironmentNumber("VEMKARD_SOAK_SEED", std::random_device{}()));
    const auto operations = static_cast<int>(EnvironmentNumber("VEMKARD_SOAK_OPERATIONS", 300));
    const auto budget = std::chrono::seconds(EnvironmentNumber("VEMKARD_SOAK_SECONDS", 170));
    std::printf("soak: seed %u (VEMKARD_SOAK_SEED=%u replays it), %d operations, at most %lld s\n",
                seed, seed, operations, static_cast<long long>(budget.count()));
    std::fflush(stdout);

    BenchOptions options;
    options.capacity = 16000;
    options.seed = seed;
    // Short pauses on both sides, so that hundreds of operations fit.
    options.answerPauseMs = 5;
    options.simulator.answerMs = 25;
    options.faults = {.lose = 0.04,
                      .damage = 0.04,
                      .damageLength = 0.005,
                      .noise = 0.08,
                      .split = 0.08,
                      .duplicate = 0.04,
                      .delay = 0.04,
                      .delayMs = 30,
                      .verifyErrorAddress = kVerifyErrorAddress};
    ConsoleBench bench(options);
    Soak soak(seed, bench);

    const auto start = Clock::now();
    for (int i = 0; i < operations && Clock::now() - start < budget; ++i) {
        if (!soak.Step(i)) break;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
    const Counts& counts = soak.Totals();
    const std::uint64_t faults = bench.simulator.FaultsInjected();
    std::printf(
        "soak: seed %u: %d operations in %lld s (%d uploads, %d deletes, %d clears, %d firmware, "
        "%d refreshes)\n"
        "soak: faults injected %llu (late answers dropped by the console %llu), failures "
        "reported %d, silent differences %d\n",
        seed, counts.operations, static_cast<long long>(seconds), counts.uploads, counts.deletes,
        counts.clears, counts.firmware, counts.refreshes, static_cast<unsigned long long>(faults),
        static_cast<unsigned long long>(bench.simulator.LateAnswersDropped()),
        counts.failuresReported, counts.silentDifferences);
    for (const auto& [status, count] : counts.failures)
        std::printf("soak:   %d x \"%s\"\n", count, status.c_str());
    EXPECT_EQ(counts.silentDifferences, 0) << "seed " << seed;
    EXPECT_GT(faults, 0u);
}

}  // namespace
}  // namespace vemkard::testing
