#include "ui/SettingsDialog.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QShowEvent>
#include <QStandardItemModel>

#include "forms/Form2Design.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

namespace vemkard {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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

TForm2::TForm2(TForm1& form1, TPortCandidates candidates, TPortDescriber describe)
    : QDialog(&form1),
      form1_(form1),
      form_(form1.Form(), *this, store_, std::move(candidates), std::move(describe)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(FromUtf8(kForm2Title));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(kForm2Width, kForm2Height);
    setFont(WindowFont());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Colour(kForm2Colour));
    setPalette(palette);
    setAutoFillBackground(true);

    Label1 = new QLabel(FromUtf8(kLabel1Text), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(WindowFont(true));
    Label1->move(kLabel1Left, kLabel1Top);
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
    ComboBox1->setGeometry(Rect(kComboBox1Rect));
    ComboBox1->setEditText(FromUtf8(kComboBox1Initial));

    Button1 = new QPushButton(FromUtf8(kButton1Caption), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFont(WindowFont(true));
    Button1->setGeometry(Rect(kButton1Rect));
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
    form_.LoadSettings();
}

TForm2::~TForm2() {
    form_.FormDestroy();
    form1_.SetForm2(nullptr);
}

std::string TForm2::PortText() const {
    return ComboBox1->currentText().toStdString();
}

void TForm2::SetPortText(std::string_view text) {
    ComboBox1->setEditText(FromUtf8(text));
}

void TForm2::ClearPorts() {
    ComboBox1->clear();
}

void TForm2::AddPort(std::string_view description, std::string_view path) {
    ComboBox1->addItem(FromUtf8(description), FromUtf8(path));
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
    form_.FormShow();
    // The descriptions are longer than the field: the list may be wider.
    QAbstractItemView* list = ComboBox1->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth());
}

}  // namespace vemkard
