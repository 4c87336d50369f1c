#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliProgram.h"

int main(int argc, char** argv) {
    // A closed pipe on standard output shows as a failed write, not a kill.
    ::signal(SIGPIPE, SIG_IGN);
    const char* port = std::getenv(std::string(vemkard::kPortVariable).c_str());
    return vemkard::RunCliProgram(std::vector<std::string>(argv + 1, argv + argc),
                                  port ? std::optional<std::string>(port) : std::nullopt);
}
