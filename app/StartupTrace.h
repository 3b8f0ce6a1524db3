#pragma once
// A trace of the program's start-up, for the start-up benchmark. When the
// environment variable QV_STARTUP_TRACE names a file, the program notes the
// performance-counter time at the end of each step of its start-up and, once
// its main form has been painted and it first waits for input, writes them
// to that file:
//   frequency <counts per second>
//   <counter> <step that ended then>
//   ...
//   end
// The counter is the system's, so another process can set the times beside
// its own (the moment it started the program). The file appears whole (it is
// written under another name and renamed). Without the variable nothing is
// noted and nothing is written; with it the program does what it always does.

inline constexpr const char* kStartupTraceVariable = "QV_STARTUP_TRACE";

// When the environment variable QV_STARTUP_STOP is set (to anything), the
// program ends at the first line of its main block, having done nothing but
// load and run its static initialisers: the start-up benchmark times that to
// tell the loading's share of the start-up from the program's own work.
inline constexpr const char* kStartupStopVariable = "QV_STARTUP_STOP";

// True when the program is to end at once (QV_STARTUP_STOP is set).
bool StartupStopAtEntry();

// Notes that the step called step ends now. step is kept as given (a literal
// without line breaks). Does nothing when tracing is off or the trace is
// already written.
void StartupMark(const char* step);

// Watches the application's message loop: notes the first message handled,
// the first paint and the first wait for input, then writes the trace and
// stops watching. Does nothing when tracing is off.
void StartupTraceWatchLoop();
