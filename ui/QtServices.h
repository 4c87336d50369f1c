// The toolkit side of the interfaces that the layers below the windows need:
// the no-reply timer on a QTimer and the modal dialogs.
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "files/UserDialogs.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

// `Timer1`: a periodic QTimer, disabled at start.
class TQtReplyTimer : public IReplyTimer {
  public:
    // `onTick` runs on every tick (Timer1Timer).
    explicit TQtReplyTimer(std::function<void()> onTick);

    void SetInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    void Enable() override { timer_.start(); }
    void Disable() override { timer_.stop(); }
    bool Enabled() const override { return timer_.isActive(); }
    int Interval() const { return timer_.interval(); }
    QTimer& Timer() { return timer_; }

  private:
    QTimer timer_;
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
