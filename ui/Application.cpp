#include "ui/Application.h"

#include <QMessageBox>

#include "forms/UncaughtError.h"

namespace vemkard {
namespace {

std::function<void(const QString&)>& Reporter() {
    static std::function<void(const QString&)> reporter;
    return reporter;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

void TApplication::ReportError(const QString& message) {
    if (Reporter()) {
        Reporter()(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(),
                          QString::fromUtf8(kErrorBoxCaption.data(), kErrorBoxCaption.size()),
                          message);
}

void TApplication::ReportCurrentException() {
    ReportError(QString::fromStdString(UncaughtErrorText()));
}

void TApplication::SetErrorReporter(std::function<void(const QString&)> reporter) {
    Reporter() = std::move(reporter);
}

}  // namespace vemkard
