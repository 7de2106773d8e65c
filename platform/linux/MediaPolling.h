#pragma once
// The kernel's own media polling of an optical drive (/sys/class/block/srN/events_poll_msecs:
// every so many milliseconds the kernel asks the drive about its medium; 0 stops it, -1 leaves it
// to the system's default). It is paused while a drive's firmware is written, so that nothing but
// the program's own commands reaches the drive between the last read-back and the commit, and
// given back as it was on every path: when the drive is let go, and when a signal ends the program.
// The pauses in force are kept for the whole process, so that the thread that ends the program on
// a signal can give them back.

#include "platform/System.h"

namespace platform::linux_sys {

// Most pauses in force at once: one per drive the system lists.
constexpr int kMaxMediaPollingPauses = kMaxDriveRoots;
constexpr int kNoPollingPause = -1;

// Stops the kernel's media polling of the drive at root (/dev/srN) under the sysfs mount point
// sysfsRoot, keeping the interval it had. Returns the pause, or kNoPollingPause when the polling
// could not be paused (no such setting, no right to change it: only root may) or too many are.
int PauseMediaPolling(const char* sysfsRoot, const char* root);

// Gives the drive of the pause its interval back; kNoPollingPause does nothing.
void ResumeMediaPolling(int pause);

// Every pause still in force, given back: the last step before a signal ends the program.
void ResumeAllMediaPolling();

}  // namespace platform::linux_sys
