// The main window as a toolkit draws it: sizes, places, colours, texts, the
// tool bar's items, the hints and the rule by which a control shows one,
// the devices behind the device buttons, and the layout arithmetic.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/DirectoryGrid.h"

namespace vemkard {

struct TRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const TRect&) const = default;
};

struct TColour {
    std::uint8_t red, green, blue;
};

inline constexpr int kForm1Width = 735;
inline constexpr int kForm1Height = 496;
inline constexpr TColour kWindowColour{255, 255, 213};
inline constexpr TColour kBarColour{213, 213, 255};
inline constexpr TColour kFixedCellColour{255, 213, 213};
// "MS Sans Serif", 8 point at 96 pixels per inch; the grid's is bold.
inline constexpr std::string_view kWindowFontName = "MS Sans Serif";
inline constexpr int kWindowFontPixels = 11;

inline constexpr TRect kToolBar1Rect{0, 0, kForm1Width, 28};
inline constexpr int kToolButtonTop = 2;
inline constexpr int kToolButtonHeight = 22;
// The grid: one fixed row (the titles) and one fixed column (the numbers),
// cells from DirectoryGrid; one cell selected at a time, none editable.
inline constexpr int kGridRowHeight = 17;
// A smooth bar; the time left, when there is one, lies over it.
inline constexpr TRect kProgressBar1Rect{120, 464, 577, 16};
// Label3 and Label4 (the queue counter) are bold.
inline constexpr int kLabel3Left = 8, kLabel3Top = 464;
inline constexpr int kLabel4Left = 704, kLabel4Top = 464;
inline constexpr TRect kStatusBar1Rect{0, kForm1Height - 19, kForm1Width, 19};

inline constexpr std::string_view kTitleInitial = "ВМ-4. Менеджер файлов";
inline constexpr std::string_view kTitleSuffix = ". Менеджер файлов.";
inline constexpr std::string_view kLabel3Text = "Очередь команд:";
inline constexpr std::string_view kLabel4Initial = "0";
inline constexpr std::string_view kHintForm1 = "Записать основную программу";
inline constexpr std::string_view kHintGrid = "Удаление-двойной клик";
inline constexpr std::string_view kTextSettingsSaved = "Измененные настройки сохранены";

// The tool bar's items, left to right; the value is the place in kToolItems.
enum class TToolId : int {
    ToolButton11,
    ToolButton12,
    ToolButton13,
    ToolButton14,
    ToolButton2,
    ToolButton1,
    ToolButton3,
    ToolButton4,
    ToolButton5,
    ToolButton10,
    ToolButton9,
    ToolButton6,
    ToolButton7,
    ToolButton8,
};

struct TToolItem {
    TToolId id;
    const char* name;
    int left;
    int width;
    const char* hint;  // empty: none of its own
    int image;         // index into the image list; -1: a separator
};
inline constexpr std::array<TToolItem, 14> kToolItems{{
    {TToolId::ToolButton11, "ToolButton11", 0, 8, "", -1},
    {TToolId::ToolButton12, "ToolButton12", 8, 23, "Пульт ВМ-4", 16},
    {TToolId::ToolButton13, "ToolButton13", 31, 23, "Хронос-6 (19200)", 17},
    {TToolId::ToolButton14, "ToolButton14", 54, 23, "Хронос-6 (9600)", 17},
    {TToolId::ToolButton2, "ToolButton2", 77, 51, "", -1},
    {TToolId::ToolButton1, "ToolButton1", 128, 23, "Настройки", 0},
    {TToolId::ToolButton3, "ToolButton3", 151, 50, "", -1},
    {TToolId::ToolButton4, "ToolButton4", 201, 23, "Обновить информацию", 12},
    {TToolId::ToolButton5, "ToolButton5", 224, 57, "", -1},
    {TToolId::ToolButton10, "ToolButton10", 281, 23, "", 14},
    {TToolId::ToolButton9, "ToolButton9", 304, 8, "", -1},
    {TToolId::ToolButton6, "ToolButton6", 312, 23, "Очистить пульт", 10},
    {TToolId::ToolButton7, "ToolButton7", 335, 9, "", -1},
    {TToolId::ToolButton8, "ToolButton8", 344, 23, "Добавить файл", 8},
}};
inline const TToolItem& ToolItem(TToolId id) {
    return kToolItems[static_cast<std::size_t>(id)];
}

// ImageList1: 16 x 16 images. Each even image below 16 is followed by a
// greyed copy of itself that no button uses.
inline constexpr int kImageCount = 18;
inline constexpr int kImageSize = 16;
inline constexpr std::array<const char*, 10> kImageSubjects{
    "tools", "open folder",    "diskette", "blank document", "arrow into a document",
    "brush", "circular arrow", "device",   "console badge",  "timer badge"};
// The subject of image `index`; a greyed copy has its original's.
std::string_view ImageSubject(int index);

// The device buttons: what each selects. A stored code of -1: none, the
// selection is not stored.
struct TDevice {
    TToolId button;
    std::uint32_t baudRate;
    int storedCode;
};
inline constexpr std::array<TDevice, 3> kDevices{{
    {TToolId::ToolButton12, 1000000, 0},
    {TToolId::ToolButton13, 19200, 1},
    {TToolId::ToolButton14, 9600, -1},
}};

// The title once `button` has been chosen: its hint, then ". Менеджер файлов.".
std::string DeviceTitle(TToolId button);

// The hint a control shows: its own, else that of the nearest enclosing
// control that has one, up to the window ("Form1"). Controls are named as
// the window names them (the tool bar's items, "ToolBar1", "StringGrid1",
// "Label3", "ProgressBar1", "Label4", "StatusBar1", "Form1"); an unknown
// name shows the window's hint.
std::string_view ShownHint(std::string_view control);
// A control's own hint; empty when it has none.
std::string_view OwnHint(std::string_view control);

// Layout: the grid fills the client width between the tool bar and the
// progress bar, one pixel off each.
TRect GridRect(int clientWidth);
// Column widths in per cent of the grid's outer width; they add up to 99.
inline constexpr std::array<int, kGridColumns> kColumnPercent{4, 50, 38, 7};
int ColumnWidth(int gridWidth, int column);

}  // namespace vemkard
