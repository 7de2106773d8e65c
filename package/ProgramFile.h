#pragma once
// Whole-file reads, and the edit of a program file: read under an exclusive lock and replaced
// all at once.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

// The file's bytes; refuses (PackError) an unreadable file or one larger than maxSize.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path, std::size_t maxSize);

// A program file opened for an edit (after resolving symbolic links). For as long as the object
// lives it holds an exclusive lock (flock) on the file, so that a second edit of the same file
// is refused rather than allowed to write over this one, and its bytes are read under that lock.
// Refuses (PackError) a file that the user may not write (as the system judges it: root may), a
// file with more than one hard link, a file another edit holds, and one larger than maxSize.
class ProgramFileEdit {
public:
    ProgramFileEdit(const std::filesystem::path& path, std::size_t maxSize);
    ~ProgramFileEdit();
    ProgramFileEdit(const ProgramFileEdit&) = delete;
    ProgramFileEdit& operator=(const ProgramFileEdit&) = delete;

    std::vector<uint8_t>& Bytes() { return bytes; }

    // Writes the replacement next to the file, gives it the file's owner, group and permission
    // bits, flushes it to disk and renames it over the file. The replacement is an unnamed file
    // until it is complete (O_TMPFILE), so that no signal can leave a partial copy behind; where
    // the file system has no unnamed files, a named copy is removed on every signal that would end
    // the process. On any failure the file keeps its old contents. Refuses (PackError) a
    // replacement whose owner and group the writer may not give.
    void Replace(std::span<const uint8_t> replacement);

private:
    void OpenLocked(const std::filesystem::path& path);
    void ReadUnderLock(std::size_t maxSize);

    std::filesystem::path target;
    int descriptor = -1;
    struct stat status {};
    std::vector<uint8_t> bytes;
};
