// What the two forms need from a window toolkit: the views they draw on, a
// single-shot timer, the clock and the settings store. A toolkit implements
// these with its own widgets; tests answer with plain fakes. The modal
// file and warning dialogs are IUserDialogs (files/UserDialogs.h).
//
// Everything is called on the user-interface thread only.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "forms/Form1Design.h"

namespace vemkard {

// The main window's own controls, apart from the queue display.
class IMainView {
  public:
    virtual ~IMainView() = default;
    virtual void SetTitle(std::string_view title) = 0;
    // A device button: shown pressed or not, clickable or greyed.
    virtual void SetDeviceButton(TToolId button, bool down, bool enabled) = 0;
    // The grid's outer rectangle in the client area.
    virtual void PlaceGrid(const TRect& rect) = 0;
    // Column 0 is the fixed number column.
    virtual void SetColumnWidth(int column, int width) = 0;
    // Shows the settings dialog modally; true when it was closed with OK.
    virtual bool ShowSettings() = 0;
};

// The status line, the progress bar with its text, and the queue counter.
// Each call brings a value that differs from the one shown.
class IQueueView {
  public:
    virtual ~IQueueView() = default;
    virtual void ShowStatus(std::string_view text) = 0;
    // The bar runs from 0; a new maximum brings the position within it.
    virtual void ShowProgressMaximum(int maximum) = 0;
    // Always within 0 .. the maximum.
    virtual void ShowProgressPosition(int position) = 0;
    // Lies over the bar; empty: no text at all.
    virtual void ShowTimeLeft(std::string_view text) = 0;
    virtual void ShowCounter(std::string_view text) = 0;
};

// The directory grid's cells, in DirectoryGrid's numbering (row 0 the
// titles, column 0 the numbers); the view reads their texts with
// DirectoryGrid::Cell and reports the selected row with SetCurrentRow.
class IGridView {
  public:
    virtual ~IGridView() = default;
    // The row count changed or the rows were emptied: everything anew.
    virtual void RowsReset(int rowCount) = 0;
    // The cells of rows first..last in columns first..last changed.
    virtual void CellsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) = 0;
};

// A single-shot timer of the toolkit's event loop: once started, calls
// OnTimer one time when the milliseconds have passed, unless stopped first.
// Starting an active timer starts it again.
class ITimer {
  public:
    virtual ~ITimer() = default;
    virtual void Start(int milliseconds) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;

    // Set by the form that owns the timer.
    std::function<void()> OnTimer;
};

class IClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~IClock() = default;
    virtual TimePoint Now() const = 0;
};

class SteadyClock : public IClock {
  public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
};

// The persisted settings: named strings and 32-bit integers, as the
// registry keeps them. The store opens (or creates) its place on each call.
class ISettingsStore {
  public:
    virtual ~ISettingsStore() = default;
    // Nothing when the value is absent or is not a string.
    virtual std::optional<std::string> ReadString(std::string_view name) = 0;
    // Nothing when the value is absent or is no integer within 32 bits.
    virtual std::optional<int> ReadInteger(std::string_view name) = 0;
    virtual void WriteString(std::string_view name, std::string_view value) = 0;
    virtual void WriteInteger(std::string_view name, int value) = 0;
};

// The settings dialog's editable combo box: its text is the port name.
class ISettingsView {
  public:
    virtual ~ISettingsView() = default;
    // Exactly what was typed or picked (a pick gives the entry's path).
    virtual std::string PortText() const = 0;
    virtual void SetPortText(std::string_view text) = 0;
    virtual void ClearPorts() = 0;
    // An entry of the list: shows `description`, stands for `path`.
    virtual void AddPort(std::string_view description, std::string_view path) = 0;
};

}  // namespace vemkard
