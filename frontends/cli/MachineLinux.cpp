// The machine on Linux: the system of the kernel's SG_IO interface, and the drives' SCSI generic
// nodes from sysfs.

#include <fcntl.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "frontends/cli/Machine.h"
#include "platform/linux/LinuxJournalHistory.h"
#include "platform/linux/LinuxSystem.h"
#include "platform/linux/SysfsDrives.h"

namespace cli {

namespace {

// The restart and the shutdown inhibitor talk to logind through Qt's D-Bus connection, which
// wants an application object for as long as the system is used.
int applicationArgc = 1;
char applicationName[] = "norvik-cli";
char* applicationArgv[] = {applicationName, nullptr};

// The machine's drives: the SCSI generic node sysfs lists for the drive.
bool FindMachineCommandNode(const char* root, char (&node)[kCommandNodeSize])
{
    char found[platform::linux_sys::kNodePathSize];
    if (!platform::linux_sys::FindGenericNode(platform::linux_sys::kSysfsRoot, root, found)) return false;
    std::snprintf(node, sizeof node, "%s", found);
    return true;
}

// The machine's drives: an update needs the drive's SCSI generic node, opened for reading and
// writing (which the exclusive open of the update asks for).
bool RefuseMachineNode(const char* root, char (&reason)[kNodeRefusalSize])
{
    char node[platform::linux_sys::kNodePathSize];
    if (!platform::linux_sys::FindGenericNode(platform::linux_sys::kSysfsRoot, root, node)) {
        std::snprintf(reason, sizeof reason, "no SCSI generic node (sudo modprobe sg makes one)");
        return true;
    }
    if (access(node, R_OK | W_OK) == 0) return false;
    std::snprintf(reason, sizeof reason, "no permission to open %s for reading and writing", node);
    return true;
}

}  // namespace

struct Machine::Parts {
    QCoreApplication application{applicationArgc, applicationArgv};
    platform::LinuxSystem system;
};

Machine::Machine() : parts(std::make_unique<Parts>()) {}
Machine::~Machine() = default;
platform::System& Machine::System() { return parts->system; }

const char* const kOwnProgramFile = "/proc/self/exe";
const CommandNodeLookup kMachineCommandNode = FindMachineCommandNode;
const NodeRefusalLookup kMachineNodeRefusal = RefuseMachineNode;

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::unique_ptr<platform::JournalHistory> MakeMachineHistory()
{
    const char* directory = std::getenv("NORVIK_JOURNAL_DIRECTORY");
    if (directory != nullptr && directory[0] == '\0') directory = nullptr;
    return std::make_unique<platform::LinuxJournalHistory>(directory);
}

bool GuardStandardStreams()
{
    bool outputOpen = true;
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
        if (stream == STDOUT_FILENO) outputOpen = false;
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0 && null != stream) {
            dup2(null, stream);
            close(null);
        }
    }
    return outputOpen;
}

}  // namespace cli
