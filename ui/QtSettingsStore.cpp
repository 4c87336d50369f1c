#include "ui/QtSettingsStore.h"

#include <QSettings>
#include <limits>

#include "forms/Form2Design.h"

namespace vemkard {
namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QSettings Store() {
    return QSettings(Latin1(kSettingsOrganisation), Latin1(kSettingsApplication));
}

// Nothing when the store has no such value.
std::optional<QVariant> Read(std::string_view name) {
    const QSettings store = Store();
    if (!store.contains(Latin1(name))) return {};
    return store.value(Latin1(name));
}

}  // namespace

std::optional<int> StoredInteger(const QVariant& value) {
    bool ok = false;
    qlonglong number = 0;
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::QString:
        case QMetaType::QByteArray:
            number = value.toLongLong(&ok);
            break;
        case QMetaType::UInt:
        case QMetaType::ULongLong: {
            const qulonglong unsignedNumber = value.toULongLong(&ok);
            ok = ok && unsignedNumber <= qulonglong{std::numeric_limits<int>::max()};
            number = static_cast<qlonglong>(unsignedNumber);
            break;
        }
        default:
            break;
    }
    // A value past 32 bits is no device code; cut down it could name one.
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return {};
    return static_cast<int>(number);
}

std::optional<QString> StoredText(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return {};
    return value.toString();
}

std::optional<std::string> TQtSettingsStore::ReadString(std::string_view name) {
    const std::optional<QVariant> value = Read(name);
    if (!value) return {};
    const std::optional<QString> text = StoredText(*value);
    if (!text) return {};
    return text->toStdString();
}

std::optional<int> TQtSettingsStore::ReadInteger(std::string_view name) {
    const std::optional<QVariant> value = Read(name);
    return value ? StoredInteger(*value) : std::nullopt;
}

void TQtSettingsStore::WriteString(std::string_view name, std::string_view value) {
    Store().setValue(Latin1(name),
                     QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

void TQtSettingsStore::WriteInteger(std::string_view name, int value) {
    Store().setValue(Latin1(name), value);
}

}  // namespace vemkard
