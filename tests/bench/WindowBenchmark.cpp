// Window benchmark: the window program offscreen (TForm1 and TForm2 as main()
// builds them, with the real TComm32 on a pseudo-terminal) against the
// console simulator. Each run lists a console of 255 files (a refresh after
// the start-up listing) and, with a fresh console and window, writes a
// firmware image (program + verify). Per run it prints the window program's
// CPU share (every thread but the simulator's) and the figures of
// transfer_bench: wall time against the console's pace and the answer
// overhead measured at the console's end of the line. --hidden hides the
// window before the measured batch, so that nothing is drawn: the difference
// is what drawing costs.
//
//   build/tests/bench/window_bench [--runs N] [--poll-ms N] [--files N]
//                                  [--firmware-bytes N] [--only listing|firmware]
//                                  [--hidden]
#include <unistd.h>

#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/LinkAction.h"
#include "sim/SampleFiles.h"
#include "tests/bench/BenchOptions.h"
#include "tests/bench/BenchSupport.h"
#include "tests/bench/RunFigures.h"
#include "tests/support/SimulatedConsole.h"
#include "ui/Application.h"
#include "ui/Comm32Port.h"
#include "ui/MainWindow.h"
#include "ui/SettingsDialog.h"

namespace vemkard::bench {
namespace {

struct Options : RunOptions {
    int files = 255;
    bool hidden = false;
};

// Files such as a console in service holds, named as uploads name them.
void AddFiles(ConsoleStore& store, int count) {
    std::mt19937 random(2027);
    for (int i = 0; i < count; ++i) {
        std::string name = ToConsoleName("C:\\Пульт\\Перекрёсток " + std::to_string(i + 1) + ".m0");
        if (name.size() % 2 == 0) name += ' ';
        std::vector<std::uint8_t> data(16 + i % 48);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        if (!store.AddFile(0x4D52, name, data)) throw std::runtime_error("console store is full");
    }
}

// A console and the window program on its line, with the port and device
// stored as the settings dialog keeps them.
class WindowRig {
  public:
    WindowRig(int pollMs, int files)
        : before_(ThreadIds()),
          console(
              65535, [files](ConsoleStore& store) { AddFiles(store, files); },
              SimulatorOptions{.pollMs = pollMs}, FaultPlan{}, wire.Logger()) {
        for (const pid_t tid : ThreadIds())
            if (std::find(before_.begin(), before_.end(), tid) == before_.end())
                foreign.push_back(tid);
        QSettings settings(QStringLiteral("Tarvisk"), QStringLiteral("Vemkard"));
        settings.setValue(QStringLiteral("ComPort"), QString::fromStdString(console.Port()));
        settings.setValue(QStringLiteral("Device"), 0);
        settings.sync();
        form1 = std::make_unique<TForm1>(std::make_unique<TComm32Port>());
        form2 = std::make_unique<TForm2>(*form1);
        // A batch ends inside a receive: stamp it there, not at the next
        // turn of some timer.
        TComm32& comm = static_cast<TComm32Port&>(form1->Comm321()).Component();
        comm.OnReceiveData = [this, handler = std::move(comm.OnReceiveData)](const void* buffer,
                                                                             std::uint16_t length) {
            handler(buffer, length);
            if (Idle()) {
                end = Clock::now();
                loop_.quit();
            }
        };
    }
    ~WindowRig() {
        form2.reset();
        form1.reset();
    }

    bool Idle() const {
        return form1->Session().Link.QueueLength() == 0 && !form1->Comm321().Link().PortOpen();
    }
    // Shows the window; its start-up listing follows.
    void Show() {
        form1->show();
        while (!form1->windowHandle() || !form1->windowHandle()->isExposed())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Runs the event loop until nothing is queued and the port is closed.
    bool RunBatch() {
        // Batches that fail end on a timer (no reply): looked for every
        // second, which costs the program nothing to speak of.
        QTimer failed;
        QObject::connect(&failed, &QTimer::timeout, &loop_, [this] {
            if (Idle()) loop_.quit();
        });
        failed.start(1000);
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop_, &QEventLoop::quit);
        deadline.start(600000);
        if (!Idle()) loop_.exec();
        return Idle();
    }
    bool Done() const {
        return form1->StatusText() == QString::fromUtf8(kTextOperationDone.data());
    }

  private:
    std::vector<pid_t> before_;

  public:
    ConsoleWireTiming wire;
    testing::SimulatedConsole console;
    std::vector<pid_t> foreign;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    Clock::time_point end{};

  private:
    QEventLoop loop_;
};

// CPU seconds of the calling thread.
double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Measures `action` and the batch it queues.
template <typename Action>
RunFigures Measure(WindowRig& rig, const Options& options, double roundTripMs, Action action) {
    RunFigures figures;
    figures.roundTripMs = roundTripMs;
    if (options.hidden) rig.form1->hide();
    const ProgramCpu cpu(rig.foreign);
    rig.wire.Reset();
    const std::uint64_t commandsBefore = rig.console.simulator.CommandsReceived();
    const double cpuBefore = cpu.Seconds();
    const std::uint64_t wakeUpsBefore = cpu.WakeUps();
    const double ownerBefore = ThreadCpuSeconds();
    const auto start = Clock::now();
    rig.end = {};
    action();
    const bool idle = rig.RunBatch();
    const auto end = rig.end == Clock::time_point{} ? Clock::now() : rig.end;
    figures.cpuSeconds = cpu.Seconds() - cpuBefore;
    figures.wakeUps = cpu.WakeUps() - wakeUpsBefore;
    figures.ownerCpuSeconds = ThreadCpuSeconds() - ownerBefore;
    figures.wallS = Ms(end - start) / 1000.0;
    figures.commands = rig.console.simulator.CommandsReceived() - commandsBefore;
    figures.overhead = Summarize(rig.wire.AnswerOverheadsMs());
    Complete(figures, options.pollMs);
    figures.ok = idle && rig.Done();
    if (!figures.ok)
        std::fprintf(stderr, "run failed: status \"%s\"\n",
                     rig.form1->StatusText().toUtf8().constData());
    return figures;
}

RunFigures Listing(const Options& options) {
    const double roundTrip = MeasurePtyRoundTripMs();
    WindowRig rig(options.pollMs, options.files);
    rig.Show();
    if (!rig.RunBatch()) return {};
    RunFigures figures =
        Measure(rig, options, roundTrip, [&rig] { rig.form1->Form().ToolButton4Click(); });
    figures.ok = figures.ok && rig.form1->Session().Grid.RowCount() == options.files + 2;
    return figures;
}

RunFigures Firmware(const Options& options, const std::string& image) {
    const double roundTrip = MeasurePtyRoundTripMs();
    WindowRig rig(options.pollMs, 0);
    rig.Show();
    if (!rig.RunBatch()) return {};
    return Measure(rig, options, roundTrip, [&rig, &image] {
        // What the firmware button does once its two dialogs are answered.
        ConsoleSession& session = rig.form1->Session();
        const TLinkAction action(session.Link);
        if (session.Firmware.ProgramFirmware(image)) session.Listing.RefreshDirectory();
    });
}

Options Parse(int argc, char** argv) {
    Options options;
    CommandLine line(argc, argv,
                     "usage: window_bench [--runs N] [--poll-ms N] [--files N]\n"
                     "                    [--firmware-bytes N] [--only listing|firmware]\n"
                     "                    [--hidden]\n");
    while (line.Next()) {
        if (line.Flag("--hidden")) {
            options.hidden = true;
        } else if (line.Option("--files")) {
            options.files = int(line.Number(0, 255));
        } else if (!TakeRunOption(line, options, {"listing", "firmware"})) {
            line.Usage();
        }
    }
    return options;
}

}  // namespace
}  // namespace vemkard::bench

int main(int argc, char** argv) {
    using namespace vemkard::bench;
    const Options options = Parse(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings go to a folder of this run, never the user's own.
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    int qtArgc = 1;
    vemkard::TApplication app(qtArgc, argv);
    const std::string image = WriteRandomFile(
        std::filesystem::path(config.path().toStdString()) / "image.mts", options.firmwareBytes, 1);
    std::printf("window_bench: %d files listed, firmware image %zu bytes, poll pause %d ms, %s%s\n",
                options.files, options.firmwareBytes, options.pollMs,
                qgetenv("QT_QPA_PLATFORM").constData(),
                options.hidden ? ", window hidden while measured (nothing drawn)" : "");
    PrintWakeUpFloor();

    RunReport report;
    for (int run = 1; run <= options.runs; ++run) {
        if (options.Runs("listing")) report.Add("listing", run, Listing(options));
        if (options.Runs("firmware")) report.Add("firmware", run, Firmware(options, image));
    }
    report.PrintSummary();
    return report.AllOk() ? 0 : 1;
}
