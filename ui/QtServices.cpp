#include "ui/QtServices.h"

#include <QFileDialog>
#include <QMessageBox>

#include "forms/FileFilter.h"

namespace vemkard {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TQtTimer::TQtTimer() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (OnTimer) OnTimer();
    });
}

QStringList NameFilters(std::string_view filter) {
    QStringList filters;
    for (const TFileFilter& each : ParseFileFilter(filter)) {
        QStringList patterns;
        for (const std::string& pattern : each.patterns) patterns.append(FromUtf8(pattern));
        filters.append(QStringLiteral("%1 (%2)").arg(FromUtf8(each.description),
                                                     patterns.join(QLatin1Char(' '))));
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
    dialog.setDefaultSuffix(FromUtf8(DefaultSuffix(defaultExtension)));
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
