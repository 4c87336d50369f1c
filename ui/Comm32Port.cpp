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

}  // namespace vemkard
