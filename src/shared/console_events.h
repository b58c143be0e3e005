// Windows: the console's events that end a program (Ctrl+C, Ctrl+Break, the
// console window closed, the user logging off, the system shutting down) as
// requests to quit, which the window thread takes and answers by running
// Quit, as SIGTERM does elsewhere.
//
// The system calls the handler on a thread of its own, and ends the process
// as soon as the handler returns from a close, logoff or shutdown event. So
// the handler only notes the request and then waits until the window thread
// says that Quit has run (the log closed, the state file written), or until
// shortly before the system's own time limit (5 seconds) runs out.
#pragma once

#ifdef _WIN32

#include <chrono>

namespace kvn::console_events {

// A program started with command-line text from a console (a logger started
// with /L) gets its events and writes its messages there: when it has no
// console of its own it is attached to the console of the process that
// started it, if any, and standard output and error that were not
// redirected go to it. True when the program has a console.
bool AttachToParentConsole();

// Adds the handler to the process's console handlers; Remove takes it away
// and lets a waiting handler go.
void Install();
void Remove();

// True once for each request that came since the last call (requests that
// come together count as one).
bool TakeRequest();

// Quit has run: a handler that waits for it returns, and the system may end
// the process.
void QuitHasRun();

// The handler, as the system calls it: non-zero when the event is handled
// here. Waits for QuitHasRun at most `patience` after a close, logoff or
// shutdown event.
int Handle(unsigned long event,
           std::chrono::milliseconds patience = std::chrono::milliseconds(4500));

}  // namespace kvn::console_events

#endif
