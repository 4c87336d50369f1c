// The program: the main window, then the settings dialog, which loads the
// stored port name and device; the dialog goes first at exit and saves them.
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QTimer>
#include <memory>
#include <string>

#include "ui/Application.h"
#include "ui/Comm32Port.h"
#include "ui/MainWindow.h"
#include "ui/SettingsDialog.h"

namespace {

// Test hook for scripts/screenshot only (the program itself takes no
// configuration from the environment): VEMKARD_SCREENSHOT=<png> saves the
// window once the start-up listing has ended (or after 30 s, whatever it shows
// then) and quits.
void ArmScreenshot(vemkard::TForm1& window) {
    const QString path = qEnvironmentVariable("VEMKARD_SCREENSHOT");
    if (path.isEmpty()) return;
    auto* poll = new QTimer(&window);
    auto* deadline = new QTimer(&window);
    deadline->setSingleShot(true);
    auto save = [&window, path, poll, deadline] {
        poll->stop();
        deadline->stop();
        const bool saved = window.grab().save(path, "PNG");
        QCoreApplication::exit(saved ? 0 : 1);
    };
    QObject::connect(poll, &QTimer::timeout, &window, [&window, save] {
        // The start-up listing has ended, one way or the other; a port that
        // did not open leaves the refresh queued, and nothing more happens.
        const std::string status = window.StatusText().toStdString();
        const bool ended =
            status == vemkard::kTextOperationDone || status == vemkard::kTextNoConnection;
        if (status.starts_with(vemkard::kTextCannotOpenPort) ||
            (ended && window.Session().Link.QueueLength() == 0))
            save();
    });
    QObject::connect(deadline, &QTimer::timeout, &window, save);
    poll->start(100);
    deadline->start(30000);
}

}  // namespace

int main(int argc, char** argv) {
    vemkard::TApplication app(argc, argv);
    // The installed menu entry and icon (theme "hicolor"), so that the window
    // is shown with them.
    QGuiApplication::setDesktopFileName(QStringLiteral("vemkard"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vemkard")));
    vemkard::TForm1 form1(std::make_unique<vemkard::TComm32Port>());
    vemkard::TForm2 form2(form1);
    form1.show();
    ArmScreenshot(form1);
    return app.exec();
}
