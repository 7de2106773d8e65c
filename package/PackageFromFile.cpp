#include "package/PackageFromFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "package/BlockLocator.h"
#include "package/PackError.h"
#include "package/PackageEditor.h"
#include "package/PackageReader.h"

namespace {

#if defined(_WIN32)
// Windows opens files as text unless told otherwise; it has no FIFOs or terminals to wait on.
constexpr int kOpenForReading = O_RDONLY | O_BINARY;
#else
// A FIFO or a device put in the file's place after it was checked must not hold the program.
constexpr int kOpenForReading = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#endif
// Read in parts that any system's read() takes at once.
constexpr std::size_t kReadPart = std::size_t{1} << 20;

// Why a file of this kind is not read; empty for a regular file.
std::string KindRefusal(mode_t mode)
{
    if (S_ISREG(mode)) return "";
    if (S_ISDIR(mode)) return "is a directory, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO, not a file: give the package as a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
    return "is not a regular file";
}

bool Refuse(std::string& reason, std::string text)
{
    reason = std::move(text);
    return false;
}

// The file's bytes, read through a descriptor opened without waiting (a FIFO or a device named
// in place of a file must not hold the program) and checked to be a regular file once open.
bool ReadBoundedFile(const char* path, std::vector<uint8_t>& bytes, std::string& reason)
{
    struct stat named {};
    if (stat(path, &named) != 0) return Refuse(reason, std::string("cannot read it: ") + std::strerror(errno));
    if (std::string kind = KindRefusal(named.st_mode); !kind.empty()) return Refuse(reason, kind);
    const int descriptor = open(path, kOpenForReading);
    if (descriptor < 0) return Refuse(reason, std::string("cannot open it: ") + std::strerror(errno));
    struct stat opened {};
    bool read = fstat(descriptor, &opened) == 0;
    if (!read) reason = std::string("cannot inspect it: ") + std::strerror(errno);
    if (read && !(reason = KindRefusal(opened.st_mode)).empty()) read = false;
    if (read && static_cast<uint64_t>(opened.st_size) > kMostPackageSourceBytes) {
        reason = "holds " + std::to_string(opened.st_size) + " bytes, more than the " +
                 std::to_string(kMostPackageSourceBytes) + " a program with a package may hold";
        read = false;
    }
    if (read) {
        // One byte more than the size: a file that grows while it is read is not read whole.
        bytes.resize(static_cast<std::size_t>(opened.st_size) + 1);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto part = static_cast<unsigned>(std::min(bytes.size() - done, kReadPart));
            const auto got = ::read(descriptor, bytes.data() + done, part);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                reason = std::string("cannot read it: ") + std::strerror(errno);
                read = false;
            }
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        if (read && done != static_cast<std::size_t>(opened.st_size)) {
            reason = "changed while it was read";
            read = false;
        }
        bytes.resize(done);
    }
    close(descriptor);
    return read;
}

bool CopyFromPackageFile(std::span<const uint8_t> bytes, PackageFromFile& package, std::string& reason)
{
    if (bytes.size() != payload::kPackageFileSize) {
        return Refuse(reason, "is a package file of " + std::to_string(bytes.size()) + " bytes, not the " +
                                  std::to_string(payload::kPackageFileSize) +
                                  " of a whole one: it is cut short or damaged");
    }
    std::memcpy(package.block, bytes.data() + offsetof(payload::PackageFileLayout, package), sizeof package.block);
    std::memcpy(package.profiles, bytes.data() + offsetof(payload::PackageFileLayout, profiles),
                sizeof package.profiles);
    std::memcpy(package.digests, bytes.data() + offsetof(payload::PackageFileLayout, digests), sizeof package.digests);
    package.digestsPresent = true;
    package.isPackageFile = true;
    return true;
}

// The program's package, store and digests, found by their sections as the packaging step finds
// them; a program without the store's section has nothing to prepare a drive with.
bool CopyFromProgram(std::span<const uint8_t> bytes, PackageFromFile& package, std::string& reason)
{
    try {
        const BlockLocation block = LocatePackageBlock(bytes);
        std::memcpy(package.block, bytes.data() + block.offset, sizeof package.block);
        if (!HasProfileStoreSection(bytes))
            return Refuse(reason, "carries an update package but no flash profile store");
        std::memcpy(package.profiles, bytes.data() + LocateProfileStore(bytes), sizeof package.profiles);
        package.digestsPresent = HasImageDigestSection(bytes);
        if (package.digestsPresent)
            std::memcpy(package.digests, bytes.data() + LocateImageDigests(bytes), sizeof package.digests);
    } catch (const PackError& error) {
        return Refuse(reason, std::string("is neither a package file nor a program with a package that can be read: ") +
                                  error.what());
    }
    package.isPackageFile = false;
    return true;
}

// What the program would refuse at start-up, and what no package made by the packaging step has.
bool CheckCarried(PackageFromFile& package, std::string& reason)
{
    const PackageReader reader(package.block);
    if (reader.ImageHoldsPlaceholder()) return Refuse(reason, "carries no firmware (its image is the placeholder)");
    if (std::string refusal = PackageRefusal(reader); !refusal.empty()) return Refuse(reason, refusal);
    if (std::string refusal = EmptyBankInUse(reader); !refusal.empty()) return Refuse(reason, refusal);
    if (std::string refusal = ProfileStoreRefusal(package.profiles); !refusal.empty())
        return Refuse(reason, "its " + refusal);
    const DigestCheck digests = CheckImageDigests(package.block, package.digestsPresent ? package.digests : nullptr);
    package.digestState = digests.state;
    if (std::string refusal = DigestRefusal(digests); !refusal.empty()) return Refuse(reason, refusal);
    return true;
}

}  // namespace

bool ReadPackageFromFile(const char* path, PackageFromFile& package, std::string& reason)
{
    std::vector<uint8_t> bytes;
    if (!ReadBoundedFile(path, bytes, reason)) return false;
    const std::span<const uint8_t> file(bytes);
    const bool copied = IsPackageFile(file) ? CopyFromPackageFile(file, package, reason)
                                            : CopyFromProgram(file, package, reason);
    if (!copied || !CheckCarried(package, reason)) return false;
    if (!sys::Sha256(file, package.fileDigest)) return Refuse(reason, "cannot compute its SHA-256");
    return true;
}

bool Sha256OfFile(const char* path, sys::Sha256Digest& digest)
{
    std::vector<uint8_t> bytes;
    std::string reason;
    return ReadBoundedFile(path, bytes, reason) && sys::Sha256(bytes, digest);
}
