// The parts of vemkard-cli that need no console: the command line, the help
// and README against the one table of exit statuses, the line trace's
// decoding of frames, damage and noise, and the progress text.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/CliDialogs.h"
#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"
#include "cli/LineTrace.h"
#include "cli/Progress.h"
#include "protocol/Frame.h"

namespace vemkard::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

TParsedCommandLine Parse(std::vector<std::string> arguments,
                         std::optional<std::string> variable = std::nullopt) {
    return ParseCommandLine(arguments, std::move(variable));
}

TEST(CliOptions, TakeTheCommandItsArgumentsAndTheSettings) {
    const auto put = Parse({"put", "--device=timer-9600", "a.m0", "--timeout", "0.25", "--port",
                            "/dev/ttyUSB1", "--", "-b.z0"});
    ASSERT_EQ(put.Error, "");
    EXPECT_EQ(put.Options.Command, TCliCommand::Put);
    EXPECT_EQ(put.Options.Arguments, (std::vector<std::string>{"a.m0", "-b.z0"}));
    EXPECT_EQ(put.Options.Port, "/dev/ttyUSB1");
    EXPECT_EQ(put.Options.BaudRate, 9600u);
    EXPECT_EQ(put.Options.Timeout, std::chrono::milliseconds(250));

    const auto ls = Parse({"ls", "--json", "--trace", "-"}, "/dev/ttyS3");
    EXPECT_EQ(ls.Options.Port, "/dev/ttyS3") << "the variable stands in for --port";
    EXPECT_EQ(ls.Options.BaudRate, 1000000u);
    EXPECT_EQ(ls.Options.Timeout, std::chrono::milliseconds(20000));
    EXPECT_EQ(ls.Options.Trace, "-");
    EXPECT_EQ(Parse({"--port", "/dev/a", "ls"}, "/dev/b").Options.Port, "/dev/a");
    EXPECT_EQ(Parse({"rm", "--index", "3", "--port", "p"}).Options.Index, 3);
    EXPECT_TRUE(Parse({"ports"}).Error.empty()) << "ports needs no port";
}

TEST(CliOptions, RefuseWhatCannotBeDone) {
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{"ls"}, "не задан порт"},
        {{}, "не задана команда"},
        {{"copy"}, "неизвестная команда copy"},
        {{"ls", "--port", "p", "--colour"}, "неизвестный параметр --colour"},
        {{"ls", "--port"}, "нет значения для --port"},
        {{"ls", "-p", "x"}, "неизвестный параметр -p"},
        {{"ls", "--port", "p", "--device", "vm5"}, "неизвестное устройство vm5"},
        {{"ls", "--port", "p", "--timeout", "0"}, "--timeout: нужно число секунд больше 0"},
        {{"ls", "--port", "p", "--timeout", "5s"}, "--timeout: нужно число секунд больше 0"},
        {{"rm", "--port", "p", "--index", "0"}, "--index: нужен номер от 1 до 255"},
        {{"rm", "--port", "p", "a", "--index", "2"}, "rm: имя и --index вместе"},
        {{"rm", "--port", "p"}, "rm: нужно одно имя файла или --index N"},
        {{"put", "--port", "p"}, "put: не заданы файлы"},
        {{"flash", "--port", "p", "a.mts", "b.mts"}, "flash: нужен один файл прошивки"},
        {{"ls", "--port", "p", "extra"}, "лишний аргумент: extra"},
        {{"put", "--port", "p", "a", "--json"}, "--json только для ls"},
        {{"ls", "--port", "p", "--yes"}, "--yes только для clear и flash"},
        {{"ls", "--port", "p", "--quiet=1"}, "--quiet не принимает значения"},
    };
    for (const auto& c : cases) {
        const std::string error = Parse(c.arguments).Error;
        EXPECT_TRUE(error.starts_with(c.error)) << error << " / " << c.error;
    }
}

// Runs of white space as one space: the help folds its lines.
std::string Squeezed(const std::string& text) {
    std::istringstream words(text);
    std::string out;
    for (std::string word; words >> word;) out += " " + word;
    return out;
}

TEST(CliOptions, HelpReadmeAndManualGiveEveryExitStatusOfTheTable) {
    const std::string help = Squeezed(HelpText());
    const auto read = [](const char* path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    };
    const std::string readme = read(VEMKARD_README);
    const std::string manual = read(VEMKARD_MANUAL);
    for (const TExitStatusText& status : kExitStatuses) {
        const std::string code = std::to_string(ExitCode(status.Status));
        const std::string text(status.Text);
        EXPECT_NE(readme.find("| " + code + " | " + text + " |"), std::string::npos)
            << "README lacks status " << code;
        EXPECT_NE(manual.find(".TP\n.B " + code + "\n"), std::string::npos)
            << "the manual page lacks status " << code;
        EXPECT_NE(help.find(" " + code + Squeezed(text)), std::string::npos)
            << "help lacks status " << code;
    }
}

TEST(CliDialogs, OnlyAYesAnswersYes) {
    for (const char* yes : {"да", "Да", "д", "y", "YES", " да \r"}) EXPECT_TRUE(IsYes(yes)) << yes;
    for (const char* no : {"", "нет", "n", "дa?", "yes please"}) EXPECT_FALSE(IsYes(no)) << no;
}

TEST(LineTraceDecoding, NamesEachCommandAndItsFields) {
    const auto sent = TTraceDirection::Sent;
    const auto received = TTraceDirection::Received;
    Bytes header{0x52, 0x4D, 0x0B, 0x01, 3, 0xCF, 0xEB, 0x2E, 0x04, 0x01};
    Bytes block{0x20, 0x00, 32};
    block.resize(35, 0xAA);
    Bytes entry{4, 0, 0x00, 0x80, 0x10, 0x00, 2, 0xE0, 0x61};
    const struct {
        TTraceDirection direction;
        Bytes frame;
        std::string text;
    } cases[] = {
        {received, MakeFrame(cmPoll), "cmPoll"},
        {sent, MakeFrame(cmReadEntry, Bytes{7}), "cmReadEntry индекс 7"},
        {received, MakeFrame(cmReadEntry, entry),
         "cmReadEntry индекс 4, тип 8000h (Программа), размер 16, имя «аa»"},
        {received, MakeFrame(cmReadEntry, Bytes{4}), "cmReadEntry (короткий кадр)"},
        {sent, MakeFrame(cmCreateFile, header),
         "cmCreateFile тип 4D52h (Организация перекрестка МРК-8), имя «Пл.», длина 267, данных "
         "260"},
        {sent, MakeFrame(cmWriteBlock, block), "cmWriteBlock смещение 32, длина 32"},
        {sent, MakeFrame(cmProgramFlash, block), "cmProgramFlash адрес 20h, длина 32"},
        {received, MakeFrame(cmVerifyFlash, Bytes{0xE0, 0x1F, 0}),
         "cmVerifyFlash адрес 1FE0h, верно"},
        {received, MakeFrame(cmVerifyFlash, Bytes{0xE0, 0x1F, 1}),
         "cmVerifyFlash адрес 1FE0h, ОШИБКА ВЕРИФИКАЦИИ (флаг 1)"},
        {sent, MakeFrame(cmDeleteFile, Bytes{5}), "cmDeleteFile индекс 5"},
        {received, MakeFrame(cmReadDirectory, Bytes{3}), "cmReadDirectory файлов 3"},
        {received, MakeFrame(cmReadFreeSpace, Bytes{0x10, 0x27}),
         "cmReadFreeSpace свободно 10000 байт"},
        {received, MakeFrame(99), "команда 99 (нет в таблице)"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeTracedFrame(c.direction, c.frame), c.text);
}

// Feeds chunks to a trace and gives its lines without the times.
class TraceLines {
  public:
    void Add(TTraceDirection direction, const Bytes& bytes, int ms) {
        trace_.Add({direction, bytes, start_ + std::chrono::milliseconds(ms)});
    }
    std::vector<std::string> Lines() {
        trace_.Flush();
        std::vector<std::string> lines;
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

  private:
    std::ostringstream out_;
    Clock::time_point start_ = Clock::now();
    TLineTrace trace_{out_, start_};
};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(LineTraceStream, OneLinePerFrameAndPerRunOfBytesThatIsNone) {
    const auto rx = TTraceDirection::Received;
    const Bytes poll = MakeFrame(cmPoll);  // 5C 59 53 57 01 00 9F
    Bytes damaged = MakeFrame(cmReadDirectory, Bytes{2});
    damaged.back() ^= 0x01;
    Bytes longPoll = poll;
    longPoll[4] = 0x09;  // says 15 bytes; a poll starts inside them
    TraceLines t;
    t.Add(rx, Join({{0x11, 0x22}, Bytes(poll.begin(), poll.begin() + 3)}), 1);
    t.Add(rx, Bytes(poll.begin() + 3, poll.end()), 2);
    t.Add(rx, {0x33}, 3);
    t.Add(rx, Join({{0x44}, damaged, longPoll, poll}), 4);
    t.Add(TTraceDirection::Sent, MakeFrame(cmReadDirectory), 5);
    t.Add(rx, Bytes(poll.begin(), poll.begin() + 5), 6);
    EXPECT_EQ(t.Lines(), (std::vector<std::string>{
                             "      1.0 <- 11 22  ШУМ",
                             "      2.0 <- 5C 59 53 57 01 00 9F  cmPoll",
                             "      4.0 <- 33 44  ШУМ",
                             "      4.0 <- 5C 59 53 57 02 10 02 8D  ПОВРЕЖДЁН: контрольная сумма "
                             "8Dh, должна быть 8Ch",
                             "      5.0 -> 5C 59 53 57 01 10 8F  cmReadDirectory",
                             "      6.0 <- 5C 59 53 57 09 00 9F  ПОВРЕЖДЁН: оборван, по длине 15 "
                             "байт",
                             "      6.0 <- 5C 59 53 57 01 00 9F  cmPoll",
                             "      6.0 <- 5C 59 53 57 01  НЕПОЛНЫЙ КАДР: пришло 5 из 7 байт",
                         }));
}

TEST(LineTraceStream, NoiseIsWrittenBeforeTheOtherDirectionsNextLine) {
    TraceLines t;
    t.Add(TTraceDirection::Received, {0x01, 0x02, 0x03}, 1);
    t.Add(TTraceDirection::Received, {0x04, 0x05, 0x5C, 0x59}, 2);
    t.Add(TTraceDirection::Sent, MakeFrame(cmReadFreeSpace), 3);
    EXPECT_EQ(t.Lines(), (std::vector<std::string>{
                             "      2.0 <- 01 02 03 04 05  ШУМ",
                             "      3.0 -> 5C 59 53 57 01 12 8D  cmReadFreeSpace",
                             "      2.0 <- 5C 59  ШУМ",
                         }))
        << "a run of noise is one line; bytes that may start a frame wait for the next chunk";
}

TEST(Progress, ShowsWhatIsKnownOfTheBatch) {
    TProgressState state{.Phase = "Верификация",
                         .Maximum = 200,
                         .Position = 50,
                         .Left = 51,
                         .Bytes = 30000,
                         .Elapsed = 10,
                         .BarElapsed = 9};
    EXPECT_EQ(ProgressText(state),
              "Верификация: 75%, команд в очереди 51, 3000 Б/с, осталось 0:03");
    state.Maximum = -1;
    state.Elapsed = 0.5;
    EXPECT_EQ(ProgressText(state), "Верификация, команд в очереди 51");
}

}  // namespace
}  // namespace vemkard::testing
