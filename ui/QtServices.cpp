#include "ui/QtServices.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vemkard {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TQtReplyTimer::TQtReplyTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Due(); });
}

void TQtReplyTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    if (timer_.isActive()) Enable();
}

void TQtReplyTimer::Enable() {
    started_ = std::chrono::steady_clock::now();
    timer_.start(interval_);
}

void TQtReplyTimer::Restart() {
    if (timer_.isActive())
        started_ = std::chrono::steady_clock::now();
    else
        Enable();
}

void TQtReplyTimer::Due() {
    const auto now = std::chrono::steady_clock::now();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        started_ + std::chrono::milliseconds(interval_) - now);
    if (left.count() > 0) {
        timer_.start(static_cast<int>(left.count()));
        return;
    }
    // Armed again first: the tick may disable the timer.
    Enable();
    if (onTick_) onTick_();
}

QStringList NameFilters(std::string_view filter) {
    const QStringList parts = FromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        filters.append(QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' '))));
    }
    return filters;
}

std::optional<std::string> TQtUserDialogs::OpenFile(std::string_view filter, int filterIndex,
                                                    std::string_view defaultExtension) {
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name of a missing file is accepted; the caller reports it.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = NameFilters(filter);
    dialog.setNameFilters(filters);
    if (filterIndex >= 1 && filterIndex <= filters.size())
        dialog.selectNameFilter(filters[filterIndex - 1]);
    QString suffix = FromUtf8(defaultExtension);
    while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

bool TQtUserDialogs::ConfirmWarning(std::string_view text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), FromUtf8(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace vemkard
