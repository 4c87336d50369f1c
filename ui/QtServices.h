// The toolkit side of the interfaces that the forms and the layers below
// them need: a single-shot timer on a QTimer and the modal dialogs.
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

#include "files/UserDialogs.h"
#include "forms/FormInterfaces.h"

namespace vemkard {

class TQtTimer : public ITimer {
  public:
    TQtTimer();

    void Start(int milliseconds) override { timer_.start(milliseconds); }
    void Stop() override { timer_.stop(); }
    bool Active() const override { return timer_.isActive(); }

  private:
    QTimer timer_;
};

// The filter list as QFileDialog name filters "description (pattern pattern)".
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
