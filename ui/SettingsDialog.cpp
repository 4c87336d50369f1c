#include "ui/SettingsDialog.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QSettings>
#include <QShowEvent>
#include <QStandardItemModel>
#include <limits>

#include "ui/Application.h"
#include "ui/MainWindow.h"

namespace vemkard {
namespace {

QString Key(std::string_view key) {
    return QString::fromLatin1(key.data(), key.size());
}

QSettings Store() {
    return QSettings(Key(kSettingsOrganisation), Key(kSettingsApplication));
}

// The port list: each entry shows its description, and its path is what an
// editable box puts in its field (QComboBox takes the field's text from the
// edit role).
class TPortList : public QStandardItemModel {
  public:
    using QStandardItemModel::QStandardItemModel;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::EditRole) {
            const QVariant path = QStandardItemModel::data(index, Qt::UserRole);
            if (path.isValid()) return path;
        }
        return QStandardItemModel::data(index, role);
    }
};

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

TForm2::TForm2(TForm1& form1, TPortCandidates candidates, TPortDescriber describe)
    : QDialog(&form1),
      form1_(form1),
      candidates_(std::move(candidates)),
      describe_(std::move(describe)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(207, 125);
    setFont(WindowFont());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(215, 255, 215));
    setPalette(palette);
    setAutoFillBackground(true);

    Label1 = new QLabel(QStringLiteral("COM-порт"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(WindowFont(true));
    Label1->move(16, 11);
    Label1->adjustSize();

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setModel(new TPortList(ComboBox1));
    // Picking or typing sets the text; Enter must not add list entries.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    // The port name is exactly what was typed or picked: the completer an
    // editable box gets would complete it inline (ignoring case) and would
    // take Enter for itself instead of the OK button.
    ComboBox1->setCompleter(nullptr);
    ComboBox1->setGeometry(88, 8, 105, 21);
    ComboBox1->setEditText(QStringLiteral("ComboBox1"));

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFont(WindowFont(true));
    Button1->setGeometry(112, 96, 75, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this, Guarded([this] {
                // The modal result is set before the handler runs.
                setResult(QDialog::Accepted);
                Button1Click();
                accept();
            }));
    setTabOrder(ComboBox1, Button1);
    ComboBox1->setFocus();

    form1_.SetForm2(this);
    LoadSettings();
}

TForm2::~TForm2() {
    SaveSettings();
    form1_.SetForm2(nullptr);
}

void TForm2::LoadSettings() {
    QSettings store = Store();
    if (store.contains(Key(kKeyComPort))) {
        if (auto port = StoredText(store.value(Key(kKeyComPort)))) ComboBox1->setEditText(*port);
    }
    if (store.contains(Key(kKeyDevice))) {
        const std::optional<int> device = StoredInteger(store.value(Key(kKeyDevice)));
        if (device == 0) form1_.ToolButton12Click(form1_.ToolButton12);
        if (device == 1) form1_.ToolButton12Click(form1_.ToolButton13);
    }
}

void TForm2::SaveSettings() {
    QSettings store = Store();
    store.setValue(Key(kKeyComPort), ComboBox1->currentText());
    if (form1_.ToolButton12->Down()) store.setValue(Key(kKeyDevice), 0);
    if (form1_.ToolButton13->Down()) store.setValue(Key(kKeyDevice), 1);
}

void TForm2::Button1Click() {
    SaveSettings();
}

std::string TForm2::PortName() const {
    return ComboBox1->currentText().toStdString();
}

void TForm2::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        CentreOnScreen(*this);
    }
    QDialog::showEvent(event);
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // There is no cancel button, so Esc closes nothing; only the close box does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm2::FormShow() {
    ISerialLink& port = form1_.Comm321().Link();
    if (port.PortOpen()) port.ClosePort();
    if (port.PortOpen()) return;
    const QString text = ComboBox1->currentText();
    ComboBox1->clear();
    for (const std::string& name : candidates_()) {
        // A probe, not an open: the ports that other programs use and the
        // ones that are merely tried keep their settings and lines.
        try {
            form1_.Comm321().ProbePort(name);
            ComboBox1->addItem(QString::fromStdString(describe_(name)),
                               QString::fromStdString(name));
        } catch (...) {
            // Missing, busy or refusing the line settings: not listed.
        }
        ComboBox1->setEditText(text);
    }
    ComboBox1->setEditText(text);
    // The descriptions are longer than the field: the list may be wider.
    QAbstractItemView* list = ComboBox1->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth());
}

}  // namespace vemkard
