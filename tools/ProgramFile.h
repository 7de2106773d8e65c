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
// gives it the target's permission bits, flushes it to disk and renames it over the target.
// On any failure the target keeps its old contents and the temporary file is removed.
void ReplaceFileContents(const std::filesystem::path& path, std::span<const uint8_t> bytes);
