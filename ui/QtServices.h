// The toolkit side of the interfaces that the layers below the windows need:
// the no-reply timer on a QTimer and the modal dialogs.
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "files/UserDialogs.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

// `Timer1`: periodic, on a QTimer, disabled at start.
class TQtReplyTimer : public IReplyTimer {
  public:
    // `onTick` runs on every tick (Timer1Timer).
    explicit TQtReplyTimer(std::function<void()> onTick);

    void SetInterval(int milliseconds) override;
    void Enable() override;
    void Disable() override { timer_.stop(); }
    bool Enabled() const override { return timer_.isActive(); }
    // Only notes the time: the QTimer, once due, waits out the rest of the
    // interval. Stopping and starting a QTimer on every reply cost more than
    // the rest of the reply's handling.
    void Restart() override;
    int Interval() const { return interval_; }

  private:
    void Due();

    std::function<void()> onTick_;
    QTimer timer_;  // single shot, armed for each wait
    int interval_ = 0;
    std::chrono::steady_clock::time_point started_;
};

// "description|patterns|..." (patterns separated by ';') as QFileDialog name
// filters "description (pattern pattern)". A trailing description without
// patterns is dropped.
QStringList NameFilters(std::string_view filter);

// The open-file dialogs and the warning box, parented on `owner`.
class TQtUserDialogs : public IUserDialogs {
  public:
    explicit TQtUserDialogs(QWidget* owner) : owner_(owner) {}

    std::optional<std::string> OpenFile(std::string_view filter, int filterIndex,
                                        std::string_view defaultExtension) override;
    bool ConfirmWarning(std::string_view text) override;

  private:
    QWidget* owner_;
};

}  // namespace vemkard
