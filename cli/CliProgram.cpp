#include "cli/CliProgram.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliConsole.h"
#include "cli/CliDialogs.h"
#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"
#include "cli/Interrupt.h"
#include "cli/LineTrace.h"
#include "cli/Progress.h"
#include "cli/Terminal.h"
#include "files/LocalFile.h"

#ifndef VEMKARD_VERSION
#define VEMKARD_VERSION "dev"
#endif

namespace {

using namespace vemkard;

int Run(const TCliOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    if (options.Command == TCliCommand::Ports) return ExitCode(ListPorts(std::cout, std::cerr));

    const bool asks =
        options.Command == TCliCommand::Clear || options.Command == TCliCommand::Flash;
    if (asks && !options.Yes && !IsTerminal(TStandardStream::Input)) {
        std::cerr
            << "vemkard-cli: нужно подтверждение: запустите на терминале или добавьте --yes.\n";
        return ExitCode(TExit::Usage);
    }

    std::ofstream traceFile;
    std::unique_ptr<TLineTrace> trace;
    if (options.Trace) {
        if (*options.Trace != "-") {
            traceFile.open(LocalPath(*options.Trace), std::ios::out | std::ios::trunc);
            if (!traceFile) {
                std::cerr << "vemkard-cli: не удаётся записать трассировку в " << *options.Trace
                          << ".\n";
                return ExitCode(TExit::Usage);
            }
        }
        trace = std::make_unique<TLineTrace>(*options.Trace == "-" ? std::cerr : traceFile, start);
    }

    // Before any thread starts, so that only its own thread takes the signals.
    TInterrupt interrupt;
    TCliDialogs dialogs(options.Yes, interrupt);
    TProgressLine progress(std::cerr, IsTerminal(TStandardStream::Error), !options.Quiet);
    TCliConsole console({options.Port, options.BaudRate, options.Timeout}, dialogs, progress,
                        trace.get(), interrupt);
    interrupt.SetCallback(
        [&console] { console.Loop().PostTask([&console] { console.Abandon(); }); });
    // Unhooked before the console goes, however the command ends.
    const struct TUnhook {
        TInterrupt& interrupt;
        ~TUnhook() { interrupt.SetCallback(nullptr); }
    } unhook{interrupt};
    return ExitCode(TCliCommands(options, console, dialogs, std::cout, std::cerr).Execute());
}

}  // namespace

namespace vemkard {

int RunCliProgram(const std::vector<std::string>& arguments,
                  const std::optional<std::string>& portVariable) {
    const TParsedCommandLine parsed = ParseCommandLine(arguments, portVariable);
    if (parsed.Options.Help) {
        std::cout << HelpText();
        return ExitCode(TExit::Done);
    }
    if (parsed.Options.Version) {
        std::cout << "vemkard-cli " VEMKARD_VERSION "\n";
        return ExitCode(TExit::Done);
    }
    if (!parsed.Error.empty()) {
        std::cerr << "vemkard-cli: " << parsed.Error << "\nПодробнее: vemkard-cli --help\n";
        return ExitCode(TExit::Usage);
    }
    try {
        return Run(parsed.Options);
    } catch (const std::exception& error) {
        std::cerr << "vemkard-cli: " << error.what() << "\n";
        return ExitCode(TExit::NotDone);
    }
}

}  // namespace vemkard
