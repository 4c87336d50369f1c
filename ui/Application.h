// The application object and its top-level error handler: an exception that
// escapes a handler is shown in an error box and the program goes on.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>
#include <utility>

#include "forms/UncaughtError.h"

namespace vemkard {

class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);

    // Catches what an event handler lets escape and reports it.
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows `message` in the error box (or hands it to the reporter set for
    // tests). Usable with or without a TApplication instance.
    static void ReportError(const QString& message);
    // Reports the current exception; call from inside a catch block only.
    static void ReportCurrentException();

    // Replaces the error box, for tests. An empty function restores it.
    static void SetErrorReporter(std::function<void(const QString&)> reporter);

    // The error box as the forms see it: ReportError.
    static IErrorBox& ErrorBox();
};

// Wraps a handler for a Qt signal so that an exception it throws reaches the
// top-level handler here, before it can unwind through Qt's own frames
// (QtWidgets is built without exception support).
template <typename F>
auto Guarded(F handler) {
    return [handler = std::move(handler)](auto&&...) {
        RunGuarded(TApplication::ErrorBox(), handler);
    };
}

}  // namespace vemkard
