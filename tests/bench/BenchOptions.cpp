#include "tests/bench/BenchOptions.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace vemkard::bench {

bool CommandLine::Next() {
    if (next_ >= argc_) return false;
    option_ = argv_[next_++];
    value_ = {};
    return true;
}

bool CommandLine::Option(std::string_view name) {
    if (option_ != name) return false;
    if (next_ >= argc_) Usage();
    value_ = argv_[next_++];
    return true;
}

long long CommandLine::Number(long long min, long long max) const {
    long long number = 0;
    const auto [end, error] = std::from_chars(value_.data(), value_.data() + value_.size(), number);
    if (error != std::errc{} || end != value_.data() + value_.size()) Usage();
    return std::clamp(number, min, max);
}

bool CommandLine::ValueIsOneOf(std::initializer_list<std::string_view> choices) const {
    return std::find(choices.begin(), choices.end(), value_) != choices.end();
}

void CommandLine::Usage() const {
    std::fputs(usage_, stderr);
    std::exit(2);
}

bool TakeRunOption(CommandLine& line, RunOptions& options,
                   std::initializer_list<std::string_view> parts) {
    if (line.Option("--runs")) {
        options.runs = int(line.Number(1, INT_MAX));
    } else if (line.Option("--poll-ms")) {
        options.pollMs = int(line.Number(0, INT_MAX));
    } else if (line.Option("--firmware-bytes")) {
        options.firmwareBytes = std::size_t(line.Number(1, 65535));
    } else if (line.Option("--only") && line.ValueIsOneOf(parts)) {
        options.only = line.Value();
    } else {
        return false;
    }
    return true;
}

}  // namespace vemkard::bench
