#include "ui/Application.h"

#include <QMessageBox>

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
    ErrorBox().ShowError(UncaughtErrorText());
}

IErrorBox& TApplication::ErrorBox() {
    struct TQtErrorBox : IErrorBox {
        void ShowError(std::string_view text) override {
            ReportError(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        }
    };
    static TQtErrorBox box;
    return box;
}

void TApplication::SetErrorReporter(std::function<void(const QString&)> reporter) {
    Reporter() = std::move(reporter);
}

}  // namespace vemkard
