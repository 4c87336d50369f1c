// Private to cli/win32: a std::streambuf for std::cout and std::cerr that
// takes the program's UTF-8 text to a standard handle. A console gets it
// through WriteConsoleW, so Russian shows whatever the console's code page;
// a file or a pipe gets the UTF-8 bytes themselves.
//
// Thread rules: one thread at a time, like the stream it serves.
#pragma once

#include <windows.h>

#include <streambuf>
#include <string>

namespace vemkard::win32 {

class TConsoleOutput final : public std::streambuf {
  public:
    // `which`: STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
    explicit TConsoleOutput(DWORD which);
    ~TConsoleOutput() override;
    TConsoleOutput(const TConsoleOutput&) = delete;
    TConsoleOutput& operator=(const TConsoleOutput&) = delete;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    bool Due() const;
    // Writes what is whole of the pending text; keeps a UTF-8 sequence cut
    // at the end for the next time. False when the handle refuses it.
    bool Flush();

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

}  // namespace vemkard::win32
