#pragma once
// Interrupt, hang-up, quit and terminate requests are taken by a thread of their own, so that
// they never cut into a drive's commands. While a firmware may be being written they are held
// off, with a line on standard error: a download or commit cut short can leave a drive that no
// longer starts. Otherwise they end the program as they always do. A closed output (a pipe
// whose reader went away) never ends the program: writing to it fails quietly.

namespace cli {

// Once, before any other thread is made: every thread made later inherits the blocked signals.
void StartSignalGuard();

// Holds the signals off, or lets them end the program again.
void HoldOffSignals(bool hold);

// How many signals arrived while held off.
int HeldOffSignalCount();

}  // namespace cli
