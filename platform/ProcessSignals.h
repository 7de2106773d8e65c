#pragma once
// The signals that would end the process, taken by a thread of their own so that they never cut
// into a drive's commands. While drives may be being written they are held off: a download or
// commit cut short can leave a drive that no longer starts. The first one held is kept, and the
// front end acts on it once the update is over. Otherwise they act as they always do. A signal
// that the program was started with ignored (nohup, trap '' TERM) stays ignored throughout.
//
// A closed output (a pipe whose reader went away) never ends the program: writing to it fails,
// and the program reports the failure itself.

namespace platform {

// Once, at program start, before any other thread is made: every thread made later inherits
// the blocked signals. programName starts the line written on standard error when a signal is
// held off (it must outlive the program's run).
void StartSignalGuard(const char* programName);

// Holds the signals off, or lets them act at once again. A signal held before stays held.
void HoldSignals(bool hold);

// The first signal that arrived while held off, or 0.
int HeldSignal();

// Decides how the program ends, once its outcome is about to be reported: the first signal held
// off (0 for none) is the one it then ends with (ActOnSignal), and any signal that comes later is
// held off silently, so that the report and the end agree. HeldSignal gives the same from then on.
int SettleEndingSignal();

// The exit status that the process's caller sees when ActOnSignal ends it with signal (a shell's
// 128 + the number on Linux, STATUS_CONTROL_C_EXIT on Windows); status itself when signal is 0.
int ExitStatusAfter(int signal, int status);

// What the signal usually does: the default action, so the process ends with that signal's
// status (a shell sees 128 + the number). Returns only for 0.
void ActOnSignal(int signal);

}  // namespace platform
