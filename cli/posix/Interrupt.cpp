// SIGINT, SIGTERM and SIGHUP, taken by a thread of their own instead of a
// handler.
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>

#include "cli/posix/InterruptWatch.h"

namespace vemkard {
namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

void TakeSignals(TInterrupt& interrupt, TInterruptWatch& watch) {
    const sigset_t set = StopSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0 || watch.stopping) return;
        if (!interrupt.MarkRequested()) continue;  // the first one is being handled
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(watch.wake, &one, sizeof one);
        interrupt.RunCallback();
    }
}

}  // namespace

TInterrupt::TInterrupt() : watch_(std::make_unique<TInterruptWatch>()) {
    watch_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (watch_->wake < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    const sigset_t set = StopSignals();
    // Every thread made from here on inherits the mask; only TakeSignals takes them.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watch_->thread = std::thread([this] { TakeSignals(*this, *watch_); });
}

TInterrupt::~TInterrupt() {
    watch_->stopping = true;
    pthread_kill(watch_->thread.native_handle(), SIGTERM);
    watch_->thread.join();
    ::close(watch_->wake);
}

}  // namespace vemkard
