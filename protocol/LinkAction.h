// One user action's hold on the link. It opens the link on entry
// (ActivateComm); on leaving, when nothing is queued (the action refused its
// input or failed, and no other work waits), it closes the link again, so a
// refusal leaves no idle open port that the console's polls keep alive. The
// status line stays the action's. User-interface thread only.
#pragma once

#include "protocol/ConsoleLink.h"

namespace vemkard {

class TLinkAction {
  public:
    explicit TLinkAction(ConsoleLink& link) : link_(link) { link_.ActivateComm(); }
    ~TLinkAction() {
        if (link_.QueueLength() == 0) link_.DeactivateComm();
    }
    TLinkAction(const TLinkAction&) = delete;
    TLinkAction& operator=(const TLinkAction&) = delete;

  private:
    ConsoleLink& link_;
};

}  // namespace vemkard
