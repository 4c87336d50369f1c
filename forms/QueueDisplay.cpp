#include "forms/QueueDisplay.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "forms/GridDisplay.h"

namespace vemkard {

QueueDisplay::QueueDisplay(IQueueView& view, ITimer& timer, std::function<int()> queueLength)
    : view_(view), timer_(timer), queueLength_(std::move(queueLength)) {
    timer_.OnTimer = [this] { ShowPaced(); };
}

void QueueDisplay::SetStatus(std::string_view text) {
    wanted_.status = text;
    Changed();
}

void QueueDisplay::SetProgressMaximum(int maximum) {
    wanted_.maximum = std::max(maximum, 1);
    Changed();
}

void QueueDisplay::SetProgressPosition(int position) {
    wanted_.position = std::clamp(position, 0, wanted_.maximum);
    Changed();
}

void QueueDisplay::SetQueueCounter(std::string_view text) {
    wanted_.counter = text;
    // The link shows its counter once the queue has changed: the pace reads
    // the length from the queue, not back from the text.
    pace_.QueueLength(queueLength_(), clock_->Now());
    Changed();
}

void QueueDisplay::EndReceive() {
    if (--receiving_ == 0 && pending_) ShowPaced();
}

void QueueDisplay::Changed() {
    if (Holding())
        pending_ = true;
    else
        Show();
}

void QueueDisplay::ShowPaced() {
    if (!pending_) return;
    const auto since = clock_->Now() - lastShown_;
    const auto interval = std::chrono::milliseconds(kQueueDisplayIntervalMs);
    if (!pace_.Running() || since >= interval) {
        Show();
        return;
    }
    if (timer_.Active()) return;
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(interval - since).count();
    timer_.Start(static_cast<int>(std::max<std::int64_t>(rest, 1)));
}

void QueueDisplay::Show() {
    pending_ = false;
    timer_.Stop();
    lastShown_ = clock_->Now();
    if (shown_.status != wanted_.status) view_.ShowStatus(shown_.status = wanted_.status);
    if (shown_.maximum != wanted_.maximum) {
        view_.ShowProgressMaximum(shown_.maximum = wanted_.maximum);
        shown_.position = std::min(shown_.position, shown_.maximum);
    }
    // A position past a maximum that has come down since is no position.
    if (shown_.position != wanted_.position && wanted_.position <= shown_.maximum)
        view_.ShowProgressPosition(shown_.position = wanted_.position);
    const std::string left = pace_.TimeLeftText();
    if (shown_.timeLeft != left) view_.ShowTimeLeft(shown_.timeLeft = left);
    if (shown_.counter != wanted_.counter) view_.ShowCounter(shown_.counter = wanted_.counter);
    if (grid_) grid_->ShowHeld();
}

}  // namespace vemkard
