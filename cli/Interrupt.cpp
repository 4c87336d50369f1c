#include "cli/Interrupt.h"

namespace vemkard {

void TInterrupt::SetCallback(std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
}

void TInterrupt::RunCallback() {
    std::lock_guard lock(mutex_);
    if (callback_) callback_();
}

}  // namespace vemkard
