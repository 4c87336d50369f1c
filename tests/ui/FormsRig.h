// The two windows as main() builds them, over a port of the test's choosing,
// with the settings dialog's port candidates given. The dialog goes first, as
// at program exit.
#pragma once

#include <QSettings>
#include <memory>
#include <string>
#include <vector>

#include "ui/MainWindow.h"
#include "ui/SettingsDialog.h"

namespace vemkard::testing {

template <class Port>
struct FormsRig {
    explicit FormsRig(
        std::vector<std::string> candidates = {},
        TPortDescriber describe = [](const std::string& path) { return path; }) {
        auto owned = std::make_unique<Port>();
        port = owned.get();
        form1 = std::make_unique<TForm1>(std::move(owned));
        form2 = std::make_unique<TForm2>(
            *form1, [candidates] { return candidates; }, std::move(describe));
    }
    ~FormsRig() {
        form2.reset();
        form1.reset();
    }
    Port* port;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

// The persisted settings, wherever the test has pointed XDG_CONFIG_HOME.
inline QSettings Store() {
    return QSettings(QStringLiteral("Tarvisk"), QStringLiteral("Vemkard"));
}

}  // namespace vemkard::testing
