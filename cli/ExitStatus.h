// The exit statuses of vemkard-cli, with the text that --help and the README
// give for each. The README's table is checked against this one.
#pragma once

#include <array>
#include <string_view>

namespace vemkard {

enum class TExit : int {
    Done = 0,
    NotDone = 1,
    Usage = 2,
    Port = 3,
    NoReply = 4,
    LocalFile = 5,
    Verify = 6,
    Interrupted = 130,
};

struct TExitStatusText {
    TExit Status;
    std::string_view Text;
};

inline constexpr std::array<TExitStatusText, 8> kExitStatuses{{
    {TExit::Done, "выполнено"},
    {TExit::NotDone,
     "не выполнено: пульт не показал ожидаемого (файла нет в списке после загрузки, файл "
     "остался после удаления, нет файла с таким именем или номером, файлы остались после "
     "очистки) или подтверждение не дано"},
    {TExit::Usage, "ошибка в командной строке"},
    {TExit::Port,
     "порт не открывается (нет устройства, нет доступа, порт занят); причина "
     "названа в сообщении"},
    {TExit::NoReply, "пульт не отвечает дольше --timeout"},
    {TExit::LocalFile,
     "локальный файл отвергнут (не найден, слишком большой для свободного места, повреждён "
     "файл организации, слишком длинное имя, пустая прошивка)"},
    {TExit::Verify, "ошибка верификации прошивки (адрес в сообщении)"},
    {TExit::Interrupted,
     "прервано (SIGINT, SIGTERM, SIGHUP; в Windows Ctrl-C, Ctrl-Break, закрытие окна консоли): "
     "работа брошена, порт закрыт, сказано, что успело выполниться"},
}};

inline int ExitCode(TExit status) {
    return static_cast<int>(status);
}

}  // namespace vemkard
