// vemkard-cli end to end: every command and every exit status, against the
// simulated console on a pseudo-terminal, and a short exchange's trace.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "files/FileUpload.h"
#include "protocol/Frame.h"
#include "serial/posix/PortCandidates.h"
#include "sim/SampleFiles.h"
#include "tests/cli/CliRig.h"
#include "tests/support/TempFiles.h"

namespace vemkard::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void StoreFiles(ConsoleStore& store) {
    ASSERT_TRUE(store.AddFile(1, ToConsoleName("План 2027.h6s"), Bytes(1200, 1)));
    ASSERT_TRUE(store.AddFile(0x4D52, ToConsoleName("Ленина.m0 "), Bytes(560, 2)));
    ASSERT_TRUE(store.AddFile(0xABCD, ToConsoleName("x\"y"), Bytes(3, 3)));
}

TEST(CliLs, ShowsTheGridAsTextAndAsJson) {
    CliRig rig({.fill = StoreFiles});
    const CliResult text = rig.Run({"ls"});
    EXPECT_EQ(text.status, 0) << text.err;
    const int free = rig.Console().FreeSpace();
    EXPECT_EQ(text.out,
              "№№  Название файла  Тип файла                        Размер\n"
              " 1  План 2027.h6s   Годовой план Хронос-6 \"ЛИСТРАН\"  1200 б.\n"
              " 2  Ленина.m0       Организация перекрестка МРК-8     560 б.\n"
              " 3  x\"y             Неизвестный тип ABCDh               3 б.\n"
              "Свободно - " +
                  std::to_string(free) + " байт\n");
    EXPECT_EQ(text.err, "") << "quiet when all is well";

    const CliResult json = rig.Run({"ls", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\n  \"files\": [\n"
              "    {\"number\": 1, \"name\": \"План 2027.h6s\", \"type\": {\"code\": 1, \"text\": "
              "\"Годовой план Хронос-6 \\\"ЛИСТРАН\\\"\"}, \"size\": 1200},\n"
              "    {\"number\": 2, \"name\": \"Ленина.m0 \", \"type\": {\"code\": 19794, \"text\": "
              "\"Организация перекрестка МРК-8\"}, \"size\": 560},\n"
              "    {\"number\": 3, \"name\": \"x\\\"y\", \"type\": {\"code\": 43981, \"text\": "
              "\"Неизвестный тип ABCDh\"}, \"size\": 3}\n"
              "  ],\n  \"free\": " +
                  std::to_string(free) + "\n}\n");
}

TEST(CliPut, UploadsEachFileAsTheWindowDoesAndFindsItListed) {
    CliRig rig;
    TempFolder folder;
    const std::string plan = folder.Write("План.h6s", CountingBytes(100));
    const std::string other = folder.Write("notes.txt", CountingBytes(45));
    const CliResult result = rig.Run({"put", plan, other});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(Has(result.err, plan + ": Операция успешно завершена."));
    const ConsoleStore console = rig.Console();
    ASSERT_EQ(console.Files().size(), 2u);
    EXPECT_EQ(console.Files()[0].Type, 1);
    EXPECT_EQ(console.Files()[0].Name, UploadName(plan));
    EXPECT_EQ(Bytes(console.Files()[0].Data().begin(), console.Files()[0].Data().end()),
              CountingBytes(100));
    EXPECT_EQ(console.Files()[1].Type, 0);
    EXPECT_EQ(console.Files()[1].DataLength, 45);
}

TEST(CliPut, LocalFilesThatAreRefusedEndWithStatus5AndNothingSent) {
    CliRig rig({.capacity = 300});
    TempFolder folder;
    const std::string big = folder.Write("big.z0", Bytes(400, 7));
    const std::string empty = folder.Write("empty.mts", {});
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"put", (folder.Path() / "missing.m0").string()}, "Нет такого файла"},
        {{"put", folder.Path().string()}, "каталог, а не файл"},
        {{"put", big}, "Файл слишком большой."},
        {{"flash", empty, "--yes"}, "Файл прошивки пуст."},
    };
    for (const auto& c : cases) {
        const CliResult result = rig.Run(c.arguments);
        EXPECT_EQ(result.status, 5) << c.arguments[1];
        EXPECT_TRUE(Has(result.err, c.message)) << result.err;
    }
    EXPECT_TRUE(rig.Console().Files().empty());
}

TEST(CliRm, DeletesByNameOrNumberFromAFreshListingAndChecksItIsGone) {
    CliRig rig({.fill = StoreFiles});
    // The space the upload added need not be typed.
    EXPECT_EQ(rig.Run({"rm", "Ленина.m0"}).status, 0);
    EXPECT_EQ(rig.Run({"rm", "--index", "2"}).status, 0);
    const ConsoleStore console = rig.Console();
    ASSERT_EQ(console.Files().size(), 1u);
    EXPECT_EQ(console.Files()[0].Name, ToConsoleName("План 2027.h6s"));

    const CliResult missing = rig.Run({"rm", "Ленина.m0"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.err, "На пульте нет файла «Ленина.m0».")) << missing.err;
    EXPECT_EQ(rig.Run({"rm", "--index", "2"}).status, 1);
    EXPECT_EQ(rig.Console().Files().size(), 1u);
}

// The console changes behind the program's back once it has read the listing
// (slow polls leave time for it): only the fresh listing tells.
TEST(CliPutAndRm, TheFreshListingAfterwardsDecidesWhetherItWorked) {
    const auto changeAfterListing = [](CliRig& rig, CliProcess& cli, std::uint64_t replies,
                                       const std::function<void(ConsoleStore&)>& change) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (rig.simulator.RepliesSent() < replies && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        rig.simulator.WithStore([&](ConsoleStore& store) {
            change(store);
            return 0;
        });
        return cli.Wait();
    };
    const SimulatorOptions slow{.pollMs = 150, .answerMs = 1000};
    TempFolder folder;
    const std::string plan = folder.Write("plan.h6s", CountingBytes(40));
    {
        CliRig rig({.simulator = slow});
        CliProcess put(rig.Arguments({"put", plan}));
        // Directory and free space read: then the file no longer fits.
        const CliResult result = changeAfterListing(
            rig, put, 2, [](ConsoleStore& store) { store.SetCapacity(store.UsedBytes()); });
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Has(result.err, "загружен, но пульт не показывает его в списке")) << result.err;
        EXPECT_TRUE(rig.Console().Files().empty());
    }
    CliRig rig({.simulator = slow, .fill = [](ConsoleStore& store) {
                    store.AddFile(0, "a", Bytes(1));
                    store.AddFile(0, "b", Bytes(1));
                }});
    CliProcess rm(rig.Arguments({"rm", "b"}));
    // The last file's index is past the end once the first is gone.
    const CliResult result =
        changeAfterListing(rig, rm, 4, [](ConsoleStore& store) { store.DeleteFile(0); });
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Has(result.err, "Файл «b» остался на пульте.")) << result.err;
}

TEST(CliClear, AsksOnATerminalWithTheWindowsQuestionOrTakesYes) {
    CliRig rig({.fill = StoreFiles});
    const CliResult noTerminal = rig.Run({"clear"});
    EXPECT_EQ(noTerminal.status, 2);

    const std::string no = "нет\n";
    const CliResult declined = CliProcess(rig.Arguments({"clear"}), {}, &no).Wait();
    EXPECT_EQ(declined.status, 1);
    EXPECT_TRUE(Has(declined.err,
                    "Вы собираетесь удалить все файлы из памяти пульта!\n"
                    "Подтвердите Ваше желание: [да/нет] "))
        << declined.err;
    EXPECT_EQ(rig.Console().Files().size(), 3u);

    const std::string nothing;
    CliProcess interrupted(rig.Arguments({"clear"}), {}, &nothing);
    ASSERT_TRUE(interrupted.WaitForError("[да/нет] "));
    interrupted.Signal(SIGINT);
    const CliResult stopped = interrupted.Wait();
    EXPECT_EQ(stopped.status, 130);
    EXPECT_TRUE(Has(stopped.err, "Прервано, порт закрыт. Пульт не очищен.\n")) << stopped.err;
    EXPECT_EQ(rig.Console().Files().size(), 3u);

    const std::string yes = "да\n";
    EXPECT_EQ(CliProcess(rig.Arguments({"clear"}), {}, &yes).Wait().status, 0);
    EXPECT_TRUE(rig.Console().Files().empty());
    ASSERT_TRUE(rig.simulator.WithStore([](ConsoleStore& s) { return s.AddFile(0, "a", {}); }));
    EXPECT_EQ(rig.Run({"clear", "--yes", "--quiet"}).status, 0);
    EXPECT_TRUE(rig.Console().Files().empty());
}

TEST(CliFlash, ProgramsAndVerifiesTheImageOrStopsAtTheVerifyError) {
    TempFolder folder;
    const Bytes image = CountingBytes(200);
    const std::string path = folder.Write("main.mts", image);
    {
        CliRig rig;
        const CliResult result = rig.Run({"flash", path, "--yes"});
        EXPECT_EQ(result.status, 0) << result.err;
        const Bytes flash = rig.Console().Flash();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    }
    {
        CliRig rig({.faults = {.verifyErrorAddress = 0x40}});
        const CliResult result = rig.Run({"flash", path, "--yes"});
        EXPECT_EQ(result.status, 6);
        EXPECT_TRUE(Has(result.err, "Ошибка верификации по адресу 40h!")) << result.err;
    }
    // Seven blocks programmed and verified, then silence: only the listing is lost.
    CliRig rig({.faults = {.silentAfter = 14}});
    const CliResult result = rig.Run({"flash", path, "--yes", "--timeout", "0.3"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(Has(result.err,
                    "Программирование успешно завершено; список файлов не перечитан: "
                    "Нет связи с устройством!"))
        << result.err;
}

TEST(CliPort, AFailedOpenIsStatus3WithTheSystemsReason) {
    CliRig rig;
    const CliResult absent = CliProcess({"--port", "/dev/vemkard-none", "ls"}).Wait();
    EXPECT_EQ(absent.status, 3);
    EXPECT_EQ(absent.err,
              "vemkard-cli: Невозможно открыть порт! Устройства /dev/vemkard-none нет: "
              "проверьте имя порта и что адаптер подключён.\n");

    {
        const int holder = open(rig.Port().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        const CliResult busy = rig.Run({"ls"});
        close(holder);
        EXPECT_EQ(busy.status, 3);
        EXPECT_TRUE(Has(busy.err, "занят другой программой")) << busy.err;
    }

    // An ordinary user needs the device's group; one in it gets through.
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || !dialout) GTEST_SKIP() << "needs root and a dialout group";
    ASSERT_EQ(chown(rig.Port().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(rig.Port().c_str(), 0660), 0);
    const std::vector<std::string> outsider = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                               "--clear-groups"};
    const CliResult denied = CliProcess(rig.Arguments({"ls"}), outsider).Wait();
    EXPECT_EQ(denied.status, 3);
    EXPECT_TRUE(Has(denied.err, "Нет доступа к " + rig.Port() +
                                    ": порт доступен группе «dialout». Добавьте себя в неё "
                                    "(sudo adduser $USER dialout)"))
        << denied.err;
    const std::vector<std::string> member = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                             "--groups=dialout"};
    EXPECT_EQ(CliProcess(rig.Arguments({"ls"}), member).Wait().status, 0);
}

TEST(CliLine, ASilentConsoleIsStatus4AfterTheTimeout) {
    CliRig rig({.faults = {.silentAfter = 2}, .fill = StoreFiles});
    const CliResult result = rig.Run({"ls", "--timeout", "0.3"});
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(Has(result.err, "Нет связи с устройством! Список файлов не дочитан."))
        << result.err;
}

TEST(CliLine, AnInterruptAbandonsTheBatchClosesThePortAndSaysWhatWasDone) {
    CliRig rig;
    TempFolder folder;
    const std::string path = folder.Write("main.mts", CountingBytes(3000));
    CliProcess flash(rig.Arguments({"flash", path, "--yes"}));
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (rig.simulator.RepliesSent() < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    flash.Signal(SIGINT);
    const CliResult result = flash.Wait();
    EXPECT_EQ(result.status, 130);
    const std::string said = "Прервано, порт закрыт. Запись основной программы прервана на блоке ";
    const std::size_t at = result.err.find(said);
    ASSERT_NE(at, std::string::npos) << result.err;
    const std::string rest = result.err.substr(at + said.size());
    EXPECT_TRUE(Has(rest, " из 94 (адрес ")) << rest;
    EXPECT_TRUE(Has(rest, "h): прошивка в пульте неполная, запишите её снова.")) << rest;
    EXPECT_EQ(rig.Run({"ls", "--quiet"}).status, 0) << "the port was left usable";
}

TEST(CliUsage, ABadCommandLineIsStatus2) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"ls"}, {"--port", "/dev/null", "copy"}, {"--port", "x", "rm"}}) {
        const CliResult result = CliProcess(arguments).Wait();
        EXPECT_EQ(result.status, 2) << arguments.back();
        EXPECT_TRUE(Has(result.err, "Подробнее: vemkard-cli --help")) << result.err;
    }
}

TEST(CliPorts, ListsTheCandidatePortsOneALine) {
    const CliResult result = CliProcess({"ports"}).Wait();
    EXPECT_EQ(result.status, 0);
    std::istringstream lines(result.out);
    std::string line;
    for (const std::string& port : ListSerialDevices()) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_TRUE(line == port || line.starts_with(port + "  ")) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST(CliTrace, ShowsEveryFrameOfAShortExchangeOnItsOwnLine) {
    // Polls come only when answered or after a second, so the exchange is fixed.
    CliRig rig(
        {.capacity = 1000,
         .simulator = {.pollMs = 5, .answerMs = 1000},
         .fill = [](ConsoleStore& s) { s.AddFile(1, ToConsoleName("План.h6s"), Bytes(3)); }});
    TempFolder folder;
    const std::string trace = (folder.Path() / "line.trace").string();
    const std::uint16_t free = rig.Console().FreeSpace();
    ASSERT_EQ(rig.Run({"ls", "--quiet", "--trace", trace}).status, 0);

    const auto hex = [](const Bytes& frame) {
        std::string text;
        for (const auto b : frame) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%02X ", unsigned{b});
            text += digits;
        }
        return text.substr(0, text.size() - 1);
    };
    const Bytes entry = [] {
        Bytes payload{0, 0, 1, 0, 3, 0, 8};
        const std::string name = ToConsoleName("План.h6s");
        payload.insert(payload.end(), name.begin(), name.end());
        return payload;
    }();
    const Bytes poll = MakeFrame(cmPoll);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"<- " + hex(poll), "cmPoll"},
        {"-> " + hex(MakeFrame(cmReadDirectory)), "cmReadDirectory"},
        {"<- " + hex(MakeFrame(cmReadDirectory, Bytes{1})), "cmReadDirectory файлов 1"},
        {"<- " + hex(poll), "cmPoll"},
        {"-> " + hex(MakeFrame(cmReadEntry, Bytes{0})), "cmReadEntry индекс 0"},
        {"<- " + hex(MakeFrame(cmReadEntry, entry)),
         "cmReadEntry индекс 0, тип 1h (Годовой план Хронос-6 \"ЛИСТРАН\"), размер 3, имя "
         "«План.h6s»"},
        {"<- " + hex(poll), "cmPoll"},
        {"-> " + hex(MakeFrame(cmReadFreeSpace)), "cmReadFreeSpace"},
        {"<- " +
             hex(MakeFrame(cmReadFreeSpace, Bytes{std::uint8_t(free), std::uint8_t(free >> 8)})),
         "cmReadFreeSpace свободно " + std::to_string(free) + " байт"},
    };
    std::ifstream in(trace);
    std::string line;
    double last = 0;
    for (const auto& [bytes, text] : expected) {
        ASSERT_TRUE(std::getline(in, line)) << "missing: " << text;
        // "   123.4 <rest>": the time in ms with one decimal, right-aligned.
        const std::size_t start = line.find_first_not_of(' ');
        const std::size_t space = line.find(' ', start);
        ASSERT_NE(space, std::string::npos) << line;
        const std::string time = line.substr(start, space - start);
        ASSERT_EQ(time.find('.'), time.size() - 2) << line;
        EXPECT_GE(std::stod(time), last) << line;
        last = std::stod(time);
        EXPECT_EQ(line.substr(space + 1), bytes + "  " + text);
    }
    std::vector<std::string> rest;
    while (std::getline(in, line)) rest.push_back(line);
    // The next poll may come before the program has closed the port.
    if (!rest.empty() && rest.front().ends_with("<- " + hex(poll) + "  cmPoll")) {
        rest.erase(rest.begin());
    }
    EXPECT_TRUE(rest.empty()) << "more than the exchange: " << rest.front();
}

}  // namespace
}  // namespace vemkard::testing
