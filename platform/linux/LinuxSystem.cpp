#include "platform/linux/LinuxSystem.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <new>
#include <utility>

#include "platform/linux/CompletionEvent.h"
#include "platform/linux/SystemJournal.h"

namespace platform {

namespace {

// Linux offers the pass-through route (SG_IO), as the NT family does.
constexpr uint32_t kPassThroughPlatformId = 2;
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr uint32_t kRestartReboot = 2;

}  // namespace

LinuxSystem::LinuxSystem(std::string restartBusAddress)
    : restart(restartBusAddress), inhibitor(std::move(restartBusAddress))
{}

bool LinuxSystem::QueryPlatformId(uint32_t& platformId)
{
    platformId = kPassThroughPlatformId;
    return true;
}

bool LinuxSystem::QueryCounterFrequency(int64_t& ticksPerSecond)
{
    timespec resolution{};
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) {
        ticksPerSecond = 0;
        return false;
    }
    ticksPerSecond = kNanosecondsPerSecond;
    return true;
}

int64_t LinuxSystem::QueryCounter()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

void LinuxSystem::Sleep(uint32_t milliseconds)
{
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal handler cuts the sleep short; the rest of it is slept after the handler ran.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

AspiLibrary LinuxSystem::LoadAspiLibrary(const char*) { return nullptr; }

void* LinuxSystem::FindAspiEntry(AspiLibrary, const char*) { return nullptr; }

void LinuxSystem::FreeAspiLibrary(AspiLibrary) {}

EventHandle LinuxSystem::CreateEvent() { return new (std::nothrow) CompletionEvent; }

bool LinuxSystem::WaitForEvent(EventHandle event, uint32_t milliseconds)
{
    return event != nullptr && static_cast<CompletionEvent*>(event)->Wait(milliseconds);
}

void LinuxSystem::CloseEvent(EventHandle event) { delete static_cast<CompletionEvent*>(event); }

void LinuxSystem::SignalEvent(EventHandle event)
{
    if (event != nullptr) static_cast<CompletionEvent*>(event)->Signal();
}

bool LinuxSystem::EnableShutdownPrivilege() { return restart.CanReboot(); }

bool LinuxSystem::RequestRestart(uint32_t flags)
{
    // Only a reboot is ever requested. The force flag needs no counterpart: logind closes the
    // sessions and stops the services itself, in order, without waiting for applications.
    if ((flags & kRestartReboot) == 0) return false;
    return restart.Reboot();
}

void LinuxSystem::InhibitShutdown(const char* why) { inhibitor.Inhibit(why); }

void LinuxSystem::ReleaseShutdownInhibitor() { inhibitor.Release(); }

void LinuxSystem::RecordInJournal(const JournalRecord& record) { linux_sys::RecordInSystemJournal(record); }

void LinuxSystem::ShowMessage(const char* text, const char* caption, MessageIcon)
{
    // This layer has no window toolkit; the message goes where a console user sees it.
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
}

}  // namespace platform
