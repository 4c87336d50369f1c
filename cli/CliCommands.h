// The commands of vemkard-cli, each done as the window's buttons do it and
// checked against the console's fresh listing where the result shows there.
//
// Thread rules: the loop's thread (the main one).
#pragma once

#include <ostream>
#include <string>

#include "cli/CliConsole.h"
#include "cli/CliDialogs.h"
#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"

namespace vemkard {

// ports: the candidate serial ports, one a line, with what the system says.
TExit ListPorts(std::ostream& out, std::ostream& err);

class TCliCommands {
  public:
    TCliCommands(const TCliOptions& options, TCliConsole& console, TCliDialogs& dialogs,
                 std::ostream& out, std::ostream& err);

    // Runs the command of the options (other than ports).
    TExit Execute();

  private:
    TExit Ls();
    TExit Put();
    TExit Rm();
    TExit Clear();
    TExit Flash();

    // Reads the listing as the refresh button does. Nothing when it was read.
    std::optional<TExit> ReadListing(const std::string& ifNot);
    // Reports a batch that did not end as asked; `done` says what had been done.
    TExit Failed(const TBatchResult& result, const std::string& done);
    // A message that success brings; --quiet drops it.
    void Say(const std::string& text);
    void Error(const std::string& text);

    const TCliOptions& options_;
    TCliConsole& console_;
    TCliDialogs& dialogs_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace vemkard
