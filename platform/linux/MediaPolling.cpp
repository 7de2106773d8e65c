// The pauses of the kernel's media polling in force, in one table for the process.

#include "platform/linux/MediaPolling.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/linux/SysfsDrives.h"

namespace platform::linux_sys {

namespace {

constexpr int kSettingPathSize = 512;
// "-1", or an interval in milliseconds as the kernel writes it (a long), and a line end.
constexpr int kIntervalTextSize = 24;

struct PollingPause {
    bool inForce;
    char setting[kSettingPathSize];
    char interval[kIntervalTextSize];  // as it was, to be written back
};

// Taken for every change, so that a pause is either wholly in force or not at all when the
// signal thread gives them all back.
std::mutex pausesLock;
PollingPause pauses[kMaxMediaPollingPauses];

// "/dev/sr0" -> "<sysfsRoot>/class/block/sr0/events_poll_msecs".
bool SettingOfRoot(const char* sysfsRoot, const char* root, char (&setting)[kSettingPathSize])
{
    if (sysfsRoot == nullptr || !IsOpticalRoot(sysfsRoot, root)) return false;
    const char* name = std::strrchr(root, '/') + 1;
    const int length = std::snprintf(setting, sizeof setting, "%s/class/block/%s/events_poll_msecs", sysfsRoot, name);
    return length > 0 && length < kSettingPathSize;
}

// The interval as the setting holds it, without its line end; false unless it is a number the
// setting takes back (-1 or more).
bool ReadInterval(const char* setting, char (&interval)[kIntervalTextSize])
{
    const int file = open(setting, O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    const ssize_t length = read(file, interval, sizeof interval - 1);
    close(file);
    if (length <= 0) return false;
    interval[length] = '\0';
    interval[std::strcspn(interval, "\n")] = '\0';
    char* end = nullptr;
    const long milliseconds = std::strtol(interval, &end, 10);
    return end != interval && *end == '\0' && milliseconds >= -1;
}

bool WriteInterval(const char* setting, const char* interval)
{
    const int file = open(setting, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (file < 0) return false;
    const size_t length = std::strlen(interval);
    const bool written = write(file, interval, length) == static_cast<ssize_t>(length);
    return close(file) == 0 && written;
}

void GiveBack(PollingPause& pause)
{
    if (!pause.inForce) return;
    WriteInterval(pause.setting, pause.interval);
    pause.inForce = false;
}

}  // namespace

int PauseMediaPolling(const char* sysfsRoot, const char* root)
{
    const std::lock_guard<std::mutex> lock(pausesLock);
    for (int index = 0; index < kMaxMediaPollingPauses; ++index) {
        PollingPause& pause = pauses[index];
        if (pause.inForce) continue;
        if (!SettingOfRoot(sysfsRoot, root, pause.setting) || !ReadInterval(pause.setting, pause.interval))
            return kNoPollingPause;
        if (!WriteInterval(pause.setting, "0")) return kNoPollingPause;
        pause.inForce = true;
        return index;
    }
    return kNoPollingPause;
}

void ResumeMediaPolling(int pause)
{
    if (pause < 0 || pause >= kMaxMediaPollingPauses) return;
    const std::lock_guard<std::mutex> lock(pausesLock);
    GiveBack(pauses[pause]);
}

void ResumeAllMediaPolling()
{
    const std::lock_guard<std::mutex> lock(pausesLock);
    for (PollingPause& pause : pauses) GiveBack(pause);
}

}  // namespace platform::linux_sys
