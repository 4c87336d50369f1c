// Everything a front end needs to work a console, wired once: the protocol
// core with the directory listing, upload, removal and firmware handlers.
// The front end supplies the port, the view, the timer, the pause and the
// dialogs, and routes received chunks and timer ticks to `Link`.
//
// Thread rules: as ConsoleLink, everything on the owner (UI) thread.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "files/FileRemoval.h"
#include "files/FileUpload.h"
#include "files/UserDialogs.h"
#include "firmware/FirmwareProgrammer.h"
#include "protocol/ConsoleLink.h"
#include "protocol/LinkInterfaces.h"
#include "serial/DeadlineSleep.h"

namespace vemkard {

// The pause before answering a poll, on the calling thread.
class ThreadSleeper : public ISleeper {
  public:
    void SleepUntil(std::chrono::steady_clock::time_point deadline) override {
        SleepUntilDeadline(deadline);
    }
};

class ConsoleSession {
  public:
    ConsoleSession(ISerialLink& serial, ILinkView& view, IReplyTimer& timer, ISleeper& sleeper,
                   IUserDialogs& dialogs, std::function<std::string()> portName)
        : Link(serial, view, timer, sleeper, std::move(portName)),
          Listing(Link, Grid),
          Upload(Link, Listing, dialogs),
          Removal(Link, Grid, Listing, dialogs),
          Firmware(Link, Listing, dialogs) {}
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    ConsoleLink Link;
    DirectoryGrid Grid;
    DirectoryListing Listing;  // registers itself for the directory replies
    FileUpload Upload;
    FileRemoval Removal;
    FirmwareProgrammer Firmware;  // registers itself for the firmware replies
};

}  // namespace vemkard
