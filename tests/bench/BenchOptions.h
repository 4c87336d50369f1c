// The command line of the end-to-end benchmarks: "--name value" options and
// flags without a value. Whatever it cannot take prints the usage and exits
// with 2.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vemkard::bench {

class CommandLine {
  public:
    CommandLine(int argc, char** argv, const char* usage)
        : argc_(argc), argv_(argv), usage_(usage) {}

    // Steps to the next option; false past the last.
    bool Next();
    // The option is the flag `name`.
    bool Flag(std::string_view name) const { return option_ == name; }
    // The option is `name`: takes its value.
    bool Option(std::string_view name);
    // The value taken, as a whole number clamped to [min, max], or as text.
    long long Number(long long min, long long max) const;
    std::string_view Value() const { return value_; }
    bool ValueIsOneOf(std::initializer_list<std::string_view> choices) const;
    [[noreturn]] void Usage() const;

  private:
    int argc_;
    char** argv_;
    const char* usage_;
    int next_ = 1;
    std::string_view option_, value_;
};

// What both end-to-end benchmarks take: --runs N, --poll-ms N,
// --firmware-bytes N and --only PART.
struct RunOptions {
    int runs = 3;
    int pollMs = 5;
    std::size_t firmwareBytes = 65535;
    std::string only;  // empty: every part

    bool Runs(std::string_view part) const { return only.empty() || only == part; }
};
// Takes the option if it is one of those, --only with one of `parts`; false if not.
bool TakeRunOption(CommandLine& line, RunOptions& options,
                   std::initializer_list<std::string_view> parts);

}  // namespace vemkard::bench
