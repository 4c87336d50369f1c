// The settings dialog against a recording port and a settings store in a
// temporary configuration directory: the settings as QSettings keeps them,
// the OK and close box outcomes, and the port list.
#include <QFile>
#include <QPoint>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <set>

#include "tests/support/FakeWindowPort.h"
#include "tests/ui/FormsRig.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/SettingsDialog.h"

using namespace vemkard;
using vemkard::testing::FakeWindowPort;
using vemkard::testing::Store;
using Names = std::vector<std::string>;

namespace {

using Rig = testing::FormsRig<FakeWindowPort>;

// The device buttons that are down: 12, 13, 14, or 0 for none.
int SelectedDevice(TForm1& form) {
    if (form.ToolButton12->Down()) return 12;
    if (form.ToolButton13->Down()) return 13;
    if (form.ToolButton14->Down()) return 14;
    return 0;
}

TToolButton* Button(TForm1& form, int number) {
    return number == 12 ? form.ToolButton12 : number == 13 ? form.ToolButton13 : form.ToolButton14;
}

TToolId DeviceId(int number) {
    return number == 12 ? TToolId::ToolButton12 : TToolId::ToolButton13;
}

QStringList Listed(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) items.append(box.itemText(i));
    return items;
}

// Answers the next modal dialog with `answer` once it is up.
void AnswerDialog(std::function<void(QDialog&)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)] {
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        answer(*dialog);
    });
}

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QSettings store = Store();
        store.clear();
        store.sync();
    }

    void dialogStartsWithItsOwnControls() {
        Rig rig;
        TForm2& dialog = *rig.form2;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки"));
        QCOMPARE(dialog.size(), QSize(207, 125));
        QCOMPARE(dialog.ComboBox1->geometry(), QRect(88, 8, 105, 21));
        QVERIFY(dialog.ComboBox1->isEditable());
        QCOMPARE(dialog.Label1->text(), QStringLiteral("COM-порт"));
        QCOMPARE(dialog.Button1->geometry(), QRect(112, 96, 75, 25));
        QVERIFY(dialog.Button1->isDefault());
    }

    void emptyStoreLeavesTheDefaults() {
        Rig rig;
        QCOMPARE(rig.form2->ComboBox1->currentText(), QStringLiteral("ComboBox1"));
        QCOMPARE(rig.form2->ComboBox1->count(), 0);
        QCOMPARE(rig.form1->windowTitle(), QStringLiteral("ВМ-4. Менеджер файлов"));
    }

    void settingsSurviveARestart_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("port");
        QTest::addColumn<quint32>("baudRate");
        QTest::newRow("console") << 12 << QStringLiteral("/dev/ttyUSB0") << 1000000u;
        QTest::newRow("timer 19200") << 13 << QStringLiteral("/dev/pts/7") << 19200u;
        QTest::newRow("no device") << 0 << QStringLiteral("/dev/ttyS1") << 9600u;
        QTest::newRow("empty port name") << 12 << QString() << 1000000u;
    }
    void settingsSurviveARestart() {
        QFETCH(int, device);
        QFETCH(QString, port);
        QFETCH(quint32, baudRate);
        {
            Rig rig;
            if (device != 0) rig.form1->Form().ToolButton12Click(DeviceId(device));
            rig.form2->ComboBox1->setEditText(port);
        }
        Rig rig;
        QCOMPARE(rig.form2->ComboBox1->currentText(), port);
        QCOMPARE(SelectedDevice(*rig.form1), device);
        QCOMPARE(rig.port->baudRate, baudRate);
        const QString title = device == 0 ? QStringLiteral("ВМ-4. Менеджер файлов")
                                          : Button(*rig.form1, device)->toolTip() +
                                                QStringLiteral(". Менеджер файлов.");
        QCOMPARE(rig.form1->windowTitle(), title);
        QVERIFY(rig.port->journal->empty() || rig.port->journal->front().rfind("baud", 0) == 0);
    }

    void storedDeviceSelects_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("selected");
        QTest::newRow("0") << QVariant(0) << 12;
        QTest::newRow("1") << QVariant(1) << 13;
        QTest::newRow("text 1") << QVariant(QStringLiteral("1")) << 13;
        QTest::newRow("words") << QVariant(QStringLiteral("пульт")) << 0;
        QTest::newRow("fraction") << QVariant(QStringLiteral("0.5")) << 0;
        QTest::newRow("list") << QVariant(QStringList{"0", "1"}) << 0;
        QTest::newRow("point") << QVariant(QPoint(0, 1)) << 0;
        // Past 32 bits (as the settings file gives it back, text): cut down
        // these would read 0 or 1.
        QTest::newRow("text 4294967296") << QVariant(QStringLiteral("4294967296")) << 0;
        QTest::newRow("text 4294967297") << QVariant(QStringLiteral("4294967297")) << 0;
        QTest::newRow("text -4294967296") << QVariant(QStringLiteral("-4294967296")) << 0;
        QTest::newRow("64-bit 4294967296") << QVariant(qlonglong{4294967296}) << 0;
        QTest::newRow("unsigned 4294967297") << QVariant(qulonglong{4294967297}) << 0;
        QTest::newRow("unsigned 4294967295") << QVariant(4294967295u) << 0;
    }
    void storedDeviceSelects() {
        QFETCH(QVariant, stored);
        QFETCH(int, selected);
        Store().setValue(QStringLiteral("Device"), stored);
        Rig rig;
        QCOMPARE(SelectedDevice(*rig.form1), selected);
    }

    void storedPortName_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("path") << QVariant(QStringLiteral("/dev/ttyUSB3"))
                              << QStringLiteral("/dev/ttyUSB3");
        QTest::newRow("empty") << QVariant(QString()) << QString();
        QTest::newRow("list") << QVariant(QStringList{"/dev/a", "/dev/b"})
                              << QStringLiteral("ComboBox1");
        QTest::newRow("point") << QVariant(QPoint(3, 4)) << QStringLiteral("ComboBox1");
    }
    void storedPortName() {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        Store().setValue(QStringLiteral("ComPort"), stored);
        Rig rig;
        QCOMPARE(rig.form2->ComboBox1->currentText(), shown);
    }

    void settingsButtonReportsOnlyAnOk_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("saved");
        QTest::newRow("OK") << "ok" << QStringLiteral("Измененные настройки сохранены") << true;
        QTest::newRow("Enter") << "enter" << QStringLiteral("Измененные настройки сохранены")
                               << true;
        QTest::newRow("close box") << "close" << QStringLiteral("было") << false;
        QTest::newRow("Esc, then the close box") << "escape" << QStringLiteral("было") << false;
    }
    void settingsButtonReportsOnlyAnOk() {
        QFETCH(QString, how);
        QFETCH(QString, status);
        QFETCH(bool, saved);
        Rig rig;
        rig.form1->Form().Display().SetStatus("было");
        rig.form2->ComboBox1->setEditText(QStringLiteral("/dev/ttyUSB9"));
        AnswerDialog([how](QDialog& dialog) {
            auto& form2 = static_cast<TForm2&>(dialog);
            if (how == QStringLiteral("ok"))
                QTest::mouseClick(form2.Button1, Qt::LeftButton);
            else if (how == QStringLiteral("enter"))
                QTest::keyClick(&form2, Qt::Key_Return);
            else if (how == QStringLiteral("escape")) {
                // No cancel button: Esc leaves the dialog open.
                QTest::keyClick(form2.ComboBox1, Qt::Key_Escape);
                QVERIFY(form2.isVisible());
                form2.close();
            } else {
                form2.close();
            }
        });
        rig.form1->Form().ToolButton1Click();
        QCOMPARE(rig.form1->StatusText(), status);
        QCOMPARE(Store().contains(QStringLiteral("ComPort")), saved);
        // Whatever way it closed, the typed name is the one the link uses.
        QCOMPARE(rig.form2->PortName(), std::string("/dev/ttyUSB9"));
    }

    // The port name stays exactly as typed (or as stored, when nothing is
    // typed), and Enter in the field presses OK, at the first showing and
    // at the second.
    void enterPressesOkAndKeepsTheTextAsTyped_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("prefix of a listed port") << QStringList{"/dev/ttyUSB0"} << "/dev/ttyu"
                                                 << "/dev/ttyu";
        QTest::newRow("listed port starts with it") << QStringList{"/dev/ttyS10"} << "/dev/ttyS1"
                                                    << "/dev/ttyS1";
        QTest::newRow("case differs from a listed port")
            << QStringList{"/dev/ttyUSB0"} << "/dev/ttyusb0"
            << "/dev/ttyusb0";
        QTest::newRow("pseudo-terminal") << QStringList{"/dev/ttyS0"} << "/dev/pts/7"
                                         << "/dev/pts/7";
        QTest::newRow("stored name, nothing typed")
            << QStringList{"/dev/ttyS0"} << QString() << "/dev/pts/5";
    }
    void enterPressesOkAndKeepsTheTextAsTyped() {
        QFETCH(QStringList, listed);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Store().setValue(QStringLiteral("ComPort"), QStringLiteral("/dev/pts/5"));
        Names names;
        for (const QString& name : listed) names.push_back(name.toStdString());
        Rig rig(names);
        for (const bool first : {true, false}) {
            rig.form1->Form().Display().SetStatus("было");
            bool inField = false;
            bool closedByEnter = false;
            AnswerDialog([&](QDialog& dialog) {
                // The keys go where the user's keys go: to the focused field.
                inField = QTest::qWaitFor(
                    [&] { return QApplication::focusWidget() == rig.form2->ComboBox1; });
                if (inField) {
                    QWidget* field = QApplication::focusWidget();
                    if (first && !typed.isEmpty()) {
                        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
                        QTest::keyClicks(field, typed);
                    }
                    QTest::keyClick(field, Qt::Key_Return);
                }
                closedByEnter = !dialog.isVisible();
                if (!closedByEnter) dialog.close();
            });
            rig.form1->Form().ToolButton1Click();
            QVERIFY(inField);
            QVERIFY2(closedByEnter, first ? "first showing" : "second showing");
            QCOMPARE(rig.form1->StatusText(), QStringLiteral("Измененные настройки сохранены"));
            QCOMPARE(QString::fromStdString(rig.form2->PortName()), kept);
            QCOMPARE(Store().value(QStringLiteral("ComPort")).toString(), kept);
        }
    }

    void listNamesEachPortAndThePickedPathIsStored() {
        Rig rig({"/dev/ttyS4", "/dev/ttyUSB0"}, [](const std::string& path) {
            return path == "/dev/ttyUSB0" ? path + "  USB 0403:6001 FTDI FT232R USB UART" : path;
        });
        rig.form2->FormShow();
        QComboBox& box = *rig.form2->ComboBox1;
        QCOMPARE(box.model()->index(1, 0).data(Qt::DisplayRole).toString(),
                 QStringLiteral("/dev/ttyUSB0  USB 0403:6001 FTDI FT232R USB UART"));
        QVERIFY(box.view()->minimumWidth() > box.width());
        box.setCurrentIndex(1);  // as a pick in the list does
        QCOMPARE(box.currentText(), QStringLiteral("/dev/ttyUSB0"));
        rig.form2->Button1Click();
        QCOMPARE(Store().value(QStringLiteral("ComPort")).toString(),
                 QStringLiteral("/dev/ttyUSB0"));
    }

    void showingTheDialogRunsTheScan() {
        Rig rig({"/dev/ttyS3"});
        AnswerDialog([](QDialog& dialog) { dialog.close(); });
        rig.form1->Form().ToolButton1Click();
        QCOMPARE(Listed(*rig.form2->ComboBox1), QStringList{QStringLiteral("/dev/ttyS3")});
    }
};

int main(int argc, char** argv) {
    // Settings go to a directory of this run, never the user's own.
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    TApplication app(argc, argv);
    SettingsDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SettingsDialogTest.moc"
