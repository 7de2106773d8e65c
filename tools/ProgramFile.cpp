#include "tools/ProgramFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "tools/PackError.h"

namespace fs = std::filesystem;

namespace {

std::string SystemError(const std::string& what, const fs::path& path)
{
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const fs::path& target)
        : pattern((target.parent_path() / ("." + target.filename().string() + ".norvik-pack-XXXXXX")).string())
    {
        descriptor = mkstemp(pattern.data());
        if (descriptor < 0) throw PackError(SystemError("cannot create a temporary file next to", target));
    }
    ~TemporaryFile()
    {
        if (descriptor >= 0) close(descriptor);
        if (!renamed) unlink(pattern.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void WriteAll(std::span<const uint8_t> bytes);
    void FinishAndRename(mode_t mode, const fs::path& target);

private:
    std::string pattern;
    int descriptor = -1;
    bool renamed = false;
};

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

void TemporaryFile::FinishAndRename(mode_t mode, const fs::path& target)
{
    if (fchmod(descriptor, mode) != 0) throw PackError(SystemError("cannot set the permissions of", pattern));
    if (fsync(descriptor) != 0) throw PackError(SystemError("cannot flush", pattern));
    const int closing = descriptor;
    descriptor = -1;
    if (close(closing) != 0) throw PackError(SystemError("cannot close", pattern));
    if (rename(pattern.c_str(), target.c_str()) != 0) throw PackError(SystemError("cannot replace", target));
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

    TemporaryFile temporary(target);
    temporary.WriteAll(bytes);
    temporary.FinishAndRename(status.st_mode & 07777, target);
    FlushDirectory(target.parent_path());
}
