#pragma once
// What the user is told when the system refuses this process the right to send commands to a
// drive: which node, what was refused, and what to do about it. Library code never shows it;
// the system object keeps it, and the program's front end shows it once.

#include <sys/types.h>

#include <atomic>
#include <cstdint>

namespace platform::linux_sys {

constexpr int kAdviceSize = 512;
constexpr int kGroupNameSize = 64;

enum class RefusedStep : uint8_t {
    Open,     // the drive's node could not be opened for reading and writing
    Command,  // the kernel refused a command on the open node
};

// EPERM and EACCES: the process lacks a right, as opposed to a missing or failing device.
bool IsPermissionError(int error);

// The name of a group, or its number when the group database has no name for it.
void GroupName(gid_t groupId, char (&name)[kGroupNameSize]);

// The advice for a refusal at step on node, whose owner group is group (empty when unknown).
// A command refused on a SCSI generic node (/dev/sgN) and one refused on the drive's block node
// (which only root may send firmware commands through) call for different remedies.
void FormatPermissionAdvice(RefusedStep step, const char* node, const char* group, char (&advice)[kAdviceSize]);

// The first refusal of a run. Each drive being updated has its own worker thread, so two may
// meet a refusal at once: the first to claim the record writes it, later ones are left out, and
// the advice stays the same once it can be read.
class PermissionRecord {
public:
    void Note(RefusedStep step, const char* node, const char* group);
    // The advice, or null while no refusal was noted.
    const char* Advice() const;

private:
    enum State : uint8_t { kEmpty, kWriting, kReady };
    std::atomic<uint8_t> state{kEmpty};
    char advice[kAdviceSize] = {};
};

}  // namespace platform::linux_sys
