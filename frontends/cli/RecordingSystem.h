#pragma once
// A system that forwards every call to another one (the machine's or a virtual one) and
// records each command block sent through it: as a trace line in the virtual drive's format
// ("<root> <24 hex digits> <in|out|none> <length> <good|short N|sense K/AA/QQ|failed>"),
// written and flushed as the command ends, and with --verbose the command's name and outcome
// with the sense in words (-vv: the whole trace line, the block and the data length, instead). The library code below it prints nothing; the program decides where the lines go.
// A console shows no message box: what the system would show in one (the ASPI loader's
// errors) is one line on the messages stream instead, never handed to the system.

#include <cstdio>
#include <mutex>

#include "frontends/cli/CliOptions.h"
#include "frontends/cli/TransferCounter.h"
#include "platform/System.h"

namespace cli {

class RecordingSystem : public platform::System {
public:
    // Lines go to trace and to verbose (each may be null), message boxes' texts to messages;
    // all must outlive this object.
    RecordingSystem(platform::System& system, std::FILE* trace, std::FILE* verbose, std::FILE* messages);

    // --aspi on the machine's drives: the system answers as one of the family before NT, which
    // finds and reaches its drives through the ASPI manager.
    void AnswerAsNotNt() { notNt = true; }
    // How much a verbose line shows: the number of -v (1: the command's name and outcome; 2 and
    // more: the trace line). Set before any command is sent.
    void SetVerbosity(int count) { verbosity = count; }
    // Every command's image data is also counted there (null: not counted). Set before any
    // command is sent; the counter must outlive this object.
    void CountTransfersInto(TransferCounter* counter) { transfers = counter; }

    bool QueryPlatformId(uint32_t& platformId) override;
    bool QueryCounterFrequency(int64_t& ticksPerSecond) override
    {
        return system.QueryCounterFrequency(ticksPerSecond);
    }
    int64_t QueryCounter() override { return system.QueryCounter(); }
    void Sleep(uint32_t milliseconds) override { system.Sleep(milliseconds); }
    void YieldToOtherThreads() override { system.YieldToOtherThreads(); }
    void ListDriveRoots(platform::DriveRootList& list) override { system.ListDriveRoots(list); }
    bool IsOpticalDrive(const char* root) override { return system.IsOpticalDrive(root); }
    platform::DriveHandle OpenDrive(const char* root) override;
    platform::DriveHandle OpenDriveExclusive(const char* root, char (&refusal)[platform::kRefusalSize]) override;
    void CloseDrive(platform::DriveHandle drive) override;
    platform::AddressQuery QueryScsiAddress(platform::DriveHandle drive, platform::ScsiAddress& address) override
    {
        return system.QueryScsiAddress(drive, address);
    }
    bool QueryStorageDescriptor(platform::DriveHandle drive,
                                uint8_t (&descriptor)[platform::kStorageDescriptorSize]) override
    {
        return system.QueryStorageDescriptor(drive, descriptor);
    }
    bool SendPassThrough(platform::DriveHandle drive, platform::PassThroughRequest& request) override;
    const char* PermissionAdvice() const override { return system.PermissionAdvice(); }
    platform::AspiLibrary LoadAspiLibrary(const char* name) override { return system.LoadAspiLibrary(name); }
    void* FindAspiEntry(platform::AspiLibrary library, const char* entryName) override
    {
        return system.FindAspiEntry(library, entryName);
    }
    void FreeAspiLibrary(platform::AspiLibrary library) override { system.FreeAspiLibrary(library); }
    platform::EventHandle CreateEvent() override { return system.CreateEvent(); }
    bool WaitForEvent(platform::EventHandle event, uint32_t milliseconds) override
    {
        return system.WaitForEvent(event, milliseconds);
    }
    void CloseEvent(platform::EventHandle event) override { system.CloseEvent(event); }
    bool EnableShutdownPrivilege() override { return system.EnableShutdownPrivilege(); }
    bool RequestRestart(uint32_t flags) override { return system.RequestRestart(flags); }
    void InhibitShutdown(const char* why) override { system.InhibitShutdown(why); }
    void ReleaseShutdownInhibitor() override { system.ReleaseShutdownInhibitor(); }
    void RecordInJournal(const platform::JournalRecord& record) override { system.RecordInJournal(record); }
    void ShowMessage(const char* text, const char* caption, platform::MessageIcon icon) override;

private:
    // Drives open at once: the main device object's and one per drive being updated.
    static constexpr int kMaxOpenDrives = 64;
    struct OpenDriveRoot {
        platform::DriveHandle handle = platform::kInvalidDriveHandle;
        char root[platform::kRootPathSize] = {};
    };

    void Remember(platform::DriveHandle drive, const char* root);
    // The root the drive was opened as, copied into root ("?" when unknown).
    void RootOf(platform::DriveHandle drive, char (&root)[platform::kRootPathSize]);

    platform::System& system;
    std::FILE* trace;
    std::FILE* verbose;
    std::FILE* messages;
    bool notNt = false;
    int verbosity = kVerboseBlocks;
    TransferCounter* transfers = nullptr;
    std::mutex mutex;  // commands to several drives run on several threads
    OpenDriveRoot open[kMaxOpenDrives];
};

// The outcome of a command as the trace writes it ("good", "short 8192" when its data phase moved
// fewer bytes than asked, "sense 2/3A/01", "failed"), into text; inWords (verbose), the sense
// key and the additional sense decoded.
void FormatCommandLine(const char* root, const platform::PassThroughRequest& request, bool delivered, bool inWords,
                       char* line, std::size_t size);

// The short form of one -v: "<root> <command name> <outcome>", the sense in words.
void FormatCommandSummary(const char* root, const platform::PassThroughRequest& request, bool delivered, char* line,
                          std::size_t size);

}  // namespace cli
