#include "package/ProgramFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
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

// ---- Signals ------------------------------------------------------------------------------

// Every signal whose default action ends the process, SIGKILL aside, which nothing can catch.
bool EndsTheProcessByDefault(int signalNumber)
{
    switch (signalNumber) {
    case SIGKILL:
    case SIGSTOP:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
    case SIGCONT:
    case SIGCHLD:
    case SIGURG:
    case SIGWINCH: return false;
    default: return true;
    }
}

sigset_t TerminatingSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (EndsTheProcessByDefault(signalNumber)) sigaddset(&set, signalNumber);
    }
    return set;
}

// Holds the terminating signals back for as long as it lives; they act once it is gone.
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

// The named copy that the handler removes. Written only while the signals are held or before
// the handler is installed; the handler only reads it.
char temporaryToRemove[PATH_MAX];
volatile sig_atomic_t temporaryToRemoveSet = 0;
struct sigaction actionsBefore[NSIG];
bool takenOver[NSIG] = {};

// Only async-signal-safe calls. SA_RESETHAND has put back the default action, so the signal,
// raised again, ends the process once the handler returns, as it would have without it.
extern "C" void RemoveTemporaryAndEnd(int signalNumber)
{
    if (temporaryToRemoveSet) unlink(temporaryToRemove);
    raise(signalNumber);
}

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
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        takenOver[signalNumber] = EndsTheProcessByDefault(signalNumber) &&
                                  sigaction(signalNumber, nullptr, &actionsBefore[signalNumber]) == 0 &&
                                  actionsBefore[signalNumber].sa_handler == SIG_DFL &&
                                  sigaction(signalNumber, &action, nullptr) == 0;
    }
}

void KeepOnTerminatingSignal()
{
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (takenOver[signalNumber]) sigaction(signalNumber, &actionsBefore[signalNumber], nullptr);
        takenOver[signalNumber] = false;
    }
    temporaryToRemoveSet = 0;
}

// ---- The replacement ----------------------------------------------------------------------

// File systems that know no unnamed files answer O_TMPFILE with one of these.
bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// The copy that replaces the target: an unnamed file in the target's folder, given a name only
// when complete and renamed over the target at once; or, where the file system has no unnamed
// files, a named one that every terminating signal removes. Whatever ends the process before the
// rename leaves the target as it was and no copy behind (SIGKILL aside, for a named copy).
class Replacement {
public:
    explicit Replacement(const fs::path& target);
    ~Replacement()
    {
        if (descriptor >= 0) close(descriptor);
        if (!unnamed && !renamed) unlink(name.c_str());
        KeepOnTerminatingSignal();
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    void TakeOwnerAndGroup(const struct stat& target, const fs::path& targetPath);
    void WriteAll(std::span<const uint8_t> bytes);
    void FinishAndRename(const struct stat& target, const fs::path& targetPath);

private:
    bool GiveName(const fs::path& target);

    std::string name;  // a named copy's path; an unnamed one's once it is linked
    std::string shown;
    int descriptor = -1;
    bool unnamed = false;
    bool renamed = false;
};

Replacement::Replacement(const fs::path& target)
    : name((target.parent_path() / ("." + target.filename().string() + ".norvik-pack-XXXXXX")).string()),
      shown("the copy of " + target.string())
{
    descriptor = open(target.parent_path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
        unnamed = true;
        return;
    }
    if (!NoUnnamedFiles(errno)) throw PackError(SystemError("cannot create a copy next to", target));
    const TerminatingSignalsHeld held;
    descriptor = mkstemp(name.data());
    if (descriptor < 0) throw PackError(SystemError("cannot create a temporary file next to", target));
    RemoveOnTerminatingSignal(name);
}

// The replacement belongs to whom the file belonged. A writer who may not give it away (not
// root, not the owner) is refused here, before anything is written, rather than leaving the
// file to someone else.
void Replacement::TakeOwnerAndGroup(const struct stat& target, const fs::path& targetPath)
{
    struct stat created {};
    if (fstat(descriptor, &created) != 0) throw PackError(SystemError("cannot inspect", shown));
    if (created.st_uid == target.st_uid && created.st_gid == target.st_gid) return;
    if (fchown(descriptor, target.st_uid, target.st_gid) != 0) {
        const std::string owner = "the owner (uid " + std::to_string(target.st_uid) + ") and group (gid " +
                                  std::to_string(target.st_gid) + ") of";
        throw PackError(SystemError("cannot keep " + owner, targetPath) + "; pack it as its owner or as root");
    }
}

void Replacement::WriteAll(std::span<const uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw PackError(SystemError("cannot write", shown));
        done += static_cast<std::size_t>(written);
    }
}

// Links the unnamed copy under a free name beside the target: through /proc, which anyone may,
// or by the descriptor itself, which needs the right to read any file.
bool Replacement::GiveName(const fs::path& target)
{
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", descriptor);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".norvik-pack-%ld-%d", static_cast<long>(getpid()), attempt);
        name = (target.parent_path() / ("." + target.filename().string() + suffix)).string();
        if (linkat(AT_FDCWD, procPath, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno == EEXIST) continue;
        if (linkat(descriptor, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// The mode is set after the owner: a change of owner clears the set-user-ID and set-group-ID
// bits, which the target's mode then puts back. Should the owner or group still differ from the
// target's, those bits stay cleared: they would lend someone else's rights. From naming the copy
// to renaming it, the terminating signals wait, so that the name never outlives the process.
void Replacement::FinishAndRename(const struct stat& target, const fs::path& targetPath)
{
    struct stat created {};
    if (fstat(descriptor, &created) != 0) throw PackError(SystemError("cannot inspect", shown));
    mode_t mode = target.st_mode & 07777;
    if (created.st_uid != target.st_uid || created.st_gid != target.st_gid) mode &= ~mode_t{S_ISUID | S_ISGID};
    if (fchmod(descriptor, mode) != 0) throw PackError(SystemError("cannot set the permissions of", shown));
    if (fsync(descriptor) != 0) throw PackError(SystemError("cannot flush", shown));
    const TerminatingSignalsHeld held;
    if (unnamed && !GiveName(targetPath)) throw PackError(SystemError("cannot give a name to", shown));
    if (rename(name.c_str(), targetPath.c_str()) != 0) {
        const int error = errno;
        if (unnamed) unlink(name.c_str());
        errno = error;
        throw PackError(SystemError("cannot replace", targetPath));
    }
    renamed = true;
    temporaryToRemoveSet = 0;
    const int closing = descriptor;
    descriptor = -1;
    close(closing);
}

// Makes the rename itself durable.
void FlushDirectory(const fs::path& directory)
{
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Why the user may not write the file, as the system judges it for this process (root may
// write a read-only file, as with any other tool); empty when they may.
std::string WriteRefusal(const fs::path& target)
{
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0) return "";
    if (errno == EROFS) return target.string() + " lies on a read-only file system; pack a copy elsewhere";
    if (errno != EACCES && errno != EPERM) return SystemError("cannot check the right to write", target);
    return target.string() +
           " is not writable by this user; norvik-pack replaces only a file its user may write "
           "(make it writable first if it is to be packed, or pack a copy)";
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

ProgramFileEdit::ProgramFileEdit(const fs::path& path, std::size_t maxSize)
{
    OpenLocked(path);
    // A new file renamed over one of several names would part that name from the others.
    if (status.st_nlink > 1) {
        throw PackError(target.string() + " has " + std::to_string(status.st_nlink) +
                        " hard links, which replacing it would split; pack a copy with one link");
    }
    ReadUnderLock(maxSize);
}

ProgramFileEdit::~ProgramFileEdit()
{
    if (descriptor >= 0) close(descriptor);
}

// Another edit may replace the file between the open and the lock; the lock then holds a file
// that no longer has the name, and the name is opened again.
void ProgramFileEdit::OpenLocked(const fs::path& path)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::error_code error;
        target = fs::canonical(path, error);
        if (error) throw PackError("cannot resolve " + path.string() + ": " + error.message());
        const std::string refusal = WriteRefusal(target);
        if (!refusal.empty()) throw PackError(refusal);
        if (descriptor >= 0) close(descriptor);
        descriptor = open(target.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) throw PackError(SystemError("cannot open", target));
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                throw PackError(target.string() +
                                " is being packed by another norvik-pack, which holds its lock; run this one again "
                                "once that one has ended");
            }
            throw PackError(SystemError("cannot lock", target));
        }
        struct stat named {};
        if (fstat(descriptor, &status) != 0) throw PackError(SystemError("cannot inspect", target));
        if (stat(target.c_str(), &named) == 0 && SameFile(named, status)) return;
    }
    throw PackError(target.string() + " keeps being replaced while norvik-pack opens it; run it again");
}

void ProgramFileEdit::ReadUnderLock(std::size_t maxSize)
{
    if (static_cast<uint64_t>(status.st_size) > maxSize) {
        throw PackError(target.string() + " holds " + std::to_string(status.st_size) + " bytes, more than the " +
                        std::to_string(maxSize) + " allowed");
    }
    bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t read = pread(descriptor, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (read < 0 && errno == EINTR) continue;
        if (read <= 0) throw PackError(SystemError("cannot read", target));
        done += static_cast<std::size_t>(read);
    }
}

void ProgramFileEdit::Replace(std::span<const uint8_t> replacement)
{
    Replacement copy(target);
    copy.TakeOwnerAndGroup(status, target);
    copy.WriteAll(replacement);
    copy.FinishAndRename(status, target);
    FlushDirectory(target.parent_path());
}
