#pragma once
// Whole-file reads and all-or-nothing replacement of a file's contents.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

// The file's bytes; refuses (PackError) an unreadable file or one larger than maxSize.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path, std::size_t maxSize);

// Writes the bytes to a temporary file next to the target (after resolving symbolic links),
// gives it the target's owner, group and permission bits, flushes it to disk and renames it over
// the target. Refuses (PackError) a target with more than one hard link, and one whose owner and
// group the writer may not give the replacement. On any failure, and on a terminating signal
// (INT, TERM, HUP, QUIT) meanwhile, the target keeps its old contents and the temporary file is
// removed.
void ReplaceFileContents(const std::filesystem::path& path, std::span<const uint8_t> bytes);
