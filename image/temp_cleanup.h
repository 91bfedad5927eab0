// Removal of the file writer's temporaries when SIGINT, SIGTERM or SIGHUP
// would end the process. While at least one temporary is held, the writer's
// handler stands in for the program's action on those signals:
// - the default action (end the process): the temporaries are unlinked, the
//   default action is put back and the signal raised again, so the process
//   ends by it as it would have;
// - a handler of the program's own (the window host's stop flag): it is
//   called, and the save goes on to completion;
// - ignored: ignored.
// When the last temporary is released the program's actions are put back.
// Programs set their own handlers before they save; a handler installed while
// a temporary is held would be replaced when it is released.
#pragma once

#ifndef _WIN32
#include <signal.h>

// Holds SIGINT, SIGTERM and SIGHUP for its lifetime, so that a temporary and
// its entry among the held ones appear and disappear together.
class SignalHold {
  public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

  private:
    sigset_t old_;
};

// Both are called within a SignalHold; `temp` must stay valid until released.
void HoldTemp(const char* temp);
void ReleaseTemp(const char* temp);
#endif
