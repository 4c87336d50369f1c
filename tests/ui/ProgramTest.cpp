// The whole program on real pseudo-terminals: the port scan with the serial
// component, which changes no port, and the windows against the console simulator, from start-up
// listing to an upload through the add-file button.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "serial/posix/PtyPair.h"
#include "sim/ConsoleSimulator.h"
#include "sim/ConsoleStore.h"
#include "sim/SampleFiles.h"
#include "sim/SimEndpoint.h"
#include "tests/serial/PortRig.h"
#include "tests/ui/FormsRig.h"
#include "ui/Application.h"
#include "ui/Comm32Port.h"
#include "ui/MainWindow.h"
#include "ui/SettingsDialog.h"

using namespace vemkard;
using vemkard::testing::Store;

namespace {

constexpr int kDeadlineMs = 30000;

// The program as main() builds it.
using Program = testing::FormsRig<TComm32Port>;

// The file names the grid shows, as the console stores them (CP1251).
std::vector<std::string> GridNames(const DirectoryGrid& grid) {
    std::vector<std::string> names;
    for (int row = 1; row + 1 < grid.RowCount(); ++row)
        names.push_back(ToConsoleName(grid.Cell(row, 1)));
    return names;
}

std::vector<std::string> StoreNames(ConsoleSimulator& simulator) {
    return simulator.WithStore([](ConsoleStore& store) {
        std::vector<std::string> names;
        for (const TConsoleFile& file : store.Files()) names.push_back(file.Name);
        return names;
    });
}

bool Listed(TForm1& form) {
    return form.StatusText() == QStringLiteral("Операция успешно завершена.") &&
           form.Session().Link.QueueLength() == 0;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QSettings store = Store();
        store.clear();
        store.sync();
    }

    void scanListsOnlyTheFreePseudoTerminalAndChangesNothing() {
        testing::PortRig free;  // each with a line of its own and bytes waiting
        testing::PortRig held;
        testing::HolderProcess holder(held.pty.SlaveName());  // takes no lock
        PtyPair busy;
        TComm32Port elsewhere;
        elsewhere.Link().SetCommPort(busy.SlaveName());
        QVERIFY(elsewhere.Link().OpenPort());

        Program program({free.pty.SlaveName(), held.pty.SlaveName(), busy.SlaveName()});
        program.form1->Form().ToolButton12Click(TToolId::ToolButton12);
        program.form2->ComboBox1->setEditText(QStringLiteral("/dev/нет-такого"));
        program.form2->FormShow();
        QCOMPARE(program.form2->ComboBox1->count(), 1);
        QCOMPARE(program.form2->ComboBox1->itemText(0),
                 QString::fromStdString(free.pty.SlaveName()));
        QCOMPARE(program.form2->ComboBox1->currentText(), QStringLiteral("/dev/нет-такого"));
        QVERIFY(!program.port->Link().PortOpen());
        QVERIFY(elsewhere.Link().PortOpen());
        QCOMPARE(program.port->BaudRate(), 1000000u);
        QVERIFY(free.Untouched());
        QVERIFY(held.Untouched());
    }

    void aPortThatDoesNotOpenSaysWhy() {
        Store().setValue(QStringLiteral("ComPort"), QStringLiteral("/dev/нет-такого"));
        Program program;
        program.form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(program.form1.get()));
        QCOMPARE(program.form1->StatusText(),
                 QStringLiteral("Невозможно открыть порт! ") +
                     QString::fromStdString(program.port->Link().OpenFailure()));
        QVERIFY(program.form1->StatusText().contains(QStringLiteral("/dev/нет-такого")));
    }

    void programListsTheConsoleAndUploadsAFile() {
        ConsoleStore store;
        QVERIFY(AddSampleFiles(store) > 0);
        PseudoTerminal line = OpenPseudoTerminal();
        ConsoleSimulator simulator(line.master.Get(), store);
        simulator.Start();
        Store().setValue(QStringLiteral("ComPort"), QString::fromStdString(line.slaveName));
        Store().setValue(QStringLiteral("Device"), 0);

        {
            Program program;
            TForm1& form = *program.form1;
            QCOMPARE(program.port->BaudRate(), 1000000u);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QTRY_VERIFY_WITH_TIMEOUT(Listed(form), kDeadlineMs);
            QCOMPARE(GridNames(form.Session().Grid), StoreNames(simulator));
            QCOMPARE(form.StringGrid1->model()->rowCount(), form.Session().Grid.RowCount() - 1);

            QTemporaryDir folder;
            QVERIFY(folder.isValid());
            const QString path = folder.filePath(QStringLiteral("план громкости.z0"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QByteArray data;
            for (int i = 0; i < 100; ++i) data.append(static_cast<char>(i * 7));
            file.write(data);
            file.close();

            QString filter;
            QTimer::singleShot(0, [&] {
                QTRY_VERIFY_WITH_TIMEOUT(
                    qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr,
                    kDeadlineMs);
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                filter = dialog->selectedNameFilter();
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
            });
            QTest::mouseClick(form.ToolButton8, Qt::LeftButton);
            QCOMPARE(filter, QStringLiteral("Известные типы (*.kts *.m0 *.m1 *.h6s *.z0)"));

            const std::size_t before = StoreNames(simulator).size();
            QTRY_VERIFY_WITH_TIMEOUT(
                Listed(form) && GridNames(form.Session().Grid).size() == before + 1, kDeadlineMs);
            const std::vector<std::string> names = GridNames(form.Session().Grid);
            QCOMPARE(names, StoreNames(simulator));
            // The console lists the upload by its path (padded to an odd length).
            QCOMPARE(
                QString::fromStdString(form.Session().Grid.Cell(int(names.size()), 1)).trimmed(),
                path);
            const QByteArray stored = simulator.WithStore([](ConsoleStore& console) {
                const auto bytes = console.Files().back().Data();
                return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<qsizetype>(bytes.size()));
            });
            QCOMPARE(stored, data);
        }
        // The program closed its side at exit; the stored settings name the line.
        QCOMPARE(Store().value(QStringLiteral("ComPort")).toString(),
                 QString::fromStdString(line.slaveName));
        QCOMPARE(Store().value(QStringLiteral("Device")).toInt(), 0);
        simulator.Stop();
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    TApplication app(argc, argv);
    ProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgramTest.moc"
