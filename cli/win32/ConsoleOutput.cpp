#include "cli/win32/ConsoleOutput.h"

#include "text/win32/WideText.h"

namespace vemkard::win32 {
namespace {

constexpr std::size_t kFlushAt = 4096;

// Where the text stops being whole: before a UTF-8 sequence that it cuts.
std::size_t WholeLength(const std::string& text) {
    std::size_t start = text.size();
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length > back) start = text.size() - back;
        break;
    }
    return start;
}

}  // namespace

TConsoleOutput::TConsoleOutput(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = GetConsoleMode(handle_, &mode) != 0;
    // The progress line redraws itself with "\r\x1b[K".
    if (console_) SetConsoleMode(handle_, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

TConsoleOutput::~TConsoleOutput() {
    Flush();
}

TConsoleOutput::int_type TConsoleOutput::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : c;
    pending_.push_back(traits_type::to_char_type(c));
    if (Due() && !Flush()) return traits_type::eof();
    return c;
}

std::streamsize TConsoleOutput::xsputn(const char* text, std::streamsize count) {
    pending_.append(text, static_cast<std::size_t>(count));
    if (Due() && !Flush()) return 0;
    return count;
}

bool TConsoleOutput::Due() const {
    // A console shows at once what each stream says, in the order they say
    // it; a file or a pipe takes it in blocks.
    return console_ || pending_.size() >= kFlushAt;
}

int TConsoleOutput::sync() {
    return Flush() ? 0 : -1;
}

bool TConsoleOutput::Flush() {
    const std::size_t whole = console_ ? WholeLength(pending_) : pending_.size();
    if (whole == 0) return true;
    bool written = true;
    if (console_) {
        const std::wstring wide = ToWide(std::string_view(pending_).substr(0, whole));
        DWORD done = 0;
        written = WriteConsoleW(handle_, wide.data(), DWORD(wide.size()), &done, nullptr) != 0;
    } else {
        for (std::size_t at = 0; at < whole && written;) {
            DWORD done = 0;
            written = WriteFile(handle_, pending_.data() + at, DWORD(whole - at), &done, nullptr) &&
                      done > 0;
            at += done;
        }
    }
    pending_.erase(0, whole);
    return written;
}

}  // namespace vemkard::win32
