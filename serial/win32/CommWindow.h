// Private to serial/win32: the serial component's message-only window. The
// reader and writer threads post their messages to it (PostMessage, with
// WM_COMM_DATA ... WM_COMM_WRITTEN as the message numbers and the message's
// own copy as lParam), and whatever loop runs on the thread that made it
// dispatches them there, in the order they were posted. A message-only
// window needs no desktop: it works in a service, over SSH, under Wine
// without a display.
//
// Thread rules: made and destroyed on the owner thread; Post on any thread.
#pragma once

#include "Win32.h"
#include "serial/CommMessage.h"

namespace vemkard {

class TCommWindow final : public ICommMessageTarget {
  public:
    // Throws std::system_error when the window cannot be made.
    TCommWindow();
    // Frees the messages still queued for it, then destroys it.
    ~TCommWindow() override;
    TCommWindow(const TCommWindow&) = delete;
    TCommWindow& operator=(const TCommWindow&) = delete;

    bool Post(TCommMessage message) override;

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};

}  // namespace vemkard
