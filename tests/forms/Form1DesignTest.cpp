// What a toolkit takes from the forms as data and small rules: hints,
// titles, the grid's double click, file filters and the error box's text.
#include <gtest/gtest.h>

#include <stdexcept>

#include "forms/FileFilter.h"
#include "forms/Form1Design.h"
#include "forms/GridDoubleClick.h"
#include "forms/UncaughtError.h"

namespace vemkard {
namespace {

TEST(Form1DesignTest, HintsComeFromTheNearestControlThatHasOne) {
    const char* const form = "Записать основную программу";
    for (const auto& [control, hint] : {std::pair{"ToolButton12", "Пульт ВМ-4"},
                                        {"ToolButton10", form},
                                        {"ToolButton5", form},
                                        {"StatusBar1", form},
                                        {"StringGrid1", "Удаление-двойной клик"}})
        EXPECT_EQ(ShownHint(control), hint) << control;
    EXPECT_EQ(DeviceTitle(TToolId::ToolButton13), "Хронос-6 (19200). Менеджер файлов.");
    EXPECT_EQ(ImageSubject(11), "brush");  // the greyed copy of 10
}

TEST(Form1DesignTest, OnlyALeftDoubleClickOnThePressedBodyCellCounts) {
    GridDoubleClick clicks;
    clicks.Press(2, 1);
    EXPECT_TRUE(clicks.Counts(true, 2, 1));
    EXPECT_FALSE(clicks.Counts(false, 2, 1));  // right button
    EXPECT_FALSE(clicks.Counts(true, 2, 2));   // another cell than pressed
    clicks.RowsReset();
    EXPECT_FALSE(clicks.Counts(true, 2, 1));
    clicks.Press(0, 1);  // no body cell
    EXPECT_FALSE(clicks.Counts(true, 0, 1));
}

TEST(Form1DesignTest, FileFiltersFollowTheDescriptionPatternPairs) {
    using Filters = std::vector<TFileFilter>;
    EXPECT_EQ(ParseFileFilter("Зашифрованные прошивки|*.mts"),
              (Filters{{"Зашифрованные прошивки", {"*.mts"}}}));
    EXPECT_EQ(ParseFileFilter("Известные типы|*.kts;*.m0;|Все файлы|*.*"),
              (Filters{{"Известные типы", {"*.kts", "*.m0"}}, {"Все файлы", {"*.*"}}}));
    EXPECT_EQ(ParseFileFilter("Все файлы|*.*|Лишнее"), (Filters{{"Все файлы", {"*.*"}}}));
    EXPECT_EQ(ParseFileFilter(""), Filters{});
    EXPECT_EQ(DefaultSuffix("*.mts"), "mts");
}

TEST(Form1DesignTest, AnErrorAHandlerLetsEscapeIsShownInTheBox) {
    struct : IErrorBox {
        void ShowError(std::string_view text) override { shown.emplace_back(text); }
        std::vector<std::string> shown;
    } box;
    RunGuarded(box, [] { throw std::runtime_error("Файл не найден"); });
    RunGuarded(box, [] { throw 42; });
    RunGuarded(box, [] {});
    EXPECT_EQ(box.shown, (std::vector<std::string>{"Файл не найден", "Неизвестная ошибка"}));
}

}  // namespace
}  // namespace vemkard
