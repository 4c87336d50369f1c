// The settings dialog's decisions against a plain store and view: what is
// loaded and saved, and the port scan.
#include <gtest/gtest.h>

#include "tests/forms/FormFakes.h"

namespace vemkard {
namespace {

using testing::FormsFixture;
using testing::TStored;
using enum TToolId;

// Only 0 and 1 select a device; whatever else is stored selects none.
TEST(SettingsFormTest, StoredDeviceSelectsOnlyByItsCode) {
    const struct {
        TStored stored;
        std::optional<TToolId> selected;
        std::uint32_t baudRate;
    } cases[] = {{{{}, {{"Device", 0}}}, ToolButton12, 1000000},
                 {{{}, {{"Device", 1}}}, ToolButton13, 19200},
                 {{{}, {{"Device", 2}}}, {}, 9600},
                 {{{}, {{"Device", -1}}}, {}, 9600},
                 {{{{"Device", "1"}}, {}}, {}, 9600},
                 {{}, {}, 9600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baudRate);
        FormsFixture rig(c.stored);
        for (const TToolId button : {ToolButton12, ToolButton13, ToolButton14})
            EXPECT_EQ(rig.form.Down(button), button == c.selected);
        EXPECT_EQ(rig.port.baudRate, c.baudRate);
        EXPECT_EQ(rig.views.title.empty(), !c.selected);
    }
}

// The port name always; "Device" only for a device that has a code, so the
// 9600 button keeps what was stored before.
TEST(SettingsFormTest, SaveKeepsTheStoredDeviceForThe9600Button) {
    for (const std::optional<int> stored :
         {std::optional<int>(0), std::optional<int>(1), std::optional<int>()}) {
        FormsFixture rig(stored ? TStored{{}, {{"Device", *stored}}} : TStored{});
        rig.form.ToolButton12Click(ToolButton14);
        rig.settingsView.text = "/dev/ttyACM0";
        rig.settings->Button1Click();
        EXPECT_EQ(rig.store.ReadString("ComPort"), "/dev/ttyACM0");
        EXPECT_EQ(rig.store.ReadInteger("Device"), stored);
    }
}

TEST(SettingsFormTest, ScanListsTheCandidatesThatOpenAndKeepsTheText) {
    const struct {
        std::vector<std::string> candidates, refused, listed;
    } cases[] = {
        {{"/dev/ttyS0", "/dev/ttyUSB0"},
         {},
         {"about /dev/ttyS0=/dev/ttyS0", "about /dev/ttyUSB0=/dev/ttyUSB0"}},
        {{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"},
         {"/dev/ttyS1"},
         {"about /dev/ttyS0=/dev/ttyS0", "about /dev/ttyS2=/dev/ttyS2"}},
        {{"/dev/ttyS0"}, {"/dev/ttyS0"}, {}},
        {{}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.candidates.size());
        FormsFixture rig({}, c.candidates);
        for (const std::string& name : c.refused) rig.port.port.refused.insert(name);
        rig.settingsView.listed = {"old"};
        rig.settingsView.text = "/dev/мой-порт";
        rig.settings->FormShow();
        EXPECT_EQ(rig.settingsView.listed, c.listed);
        EXPECT_EQ(rig.settingsView.text, "/dev/мой-порт");
        EXPECT_FALSE(rig.port.port.open);
    }
}

TEST(SettingsFormTest, NumberedPortNamesRunFromCom1ToCom255InDecimal) {
    const std::vector<std::string> names = NumberedPortNames();
    ASSERT_EQ(names.size(), 255u);
    EXPECT_EQ(names[0], "//./COM1");
    EXPECT_EQ(names[9], "//./COM10");
    EXPECT_EQ(names[254], "//./COM255");
}

TEST(SettingsFormTest, ScanClosesAnOpenPortFirstAndStopsIfItStaysOpen) {
    FormsFixture rig({}, {"/dev/ttyS0"});
    rig.port.port.open = true;
    rig.port.journal->clear();
    rig.settings->FormShow();
    EXPECT_EQ(*rig.port.journal, (testing::Journal{"close", "probe /dev/ttyS0"}));
    EXPECT_FALSE(rig.port.port.open);

    rig.settingsView.listed = {"old"};
    rig.port.port.open = rig.port.port.stuckOpen = true;
    rig.settings->FormShow();
    EXPECT_EQ(rig.settingsView.listed, std::vector<std::string>{"old"});
    EXPECT_EQ(rig.settingsView.text, "ComboBox1");
}

}  // namespace
}  // namespace vemkard
