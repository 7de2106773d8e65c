#pragma once
// Finds the update package block in a built program file: first the program's own section,
// read from the section table of a Linux (ELF) or Windows (PE) program, then the landmarks that
// every block carries (the constraint table label and the entry keys, each at its offset).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct SectionSpan {
    uint64_t offset;  // in the file
    uint64_t size;
};

// A section of a 64-bit little-endian ELF file that holds bytes in the file. Empty when the file
// is no such ELF file, its section table is damaged, or no section of that name holds bytes.
std::optional<SectionSpan> FindElfSection(std::span<const uint8_t> file, std::string_view name);

// A section of a PE32 or PE32+ file that holds initialised data in the file, by the name in its
// section header (at most 8 characters; longer names, kept elsewhere, are not looked up). Empty
// when the file is no such PE file, its headers are damaged, or no section of that name holds
// bytes. Where a section's size in memory exceeds its bytes in the file, only the latter count.
std::optional<SectionSpan> FindPeSection(std::span<const uint8_t> file, std::string_view name);

// Every file offset at which a block's label and all its entry keys stand where they belong.
std::vector<std::size_t> FindBlocksByLandmarks(std::span<const uint8_t> file);

enum class FoundBy : uint8_t { Section, Landmarks };

struct BlockLocation {
    std::size_t offset;  // of the block's first byte in the file
    FoundBy foundBy;
    std::string_view section;  // the section's name when found by it
};

// The one block of the file; refuses (PackError) a file with none, or with several candidates
// (found by landmarks, or by sections of the package's name). A file that starts with "MZ" is
// looked up as a PE program, by the Windows section names; any other as an ELF program.
//
// A block found by its section is trusted only where the program itself would read it: the
// section is the block's size (with at most its alignment padding), holds the block's
// landmarks, lies inside one loaded segment that is not code, overlaps no header and no other
// section, and is loaded at the address its file offset gives. A block found by its landmarks
// in a program whose headers are readable must lie inside a loaded segment that is not code.
// Either way a program whose headers place loaded bytes past its end (a file cut short) is
// refused.
BlockLocation LocatePackageBlock(std::span<const uint8_t> file);

// Whether the file begins as a package file does (its magic), whatever its length.
bool IsPackageFile(std::span<const uint8_t> file);

// Whether the file has a section by the name of the flash profile store, whatever it holds.
bool HasProfileStoreSection(std::span<const uint8_t> file);

// File offset of the flash profile store, found by its section only (the store carries no
// landmarks), of the program's format as above; refuses (PackError) a file without the section,
// and one whose section fails the checks that LocatePackageBlock makes of the package's section
// or overlaps a block found by its landmarks.
std::size_t LocateProfileStore(std::span<const uint8_t> file);

// Whether the file has a section by the name of the image digests (a program packed before
// they were recorded has none), and the record's file offset, found and checked as the flash
// profile store is.
bool HasImageDigestSection(std::span<const uint8_t> file);
std::size_t LocateImageDigests(std::span<const uint8_t> file);
