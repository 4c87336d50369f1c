// The main window's decisions against plain fakes: start-up, layout, the
// device selection and the guard of a firmware run.
#include <gtest/gtest.h>

#include <array>

#include "tests/forms/FormFakes.h"

namespace vemkard {
namespace {

using testing::FormsFixture;
using testing::Journal;
using enum TToolId;

TEST(MainFormTest, ShowLaysOutThenOpensThePortAndQueuesTheListing) {
    FormsFixture rig;
    rig.form.FormShow();
    EXPECT_EQ(rig.views.grid, (TRect{0, 29, 735, 434}));
    EXPECT_EQ(rig.views.widths, (std::array<int, 4>{29, 367, 279, 51}));
    const DirectoryGrid& grid = rig.form.Session().Grid;
    EXPECT_EQ(grid.Cell(0, 0) + grid.Cell(0, 1) + grid.Cell(0, 2) + grid.Cell(0, 3),
              "№№Название файлаТип файлаРазмер");
    EXPECT_EQ(rig.views.status, "Порт открыт");
    ASSERT_EQ(rig.form.Session().Link.QueueLength(), 1);
    EXPECT_EQ(rig.form.Session().Link.Queue().front().Command, cmReadDirectory);
    EXPECT_EQ(rig.views.counter, "1");
    EXPECT_TRUE(rig.form.Timer1().Enabled());

    FormsFixture failing;
    failing.port.port.failOpen = true;
    failing.form.FormShow();  // nothing escapes
    EXPECT_EQ(failing.views.status, "Невозможно открыть порт!");
    EXPECT_FALSE(failing.form.Timer1().Enabled());
}

// Any selection to any button, with the port closed: buttons, title and
// speed change, the speed only with the device; the port stays closed.
TEST(MainFormTest, DeviceSelectionSetsButtonsTitleAndSpeed) {
    const std::array<std::uint32_t, 3> rates{1000000, 19200, 9600};
    const std::array<const char*, 3> titles{"Пульт ВМ-4. Менеджер файлов.",
                                            "Хронос-6 (19200). Менеджер файлов.",
                                            "Хронос-6 (9600). Менеджер файлов."};
    const std::array<TToolId, 3> buttons{ToolButton12, ToolButton13, ToolButton14};
    for (int before = -1; before < 3; ++before)
        for (int chosen = 0; chosen < 3; ++chosen) {
            SCOPED_TRACE(::testing::Message() << before << " then " << chosen);
            FormsFixture rig;
            if (before >= 0) rig.form.ToolButton12Click(buttons[before]);
            rig.port.journal->clear();
            rig.form.ToolButton12Click(buttons[chosen]);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(rig.views.buttons[buttons[i]], std::pair(i == chosen, i != chosen));
                EXPECT_EQ(rig.form.Down(buttons[i]), i == chosen);
            }
            EXPECT_EQ(rig.port.baudRate, rates[chosen]);
            EXPECT_EQ(rig.views.title, titles[chosen]);
            EXPECT_EQ(*rig.port.journal, before == chosen
                                             ? Journal{}
                                             : Journal{"baud " + std::to_string(rates[chosen])});
        }
}

TEST(MainFormTest, DeviceChoiceReopensAnOpenPortAndKeepsTheQueue) {
    FormsFixture rig;
    rig.form.ToolButton12Click(ToolButton12);
    rig.port.baudRate = 4800;  // shows whether the speed is set again
    rig.port.port.open = true;
    rig.port.journal->clear();
    rig.views.title.clear();
    rig.form.ToolButton12Click(ToolButton12);  // already down: title and re-open only
    EXPECT_EQ(rig.port.baudRate, 4800u);
    EXPECT_EQ(rig.views.title, "Пульт ВМ-4. Менеджер файлов.");
    EXPECT_EQ(*rig.port.journal, (Journal{"close", "open COM2"}));

    const std::uint8_t payload[] = {0};
    rig.form.Session().Link.AddCommand(cmReadDirectory, payload, 1);
    rig.form.Timer1().Enable();
    rig.port.journal->clear();
    rig.form.ToolButton12Click(ToolButton14);
    EXPECT_EQ(*rig.port.journal, (Journal{"baud 9600", "close", "open COM2"}));
    EXPECT_TRUE(rig.port.port.open);
    EXPECT_EQ(rig.form.Session().Link.QueueLength(), 1);
    EXPECT_TRUE(rig.form.Timer1().Enabled());
}

// While a firmware run is queued, the settings, a device change and closing
// ask first; No leaves everything as it was, Yes abandons the run.
TEST(MainFormTest, FirmwareRunIsNotCutOffUnasked) {
    for (const TToolId action : {ToolButton1, ToolButton13, ToolButton11})  // 11: closing
        for (const bool run : {true, false})
            for (const bool yes : {true, false}) {
                SCOPED_TRACE(::testing::Message() << int(action) << run << yes);
                FormsFixture rig;
                ConsoleLink& link = rig.form.Session().Link;
                link.ActivateComm();
                const std::array<std::uint8_t, 35> block{};
                if (run) link.AddCommand(cmProgramFlash, block.data(), 36);
                rig.form.Session().Listing.RefreshDirectory();
                const int queued = link.QueueLength();
                rig.form.Display().SetStatus("было");
                rig.dialogs.confirm = yes;
                const bool closes = action == ToolButton11 && rig.form.FormCloseQuery();
                rig.form.ToolClick(action);

                const bool goesOn = !run || yes;
                EXPECT_EQ(rig.dialogs.warnings.size(), run ? 1u : 0u);
                EXPECT_EQ(link.QueueLength(), run && yes ? 0 : queued);
                EXPECT_EQ(rig.views.status, action == ToolButton1 && goesOn
                                                ? "Измененные настройки сохранены"
                                            : run && yes ? "Запись основной программы прервана"
                                                         : "было");
                EXPECT_EQ(rig.views.settingsShown, action == ToolButton1 && goesOn);
                EXPECT_EQ(rig.form.Down(ToolButton13), action == ToolButton13 && goesOn);
                EXPECT_EQ(rig.port.baudRate, action == ToolButton13 && goesOn ? 19200u : 9600u);
                EXPECT_EQ(closes, action == ToolButton11 && goesOn);
                EXPECT_EQ(rig.port.port.open, !(run && yes));
            }
}

// The window tests click the others.
TEST(MainFormTest, FirmwareAndRefreshButtonsStartTheirOperations) {
    FormsFixture rig;
    rig.form.ToolClick(ToolButton10);
    EXPECT_EQ(rig.dialogs.warnings, std::vector<std::string>{std::string(kTextConfirmFirmware)});
    rig.form.ToolClick(ToolButton4);
    EXPECT_EQ(rig.form.Session().Link.Queue().front().Command, cmReadDirectory);
}

}  // namespace
}  // namespace vemkard
