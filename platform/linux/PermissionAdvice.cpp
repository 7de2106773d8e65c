// The advice for a refused drive command, and the record that keeps the first one.

#include "platform/linux/PermissionAdvice.h"

#include <grp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform::linux_sys {

namespace {

constexpr int kGroupEntryBufferSize = 1024;

bool IsGenericNode(const char* node)
{
    const char* slash = std::strrchr(node, '/');
    return std::strncmp(slash == nullptr ? node : slash + 1, "sg", 2) == 0;
}

// A node left to root's own group (no udev rule gave it to the drives' group) is no group to join.
bool IsRootGroup(const char* group) { return std::strcmp(group, "root") == 0 || std::strcmp(group, "0") == 0; }

void FormatOpenAdvice(const char* node, const char* group, char (&advice)[kAdviceSize])
{
    if (IsRootGroup(group))
        std::snprintf(advice, sizeof advice,
                      "No permission to open %s for drive commands.\n"
                      "Run Norvik as root, or give %s to the group of the machine's drives (udev gives "
                      "optical drives the group \"cdrom\"), add your user to it and log in again.",
                      node, node);
    else if (group[0] != '\0')
        std::snprintf(advice, sizeof advice,
                      "No permission to open %s for drive commands.\n"
                      "Run Norvik as root, or add your user to the group \"%s\" of %s "
                      "(sudo usermod -aG %s $USER) and log in again.",
                      node, group, node, group);
    else
        std::snprintf(advice, sizeof advice,
                      "No permission to open %s for drive commands.\n"
                      "Run Norvik as root, or add your user to the group that owns %s and log in again.",
                      node, node);
}

void FormatCommandAdvice(const char* node, char (&advice)[kAdviceSize])
{
    if (IsGenericNode(node))
        std::snprintf(advice, sizeof advice,
                      "The system refused a drive command sent through %s.\n"
                      "Run Norvik as root.",
                      node);
    else
        std::snprintf(advice, sizeof advice,
                      "The system lets only root send firmware commands through %s, "
                      "and the drive has no SCSI generic node, without which it is not updated.\n"
                      "Load the SCSI generic driver (sudo modprobe sg), add your user to the group "
                      "of the drive's new /dev/sg node and log in again.",
                      node);
}

}  // namespace

bool IsPermissionError(int error) { return error == EPERM || error == EACCES; }

void GroupName(gid_t groupId, char (&name)[kGroupNameSize])
{
    char buffer[kGroupEntryBufferSize];
    group entry;
    group* found = nullptr;
    if (getgrgid_r(groupId, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        std::strlen(found->gr_name) < sizeof name) {
        std::snprintf(name, sizeof name, "%s", found->gr_name);
        return;
    }
    std::snprintf(name, sizeof name, "%u", static_cast<unsigned>(groupId));
}

void FormatPermissionAdvice(RefusedStep step, const char* node, const char* group, char (&advice)[kAdviceSize])
{
    const char* nodeText = node != nullptr ? node : "";
    const char* groupText = group != nullptr ? group : "";
    if (step == RefusedStep::Open)
        FormatOpenAdvice(nodeText, groupText, advice);
    else
        FormatCommandAdvice(nodeText, advice);
}

void PermissionRecord::Note(RefusedStep step, const char* node, const char* group)
{
    uint8_t expected = kEmpty;
    if (!state.compare_exchange_strong(expected, kWriting, std::memory_order_acquire)) return;
    FormatPermissionAdvice(step, node, group, advice);
    state.store(kReady, std::memory_order_release);
}

const char* PermissionRecord::Advice() const
{
    return state.load(std::memory_order_acquire) == kReady ? advice : nullptr;
}

}  // namespace platform::linux_sys
