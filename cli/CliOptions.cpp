#include "cli/CliOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "cli/ExitStatus.h"

namespace vemkard {
namespace {

struct TCommandName {
    std::string_view Name;
    TCliCommand Command;
};
constexpr TCommandName kCommands[] = {
    {"ports", TCliCommand::Ports}, {"ls", TCliCommand::Ls},       {"put", TCliCommand::Put},
    {"rm", TCliCommand::Rm},       {"clear", TCliCommand::Clear}, {"flash", TCliCommand::Flash},
};

constexpr std::string_view kUsageLine =
    "Использование: vemkard-cli [параметры] КОМАНДА [АРГУМЕНТЫ]";

constexpr std::string_view kCommandHelp =
    "Команды:\n"
    "  ports                последовательные порты системы и что о них известно\n"
    "  ls [--json]          файлы пульта (номер, имя, тип, размер) и свободное место\n"
    "  put ФАЙЛ...          загрузить файлы на пульт, один за другим\n"
    "  rm ИМЯ | --index N   удалить файл по имени или по номеру из ls\n"
    "  clear [--yes]        удалить все файлы пульта\n"
    "  flash ОБРАЗ [--yes]  записать и проверить основную программу (.mts)\n";

constexpr std::string_view kOptionHelp =
    "Параметры:\n"
    "  --port ПУТЬ          порт, например /dev/ttyUSB0 (или переменная VEMKARD_PORT)\n"
    "  --device УСТРОЙСТВО  vm4: пульт ВМ-4, 1000000 бод (по умолчанию);\n"
    "                       timer-19200, timer-9600: Хронос-6 на 19200 или 9600 бод\n"
    "  --timeout СЕКУНДЫ    сколько ждать ответа пульта (по умолчанию 20)\n"
    "  --trace ФАЙЛ         записать обмен по линии в ФАЙЛ (\"-\": в поток ошибок)\n"
    "  --json               ls: список одним документом JSON\n"
    "  --index N            rm: номер файла, как его показывает ls\n"
    "  --yes                clear, flash: не спрашивать подтверждения\n"
    "  --quiet              не показывать ход работы и сообщение об успехе\n"
    "  --version            версия программы\n"
    "  --help               эта справка\n";

// `text` folded to lines of at most `width` characters, every line but the
// first indented by `indent` spaces.
std::string Fold(std::string_view text, std::size_t width, std::size_t indent) {
    const auto characters = [](std::string_view s) {
        std::size_t n = 0;
        for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return n;
    };
    std::string out;
    std::size_t column = indent;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        if (column > indent && column + 1 + characters(word) > width) {
            out.append("\n").append(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += characters(word);
    }
    return out;
}

std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400)
        return std::nullopt;
    return std::chrono::milliseconds(std::max(1L, std::lround(seconds * 1000)));
}

std::optional<int> ParseIndex(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < 1 || value > 255)
        return std::nullopt;
    return static_cast<int>(value);
}

// What the command needs of its arguments and which options belong to it.
std::string CheckCommand(const TCliOptions& o) {
    using C = TCliCommand;
    const std::size_t n = o.Arguments.size();
    if (o.Json && o.Command != C::Ls) return "--json только для ls";
    if (o.Index && o.Command != C::Rm) return "--index только для rm";
    if (o.Yes && o.Command != C::Clear && o.Command != C::Flash)
        return "--yes только для clear и flash";
    switch (o.Command) {
        case C::None:
            return "не задана команда";
        case C::Ports:
        case C::Ls:
        case C::Clear:
            return n == 0 ? "" : "лишний аргумент: " + o.Arguments[0];
        case C::Put:
            return n > 0 ? "" : "put: не заданы файлы";
        case C::Rm:
            if (o.Index) return n == 0 ? "" : "rm: имя и --index вместе";
            return n == 1 ? "" : "rm: нужно одно имя файла или --index N";
        case C::Flash:
            return n == 1 ? "" : "flash: нужен один файл прошивки";
    }
    return {};
}

}  // namespace

TParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                    std::optional<std::string> portVariable) {
    TParsedCommandLine parsed;
    TCliOptions& o = parsed.Options;
    std::optional<std::string> port;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size() && parsed.Error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (o.Command == TCliCommand::None) {
                for (const TCommandName& command : kCommands)
                    if (command.Name == argument) o.Command = command.Command;
                if (o.Command == TCliCommand::None)
                    parsed.Error = "неизвестная команда " + argument;
            } else {
                o.Arguments.push_back(argument);
            }
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value or --name value.
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos) inlineValue = argument.substr(equals + 1);
        const auto flag = [&](bool& target) {
            if (inlineValue) parsed.Error = name + " не принимает значения";
            target = true;
        };
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < arguments.size()) return arguments[++i];
            parsed.Error = "нет значения для " + name;
            return std::nullopt;
        };
        if (name == "--help" || name == "-h") {
            flag(o.Help);
        } else if (name == "--version") {
            flag(o.Version);
        } else if (name == "--quiet" || name == "-q") {
            flag(o.Quiet);
        } else if (name == "--json") {
            flag(o.Json);
        } else if (name == "--yes" || name == "-y") {
            flag(o.Yes);
        } else if (name == "--port") {
            port = value();
        } else if (name == "--trace") {
            o.Trace = value();
        } else if (name == "--device") {
            const auto device = value();
            const auto* match = device
                                    ? std::find_if(kCliDevices.begin(), kCliDevices.end(),
                                                   [&](const auto& d) { return d.Name == *device; })
                                    : kCliDevices.end();
            if (match != kCliDevices.end()) o.BaudRate = match->BaudRate;
            if (device && match == kCliDevices.end())
                parsed.Error =
                    "неизвестное устройство " + *device + " (vm4, timer-19200, timer-9600)";
        } else if (name == "--timeout") {
            const auto text = value();
            const auto timeout = text ? ParseSeconds(*text) : std::nullopt;
            if (timeout) o.Timeout = *timeout;
            if (text && !timeout)
                parsed.Error = "--timeout: нужно число секунд больше 0, а не " + *text;
        } else if (name == "--index") {
            const auto text = value();
            o.Index = text ? ParseIndex(*text) : std::nullopt;
            if (text && !o.Index) parsed.Error = "--index: нужен номер от 1 до 255, а не " + *text;
        } else {
            parsed.Error = "неизвестный параметр " + name;
        }
    }
    if (!parsed.Error.empty() || o.Help || o.Version) return parsed;
    parsed.Error = CheckCommand(o);
    if (!parsed.Error.empty() || o.Command == TCliCommand::Ports) return parsed;
    if (!port) port = std::move(portVariable);
    if (!port || port->empty())
        parsed.Error =
            "не задан порт: --port ПУТЬ или переменная VEMKARD_PORT (порты: vemkard-cli ports)";
    else
        o.Port = *port;
    return parsed;
}

std::string HelpText() {
    std::string text = std::string(kUsageLine) +
                       "\n\nФайлы и прошивка пульта ВМ-4 и таймера Хронос-6 через "
                       "последовательный\nпорт, из командной строки.\n\n" +
                       std::string(kCommandHelp) + "\n" + std::string(kOptionHelp) +
                       "\nХод работы и сообщения идут в поток ошибок, результат ls и ports в\n"
                       "стандартный вывод.\n\nКоды завершения:\n";
    for (const TExitStatusText& status : kExitStatuses) {
        std::string code = std::to_string(ExitCode(status.Status));
        code.resize(5, ' ');
        // Appended piece by piece: GCC 12 sees a false overlap in "  " + code.
        text.append("  ").append(code).append(Fold(status.Text, 79, 7)).append("\n");
    }
    return text;
}

}  // namespace vemkard
