// Plain fakes of what a toolkit gives the forms, and the two forms wired to
// them as a window program wires them.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "forms/MainForm.h"
#include "forms/SettingsForm.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeWindowPort.h"

namespace vemkard::testing {

class FakeTimer : public ITimer {
  public:
    void Start(int milliseconds) override { started = milliseconds; }
    void Stop() override { started.reset(); }
    bool Active() const override { return started.has_value(); }
    void Fire() {
        started.reset();
        OnTimer();
    }
    std::optional<int> started;  // the milliseconds it was last started with
};

// Moves only when told.
struct StepClock : IClock {
    TimePoint Now() const override { return now; }
    TimePoint now{std::chrono::hours(1)};
};

// Records the last of each value the forms showed, and how often each kind came.
struct RecordingViews : IMainView, IQueueView {
    void SetTitle(std::string_view text) override { title = text; }
    void SetDeviceButton(TToolId id, bool down, bool enabled) override {
        buttons[id] = {down, enabled};
    }
    void PlaceGrid(const TRect& rect) override { grid = rect; }
    void SetColumnWidth(int column, int width) override { widths.at(column) = width; }
    bool ShowSettings() override { return ++settingsShown; }  // closed with OK
    void ShowStatus(std::string_view text) override { status = text, ++shows; }
    void ShowProgressMaximum(int value) override { maximum = value, ++shows; }
    void ShowProgressPosition(int value) override { position = value, ++shows; }
    void ShowTimeLeft(std::string_view text) override { timeLeft = text, ++shows; }
    void ShowCounter(std::string_view text) override { counter = text, ++shows; }

    std::string title, status, timeLeft, counter = "0";
    TRect grid;
    std::array<int, 4> widths{};
    std::map<TToolId, std::pair<bool, bool>> buttons;  // down, enabled
    int maximum = 100, position = 0, shows = 0, settingsShown = 0;
};

// Strings and integers kept apart, as the registry types them.
struct TStored {
    std::map<std::string, std::string, std::less<>> strings;
    std::map<std::string, int, std::less<>> integers;
};

struct MapStore : ISettingsStore {
    template <class T>
    static std::optional<T> Find(const std::map<std::string, T, std::less<>>& map,
                                 std::string_view name) {
        const auto at = map.find(name);
        return at == map.end() ? std::nullopt : std::optional<T>(at->second);
    }
    std::optional<std::string> ReadString(std::string_view name) override {
        return Find(values.strings, name);
    }
    std::optional<int> ReadInteger(std::string_view name) override {
        return Find(values.integers, name);
    }
    void WriteString(std::string_view name, std::string_view value) override {
        values.strings[std::string(name)] = value;
    }
    void WriteInteger(std::string_view name, int value) override {
        values.integers[std::string(name)] = value;
    }
    TStored values;
};

struct FakeSettingsView : ISettingsView {
    std::string PortText() const override { return text; }
    void SetPortText(std::string_view value) override { text = value; }
    void ClearPorts() override { listed.clear(); }
    void AddPort(std::string_view description, std::string_view path) override {
        listed.push_back(std::string(description) + "=" + std::string(path));
    }
    std::string text = "ComboBox1";
    std::vector<std::string> listed;
};

// Both forms as main() builds them; LoadSettings has run.
struct FormsFixture {
    explicit FormsFixture(TStored stored = {}, std::vector<std::string> candidates = {}) {
        store.values = std::move(stored);
        settings = std::make_unique<SettingsForm>(
            form, settingsView, store, [candidates] { return candidates; },
            [](const std::string& path) { return "about " + path; });
        settings->LoadSettings();
    }
    MapStore store;
    FakeWindowPort port;
    RecordingViews views;
    FakeTimer timer1, displayTimer;
    FakeDialogs dialogs;
    FakeSettingsView settingsView;
    MainForm form{port, {views, views, timer1, displayTimer, dialogs}};
    std::unique_ptr<SettingsForm> settings;
};

}  // namespace vemkard::testing
