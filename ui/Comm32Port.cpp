#include "ui/Comm32Port.h"

#include "ui/Application.h"

namespace vemkard {

TComm32Port::TComm32Port() : comm_(*this) {
    comm_.SetParity(pOdd);
    comm_.SetFlowControl(fcNone);
    comm_.SetEventChar(0);
}

TComm32Port::~TComm32Port() {
    // Stop the threads before the target they post to goes.
    comm_.ClosePort();
}

bool TComm32Port::Post(TCommMessage message) {
    return QMetaObject::invokeMethod(
        &context_,
        [message = std::move(message)] {
            // The receive handler runs the protocol; what escapes it is shown
            // here rather than unwound through Qt's event dispatch.
            try {
                TComm32::Deliver(message);
            } catch (...) {
                TApplication::ReportCurrentException();
            }
        },
        Qt::QueuedConnection);
}

bool TComm32Port::WatchPort(int port, std::function<void()> readable) {
    UnwatchPort(port);
    portNotifier_ = new QSocketNotifier(port, QSocketNotifier::Read, &context_);
    QObject::connect(portNotifier_, &QSocketNotifier::activated, &context_,
                     [this, readable = std::move(readable)] {
                         ++portCalls_;
                         try {
                             readable();
                         } catch (...) {
                             TApplication::ReportCurrentException();
                         }
                         --portCalls_;
                     });
    return true;
}

void TComm32Port::UnwatchPort(int /*port*/) {
    if (!portNotifier_) return;
    portNotifier_->setEnabled(false);
    // A notifier is not deleted inside its own signal: the loop does it.
    if (portCalls_ > 0) {
        portNotifier_->deleteLater();
    } else {
        delete portNotifier_;
    }
    portNotifier_ = nullptr;
}

}  // namespace vemkard
