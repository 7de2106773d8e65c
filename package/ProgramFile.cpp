#include "package/ProgramFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "package/PackError.h"

namespace fs = std::filesystem;

namespace {

std::string SystemError(const std::string& what, const fs::path& path)
{
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// The signals that end the process while it writes; each removes the temporary file first.
constexpr int kTerminatingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The temporary file the handler removes. Written only while the signals are blocked or before
// the handler is installed; the handler only reads it.
char temporaryToRemove[PATH_MAX];
volatile sig_atomic_t temporaryToRemoveSet = 0;
struct sigaction actionsBefore[std::size(kTerminatingSignals)];
bool takenOver[std::size(kTerminatingSignals)] = {};

// Only async-signal-safe calls. SA_RESETHAND has put back the default action, so the signal,
// raised again, ends the process once the handler returns, as it would have without it.
extern "C" void RemoveTemporaryAndEnd(int signalNumber)
{
    if (temporaryToRemoveSet) unlink(temporaryToRemove);
    raise(signalNumber);
}

sigset_t TerminatingSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : kTerminatingSignals) sigaddset(&set, signalNumber);
    return set;
}

// Holds the terminating signals back for as long as it lives: between creating the temporary
// file and arming its removal no signal may end the process.
class TerminatingSignalsHeld {
public:
    TerminatingSignalsHeld()
    {
        const sigset_t held = TerminatingSignalSet();
        sigprocmask(SIG_BLOCK, &held, &before);
    }
    ~TerminatingSignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
    TerminatingSignalsHeld(const TerminatingSignalsHeld&) = delete;
    TerminatingSignalsHeld& operator=(const TerminatingSignalsHeld&) = delete;

private:
    sigset_t before;
};

// Only signals that would end the process by their default action are taken over: one that is
// ignored (as under nohup) or handled by the caller stays as it is.
void RemoveOnTerminatingSignal(const std::string& path)
{
    if (path.size() >= sizeof temporaryToRemove) return;
    std::memcpy(temporaryToRemove, path.c_str(), path.size() + 1);
    temporaryToRemoveSet = 1;
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndEnd;
    action.sa_mask = TerminatingSignalSet();
    action.sa_flags = SA_RESETHAND;
    for (std::size_t i = 0; i < std::size(kTerminatingSignals); ++i) {
        takenOver[i] = sigaction(kTerminatingSignals[i], nullptr, &actionsBefore[i]) == 0 &&
                       actionsBefore[i].sa_handler == SIG_DFL &&
                       sigaction(kTerminatingSignals[i], &action, nullptr) == 0;
    }
}

void KeepOnTerminatingSignal()
{
    for (std::size_t i = 0; i < std::size(kTerminatingSignals); ++i) {
        if (takenOver[i]) sigaction(kTerminatingSignals[i], &actionsBefore[i], nullptr);
        takenOver[i] = false;
    }
    temporaryToRemoveSet = 0;
}

// Removes the temporary file unless it was renamed into place, also when a terminating signal
// ends the process meanwhile.
class TemporaryFile {
public:
    explicit TemporaryFile(const fs::path& target)
        : pattern((target.parent_path() / ("." + target.filename().string() + ".norvik-pack-XXXXXX")).string())
    {
        const TerminatingSignalsHeld held;
        descriptor = mkstemp(pattern.data());
        if (descriptor < 0) throw PackError(SystemError("cannot create a temporary file next to", target));
        RemoveOnTerminatingSignal(pattern);
    }
    ~TemporaryFile()
    {
        if (descriptor >= 0) close(descriptor);
        if (!renamed) unlink(pattern.c_str());
        KeepOnTerminatingSignal();
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void TakeOwnerAndGroup(const struct stat& target, const fs::path& targetPath);
    void WriteAll(std::span<const uint8_t> bytes);
    void FinishAndRename(const struct stat& target, const fs::path& targetPath);

private:
    std::string pattern;
    int descriptor = -1;
    bool renamed = false;
};

// The replacement belongs to whom the file belonged. A writer who may not give it away (not
// root, not the owner) is refused here, before anything is written, rather than leaving the
// file to someone else.
void TemporaryFile::TakeOwnerAndGroup(const struct stat& target, const fs::path& targetPath)
{
    struct stat created {};
    if (fstat(descriptor, &created) != 0) throw PackError(SystemError("cannot inspect", pattern));
    if (created.st_uid == target.st_uid && created.st_gid == target.st_gid) return;
    if (fchown(descriptor, target.st_uid, target.st_gid) != 0) {
        const std::string owner = "the owner (uid " + std::to_string(target.st_uid) + ") and group (gid " +
                                  std::to_string(target.st_gid) + ") of";
        throw PackError(SystemError("cannot keep " + owner, targetPath) + "; pack it as its owner or as root");
    }
}

void TemporaryFile::WriteAll(std::span<const uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw PackError(SystemError("cannot write", pattern));
        done += static_cast<std::size_t>(written);
    }
}

// The mode is set after the owner: a change of owner clears the set-user-ID and set-group-ID
// bits, which the target's mode then puts back. Should the owner or group still differ from the
// target's, those bits stay cleared: they would lend someone else's rights.
void TemporaryFile::FinishAndRename(const struct stat& target, const fs::path& targetPath)
{
    struct stat created {};
    if (fstat(descriptor, &created) != 0) throw PackError(SystemError("cannot inspect", pattern));
    mode_t mode = target.st_mode & 07777;
    if (created.st_uid != target.st_uid || created.st_gid != target.st_gid) mode &= ~mode_t{S_ISUID | S_ISGID};
    if (fchmod(descriptor, mode) != 0) throw PackError(SystemError("cannot set the permissions of", pattern));
    if (fsync(descriptor) != 0) throw PackError(SystemError("cannot flush", pattern));
    const int closing = descriptor;
    descriptor = -1;
    if (close(closing) != 0) throw PackError(SystemError("cannot close", pattern));
    if (rename(pattern.c_str(), targetPath.c_str()) != 0) throw PackError(SystemError("cannot replace", targetPath));
    renamed = true;
}

// Makes the rename itself durable.
void FlushDirectory(const fs::path& directory)
{
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const fs::path& path, std::size_t maxSize)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) throw PackError("cannot read " + path.string() + ": " + error.message());
    if (size > maxSize) {
        throw PackError(path.string() + " holds " + std::to_string(size) + " bytes, more than the " +
                        std::to_string(maxSize) + " allowed");
    }
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream stream(path, std::ios::binary);
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!stream || stream.peek() != std::ifstream::traits_type::eof()) {
        throw PackError("cannot read " + path.string() + " completely");
    }
    return bytes;
}

void ReplaceFileContents(const fs::path& path, std::span<const uint8_t> bytes)
{
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    if (error) throw PackError("cannot resolve " + path.string() + ": " + error.message());
    struct stat status {};
    if (stat(target.c_str(), &status) != 0) throw PackError(SystemError("cannot inspect", target));
    // A new file renamed over one of several names would part that name from the others.
    if (status.st_nlink > 1) {
        throw PackError(target.string() + " has " + std::to_string(status.st_nlink) +
                        " hard links, which replacing it would split; pack a copy with one link");
    }

    TemporaryFile temporary(target);
    temporary.TakeOwnerAndGroup(status, target);
    temporary.WriteAll(bytes);
    temporary.FinishAndRename(status, target);
    FlushDirectory(target.parent_path());
}
