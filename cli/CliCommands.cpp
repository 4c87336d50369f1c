#include "cli/CliCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "files/Cp1251.h"
#include "files/FileErrors.h"
#include "files/LocalFile.h"
#include "firmware/FirmwareProgrammer.h"
#include "serial/PortList.h"

namespace vemkard {
namespace {

constexpr std::string_view kProgram = "vemkard-cli: ";

std::string Quoted(const std::string& text) {
    return "«" + text + "»";
}

std::string Format(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The number of UTF-8 characters, for the columns of the listing.
std::size_t Width(const std::string& text) {
    std::size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string Padded(const std::string& text, std::size_t width, bool right) {
    const std::string fill(width > Width(text) ? width - Width(text) : 0, ' ');
    return right ? fill + text : text + fill;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += Format("\\u%04x", unsigned{static_cast<unsigned char>(c)});
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A file row of the grid: what identifies a file on the console.
struct TRowKey {
    std::string Name, Type, Size;
    bool operator==(const TRowKey&) const = default;
};

TRowKey RowKey(const DirectoryGrid& grid, int row) {
    return {grid.Cell(row, 1), grid.Cell(row, 2), grid.Cell(row, 3)};
}

int FileRows(const DirectoryGrid& grid) {
    return grid.RowCount() - 2;
}

int CountRows(const DirectoryGrid& grid, const TRowKey& key) {
    int count = 0;
    for (int row = 1; row <= FileRows(grid); ++row) count += RowKey(grid, row) == key ? 1 : 0;
    return count;
}

// What an upload header queued for cmCreateFile says.
struct TQueuedUpload {
    std::string Name;  // UTF-8
    std::uint16_t FileType = 0;
    std::uint16_t DataLength = 0;
};

std::optional<TQueuedUpload> QueuedUpload(const ConsoleLink& link) {
    for (auto entry = link.Queue().rbegin(); entry != link.Queue().rend(); ++entry) {
        if (entry->Command != cmCreateFile) continue;
        const auto& p = entry->Payload;
        const std::size_t n = p[4];
        const auto* name = reinterpret_cast<const char*>(p.data() + 5);
        return TQueuedUpload{Cp1251ToUtf8(std::string_view(name, n)),
                             static_cast<std::uint16_t>(p[0] | p[1] << 8),
                             static_cast<std::uint16_t>(p[5 + n] | p[6 + n] << 8)};
    }
    return std::nullopt;
}

std::string FileProblem(const std::string& path) {
    if (IsDirectory(path)) return path + " — каталог, а не файл.";
    return "Нет такого файла: " + path + ".";
}

std::string OpenError(const EFOpenError& error) {
    return "Невозможно прочитать файл " + error.FileName() + ": " +
           (error.Error() == EACCES ? std::string("нет доступа") : std::strerror(error.Error())) +
           ".";
}

}  // namespace

TExit ListPorts(std::ostream& out, std::ostream& err) {
    const std::vector<std::string> ports = ListSerialPorts();
    for (const std::string& port : ports) out << DescribeSerialPort(port) << "\n";
    if (ports.empty()) err << kProgram << "последовательных портов не найдено.\n";
    return TExit::Done;
}

TCliCommands::TCliCommands(const TCliOptions& options, TCliConsole& console, TCliDialogs& dialogs,
                           std::ostream& out, std::ostream& err)
    : options_(options), console_(console), dialogs_(dialogs), out_(out), err_(err) {}

TExit TCliCommands::Execute() {
    switch (options_.Command) {
        case TCliCommand::Ls:
            return Ls();
        case TCliCommand::Put:
            return Put();
        case TCliCommand::Rm:
            return Rm();
        case TCliCommand::Clear:
            return Clear();
        case TCliCommand::Flash:
            return Flash();
        default:
            return TExit::Usage;
    }
}

void TCliCommands::Say(const std::string& text) {
    if (!options_.Quiet) err_ << kProgram << text << std::endl;
}

void TCliCommands::Error(const std::string& text) {
    err_ << kProgram << text << std::endl;
}

TExit TCliCommands::Failed(const TBatchResult& result, const std::string& done) {
    const std::string after = done.empty() ? "" : " " + done;
    switch (result.End) {
        case TBatchEnd::OpenFailed:
            Error(result.Status);
            return TExit::Port;
        case TBatchEnd::Refused:
            // The window's texts of refusal mostly end without a full stop.
            Error(result.Status + (result.Status.ends_with('!') ? "" : "."));
            return TExit::LocalFile;
        case TBatchEnd::NoReply:
            Error(result.Status +
                  (result.HungUp ? " Линия оборвалась: адаптер отключён или порт закрыт." : "") +
                  after);
            return TExit::NoReply;
        case TBatchEnd::VerifyError:
            Error(result.Status + after);
            return TExit::Verify;
        case TBatchEnd::Interrupted:
            Error("Прервано, порт закрыт." + after);
            return TExit::Interrupted;
        case TBatchEnd::NothingQueued:
            Error("Отменено.");
            return TExit::NotDone;
        case TBatchEnd::Done:
        case TBatchEnd::Other:
            break;
    }
    Error(result.Status + after);
    return TExit::NotDone;
}

std::optional<TExit> TCliCommands::ReadListing(const std::string& ifNot) {
    const TBatchResult result =
        console_.Run([this] { console_.Session().Listing.ToolButton4Click(); });
    if (result.End == TBatchEnd::Done) return std::nullopt;
    return Failed(result, ifNot);
}

TExit TCliCommands::Ls() {
    if (const auto failed = ReadListing("Список файлов не дочитан.")) return *failed;
    const DirectoryGrid& grid = console_.Session().Grid;
    const DirectoryListing& listing = console_.Session().Listing;
    const int files = FileRows(grid);
    if (options_.Json) {
        out_ << "{\n  \"files\": [";
        for (int row = 1; row <= files; ++row) {
            const TListedFile& file = listing.Files()[static_cast<std::size_t>(row - 1)];
            out_ << (row == 1 ? "\n" : ",\n") << "    {\"number\": " << row
                 << ", \"name\": " << Json(grid.Cell(row, 1)) << ", \"type\": ";
            if (file.Listed)
                out_ << "{\"code\": " << file.FileType << ", \"text\": " << Json(grid.Cell(row, 2))
                     << "}, \"size\": " << file.Size << "}";
            else
                out_ << "null, \"size\": null}";
        }
        out_ << (files > 0 ? "\n  ]" : "]") << ",\n  \"free\": " << listing.FreeSpace() << "\n}\n";
        return TExit::Done;
    }
    std::array<std::size_t, kGridColumns> widths{};
    for (int row = 0; row <= files; ++row)
        for (int column = 0; column < kGridColumns; ++column)
            widths[column] = std::max(widths[column], Width(grid.Cell(row, column)));
    for (int row = 0; row <= files; ++row) {
        std::string line;
        for (int column = 0; column < kGridColumns; ++column) {
            const bool last = column == kGridColumns - 1;
            const std::string& cell = grid.Cell(row, column);
            line += Padded(cell, last && row == 0 ? 0 : widths[column], column == 0 || last);
            if (!last) line += "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out_ << line << "\n";
    }
    out_ << grid.Cell(grid.RowCount() - 1, 1) << "\n";
    return TExit::Done;
}

TExit TCliCommands::Put() {
    std::vector<std::string> paths;
    for (const std::string& file : options_.Arguments) {
        // The window's dialog gives full paths; the console lists that name.
        paths.push_back(FullPath(file));
        if (!FileExists(paths.back())) {
            Error(FileProblem(file) + " Ничего не загружено.");
            return TExit::LocalFile;
        }
    }
    if (const auto failed = ReadListing("Ничего не загружено.")) return *failed;

    std::string uploaded;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& shown = options_.Arguments[i];
        const std::string before = uploaded.empty() ? "" : " Загружены раньше: " + uploaded + ".";
        std::optional<TQueuedUpload> upload;
        TBatchResult result;
        try {
            result = console_.Run([&] {
                dialogs_.SetFile(paths[i]);
                console_.Session().Upload.ToolButton8Click();
                upload = QueuedUpload(console_.Session().Link);
            });
        } catch (const EFOpenError& error) {
            Error(OpenError(error) + before);
            return TExit::LocalFile;
        }
        if (result.End == TBatchEnd::NothingQueued) {
            Error(FileProblem(shown) + before);
            return TExit::LocalFile;
        }
        if (result.End != TBatchEnd::Done) {
            const int blocks = result.Queued[cmWriteBlock];
            const int written = blocks - result.Left[cmWriteBlock];
            std::string done;
            if (result.Queued[cmCreateFile] == 0)
                done = "Файл " + shown + " не загружен.";
            else if (result.Left[cmCreateFile] > 0)
                done = "Файл " + shown + " не создан на пульте.";
            else if (written < blocks)
                done = Format(
                    "Файл %s создан, записано %d из %d блоков: на пульте может остаться "
                    "неполный файл.",
                    shown.c_str(), written, blocks);
            else
                done = "Файл " + shown + " записан, но список не перечитан.";
            return Failed(result, done + before);
        }
        const DirectoryGrid& grid = console_.Session().Grid;
        const auto& files = console_.Session().Listing.Files();
        bool listed = false;
        for (int row = 1; row <= FileRows(grid) && upload; ++row) {
            const TListedFile& file = files[static_cast<std::size_t>(row - 1)];
            listed =
                listed || (grid.Cell(row, 1) == upload->Name && file.Listed &&
                           file.FileType == upload->FileType && file.Size == upload->DataLength);
        }
        if (!listed) {
            Error("Файл " + shown + " загружен, но пульт не показывает его в списке." + before);
            return TExit::NotDone;
        }
        Say(shown + ": " + result.Status);
        uploaded += (uploaded.empty() ? "" : ", ") + shown;
    }
    return TExit::Done;
}

TExit TCliCommands::Rm() {
    if (const auto failed = ReadListing("Ничего не удалено.")) return *failed;
    DirectoryGrid& grid = console_.Session().Grid;
    int row = 0;
    if (options_.Index) {
        row = *options_.Index;
        if (row > FileRows(grid)) {
            Error(Format("На пульте нет файла с номером %d (файлов %d).", row, FileRows(grid)));
            return TExit::NotDone;
        }
    } else {
        const std::string& name = options_.Arguments[0];
        std::vector<int> matches;
        for (int r = 1; r <= FileRows(grid); ++r) {
            // The upload makes a name's length odd with a space; it need not be typed.
            const std::string& listed = grid.Cell(r, 1);
            if (listed == name || listed == name + " ") matches.push_back(r);
        }
        if (matches.empty()) {
            Error("На пульте нет файла " + Quoted(name) + ".");
            return TExit::NotDone;
        }
        if (matches.size() > 1) {
            std::string numbers;
            for (const int r : matches)
                numbers += (numbers.empty() ? "" : ", ") + std::to_string(r);
            Error("На пульте несколько файлов " + Quoted(name) + " (номера " + numbers +
                  "): укажите --index N.");
            return TExit::Usage;
        }
        row = matches[0];
    }
    if (grid.Cell(row, 0).empty()) {
        Error(Format("Запись номер %d не пришла с пульта; повторите.", row));
        return TExit::NotDone;
    }
    const TRowKey key = RowKey(grid, row);
    const int before = CountRows(grid, key);
    const TBatchResult result = console_.Run([&] {
        grid.SetCurrentRow(row);
        console_.Session().Removal.StringGrid1DblClick();
    });
    const std::string file = Quoted(key.Name);
    if (result.End != TBatchEnd::Done) {
        if (result.Queued[cmDeleteFile] == 0) return Failed(result, "Ничего не удалено.");
        return Failed(result, result.Left[cmDeleteFile] > 0
                                  ? "Файл " + file + " не удалён: пульт не подтвердил удаление."
                                  : "Файл " + file + " удалён, но список не перечитан.");
    }
    if (CountRows(grid, key) != before - 1) {
        Error("Файл " + file + " остался на пульте.");
        return TExit::NotDone;
    }
    Say(result.Status);
    return TExit::Done;
}

TExit TCliCommands::Clear() {
    const TBatchResult result =
        console_.Run([this] { console_.Session().Removal.ToolButton6Click(); });
    if (result.End != TBatchEnd::Done) {
        if (result.Queued[cmClearAll] == 0) return Failed(result, "Пульт не очищен.");
        return Failed(result, result.Left[cmClearAll] > 0
                                  ? "Пульт не очищен: очистка не подтверждена."
                                  : "Пульт очищен, но список не перечитан.");
    }
    if (const int left = FileRows(console_.Session().Grid); left > 0) {
        Error(Format("После очистки на пульте остались файлы: %d.", left));
        return TExit::NotDone;
    }
    Say(result.Status);
    return TExit::Done;
}

TExit TCliCommands::Flash() {
    const std::string& image = options_.Arguments[0];
    if (!FileExists(image)) {
        Error(FileProblem(image));
        return TExit::LocalFile;
    }
    TBatchResult result;
    try {
        result = console_.Run([&] {
            dialogs_.SetFile(image);
            console_.Session().Firmware.ToolButton10Click();
        });
    } catch (const EFOpenError& error) {
        Error(OpenError(error));
        return TExit::LocalFile;
    }
    if (result.End == TBatchEnd::Done) {
        Say(result.Status);
        return TExit::Done;
    }
    const int blocks = result.Queued[cmProgramFlash];
    const int programmed = blocks - result.Left[cmProgramFlash];
    const int verified = blocks - result.Left[cmVerifyFlash];
    const bool complete = blocks > 0 && verified == blocks;
    // The image is in and verified; only the listing behind it was lost.
    if (complete && result.End == TBatchEnd::NoReply) {
        Say("Программирование успешно завершено; список файлов не перечитан: " + result.Status);
        return TExit::Done;
    }
    std::string done;
    if (result.End == TBatchEnd::VerifyError) {
        done = "Прошивка в пульте неверна: запишите её снова.";
    } else if (blocks == 0) {
        done = "Запись прошивки не началась.";
    } else if (programmed == 0) {
        done = "Запись прошивки не началась: ни один блок не подтверждён.";
    } else if (programmed < blocks) {
        done = std::string(kTextFirmwareAbandoned) +
               Format(
                   " на блоке %d из %d (адрес %Xh): прошивка в пульте неполная, запишите её "
                   "снова.",
                   programmed + 1, blocks, unsigned(programmed) * 32u);
    } else if (!complete) {
        done = Format("Прошивка записана, проверено %d из %d блоков.", verified, blocks);
    } else {
        done = "Прошивка записана и проверена, список файлов не перечитан.";
    }
    return Failed(result, done);
}

}  // namespace vemkard
