#include "package/BlockLocator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "package/PackError.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileLayout.h"

namespace {

constexpr std::size_t kElfHeaderSize = 64;
constexpr std::size_t kSectionHeaderSize = 64;
constexpr uint32_t kProgramBits = 1;         // SHT_PROGBITS
constexpr uint64_t kExtendedIndex = 0xFFFF;  // SHN_XINDEX: the real index is elsewhere

uint64_t LittleEndian(std::span<const uint8_t> bytes, std::size_t offset, int width)
{
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

bool Fits(uint64_t offset, uint64_t length, uint64_t total) { return offset <= total && length <= total - offset; }

struct SectionTable {
    uint64_t offset;
    uint64_t entrySize;
    uint64_t count;
    uint64_t namesIndex;
};

struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
};

// Caller makes sure the entry lies inside the file.
SectionHeader ReadSectionHeader(std::span<const uint8_t> file, const SectionTable& table, uint64_t index)
{
    const std::size_t at = static_cast<std::size_t>(table.offset + index * table.entrySize);
    return SectionHeader{
        .name = static_cast<uint32_t>(LittleEndian(file, at + 0, 4)),
        .type = static_cast<uint32_t>(LittleEndian(file, at + 4, 4)),
        .offset = LittleEndian(file, at + 24, 8),
        .size = LittleEndian(file, at + 32, 8),
        .link = static_cast<uint32_t>(LittleEndian(file, at + 40, 4)),
    };
}

bool IsElf64LittleEndian(std::span<const uint8_t> file)
{
    static constexpr uint8_t kMagic[] = {0x7F, 'E', 'L', 'F', 2 /* 64-bit */, 1 /* little-endian */};
    return file.size() >= kElfHeaderSize && std::equal(std::begin(kMagic), std::end(kMagic), file.begin());
}

// The section table as the file header describes it, including the extended forms in which the
// count and the name table's index live in section 0; empty when it does not fit in the file.
std::optional<SectionTable> ReadSectionTable(std::span<const uint8_t> file)
{
    if (!IsElf64LittleEndian(file)) return std::nullopt;
    SectionTable table{
        .offset = LittleEndian(file, 0x28, 8),
        .entrySize = LittleEndian(file, 0x3A, 2),
        .count = LittleEndian(file, 0x3C, 2),
        .namesIndex = LittleEndian(file, 0x3E, 2),
    };
    if (table.offset == 0 || table.entrySize < kSectionHeaderSize) return std::nullopt;
    if (!Fits(table.offset, table.entrySize, file.size())) return std::nullopt;
    const SectionHeader first = ReadSectionHeader(file, table, 0);
    if (table.count == 0) table.count = first.size;
    if (table.namesIndex == kExtendedIndex) table.namesIndex = first.link;
    if (table.count == 0 || table.count > (file.size() - table.offset) / table.entrySize) return std::nullopt;
    if (table.namesIndex >= table.count) return std::nullopt;
    return table;
}

// A section's name: the text at its offset in the name table, up to a NUL or the table's end.
std::string_view SectionName(std::span<const uint8_t> file, const SectionHeader& names, uint32_t nameOffset)
{
    if (nameOffset >= names.size) return {};
    const char* text = reinterpret_cast<const char*>(file.data() + names.offset + nameOffset);
    return std::string_view(text, strnlen(text, static_cast<std::size_t>(names.size - nameOffset)));
}

bool KeyAt(std::span<const uint8_t> file, std::size_t at, std::string_view key)
{
    return std::memcmp(file.data() + at, key.data(), key.size()) == 0;
}

// Label and every key at its place, for a block that starts at blockOffset and fits in the file.
bool LandmarksInPlace(std::span<const uint8_t> file, std::size_t blockOffset)
{
    const std::size_t labelOffset = offsetof(payload::PackageBlock, constraintLabel);
    if (!KeyAt(file, blockOffset + labelOffset, payload::kConstraintLabel)) return false;
    for (const auto& entry : payload::kConfigurationEntries) {
        if (!KeyAt(file, blockOffset + entry.offset, entry.key)) return false;
    }
    for (const auto& entry : payload::kRevisionEntries) {
        if (!KeyAt(file, blockOffset + entry.offset, entry.key)) return false;
    }
    return true;
}

// PE: the DOS header's pointer to the "PE\0\0" signature, the file header behind it (20 bytes),
// the optional header (its size given in the file header) and the section table.
constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kPeHeaderPointer = 0x3C;
constexpr std::size_t kPeFileHeaderSize = 4 + 20;
constexpr std::size_t kPeSectionHeaderSize = 40;
constexpr std::size_t kPeSectionNameSize = 8;
constexpr uint64_t kPe32Magic = 0x10B;
constexpr uint64_t kPe32PlusMagic = 0x20B;
constexpr uint64_t kInitialisedData = 0x40;  // IMAGE_SCN_CNT_INITIALIZED_DATA

bool IsPe(std::span<const uint8_t> file) { return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z'; }

struct PeSectionTable {
    uint64_t offset;
    uint64_t count;
};

// The section table as the headers describe it; empty when any header does not fit in the file
// or is not that of a PE32 or PE32+ image.
std::optional<PeSectionTable> ReadPeSectionTable(std::span<const uint8_t> file)
{
    if (!IsPe(file) || file.size() < kDosHeaderSize) return std::nullopt;
    const uint64_t header = LittleEndian(file, kPeHeaderPointer, 4);
    if (!Fits(header, kPeFileHeaderSize + 2, file.size())) return std::nullopt;
    static constexpr uint8_t kSignature[] = {'P', 'E', 0, 0};
    if (!std::equal(std::begin(kSignature), std::end(kSignature), file.begin() + static_cast<std::ptrdiff_t>(header))) {
        return std::nullopt;
    }
    const auto at = static_cast<std::size_t>(header);
    const uint64_t count = LittleEndian(file, at + 6, 2);
    const uint64_t optionalSize = LittleEndian(file, at + 20, 2);
    const uint64_t magic = LittleEndian(file, at + kPeFileHeaderSize, 2);
    if (optionalSize < 2 || (magic != kPe32Magic && magic != kPe32PlusMagic)) return std::nullopt;
    const uint64_t table = header + kPeFileHeaderSize + optionalSize;
    if (!Fits(table, count * kPeSectionHeaderSize, file.size())) return std::nullopt;
    return PeSectionTable{table, count};
}

// The header's name field holds the name NUL-padded, or all 8 bytes of it without a NUL.
bool PeNameIs(std::span<const uint8_t> file, std::size_t at, std::string_view name)
{
    const char* field = reinterpret_cast<const char*>(file.data() + at);
    return std::string_view(field, strnlen(field, kPeSectionNameSize)) == name;
}

// Where a program of one format keeps its blocks, and how its section table is read.
struct ProgramSections {
    std::string_view package;
    std::string_view profiles;
    std::optional<SectionSpan> (*find)(std::span<const uint8_t> file, std::string_view name);
};

const ProgramSections& SectionsOf(std::span<const uint8_t> file)
{
    static constexpr ProgramSections kElf{payload::kElfPackageSectionName, payload::kElfProfileSectionName,
                                          FindElfSection};
    static constexpr ProgramSections kPe{payload::kPePackageSectionName, payload::kPeProfileSectionName, FindPeSection};
    return IsPe(file) ? kPe : kElf;
}

}  // namespace

std::optional<SectionSpan> FindPeSection(std::span<const uint8_t> file, std::string_view name)
{
    const std::optional<PeSectionTable> table = ReadPeSectionTable(file);
    if (!table || name.empty() || name.size() > kPeSectionNameSize) return std::nullopt;
    for (uint64_t index = 0; index < table->count; ++index) {
        const auto at = static_cast<std::size_t>(table->offset + index * kPeSectionHeaderSize);
        if (!PeNameIs(file, at, name)) continue;
        const uint64_t memorySize = LittleEndian(file, at + 8, 4);
        const uint64_t fileSize = LittleEndian(file, at + 16, 4);
        const uint64_t offset = LittleEndian(file, at + 20, 4);
        const uint64_t characteristics = LittleEndian(file, at + 36, 4);
        // The file's bytes are rounded up to the file alignment; the size in memory is the
        // section's own, unless the linker left it 0.
        const uint64_t size = memorySize == 0 ? fileSize : std::min(memorySize, fileSize);
        if ((characteristics & kInitialisedData) == 0 || size == 0 || !Fits(offset, size, file.size())) continue;
        return SectionSpan{offset, size};
    }
    return std::nullopt;
}

std::optional<SectionSpan> FindElfSection(std::span<const uint8_t> file, std::string_view name)
{
    const std::optional<SectionTable> table = ReadSectionTable(file);
    if (!table) return std::nullopt;
    const SectionHeader names = ReadSectionHeader(file, *table, table->namesIndex);
    if (!Fits(names.offset, names.size, file.size())) return std::nullopt;
    for (uint64_t index = 0; index < table->count; ++index) {
        const SectionHeader section = ReadSectionHeader(file, *table, index);
        if (SectionName(file, names, section.name) != name) continue;
        if (section.type != kProgramBits || !Fits(section.offset, section.size, file.size())) continue;
        return SectionSpan{section.offset, section.size};
    }
    return std::nullopt;
}

std::vector<std::size_t> FindBlocksByLandmarks(std::span<const uint8_t> file)
{
    const std::size_t labelOffset = offsetof(payload::PackageBlock, constraintLabel);
    const auto& label = payload::kConstraintLabel;
    const std::boyer_moore_horspool_searcher searcher(label.begin(), label.end());
    std::vector<std::size_t> blocks;
    auto from = file.begin();
    while (true) {
        const auto found = std::search(from, file.end(), searcher);
        if (found == file.end()) break;
        const auto at = static_cast<std::size_t>(found - file.begin());
        if (at >= labelOffset && Fits(at - labelOffset, payload::kPackageSize, file.size()) &&
            LandmarksInPlace(file, at - labelOffset)) {
            blocks.push_back(at - labelOffset);
        }
        from = found + 1;
    }
    return blocks;
}

BlockLocation LocatePackageBlock(std::span<const uint8_t> file)
{
    const ProgramSections& sections = SectionsOf(file);
    const std::string sectionName(sections.package);
    if (const auto section = sections.find(file, sections.package)) {
        if (section->size < payload::kPackageSize) {
            throw PackError("section " + sectionName + " holds " + std::to_string(section->size) +
                            " bytes, fewer than the " + std::to_string(payload::kPackageSize) + " of a package");
        }
        // A section header that points elsewhere must not have the package read from, or
        // written over, whatever lies there; nor is the section table trusted to find it by
        // other means.
        const auto offset = static_cast<std::size_t>(section->offset);
        if (!LandmarksInPlace(file, offset)) {
            char hex[32];
            std::snprintf(hex, sizeof hex, "0x%zX", offset);
            throw PackError("section " + sectionName + " at file offset " + hex +
                            " does not hold an update package: its constraint label and entry keys are not in "
                            "place");
        }
        return BlockLocation{offset, FoundBy::Section, sections.package};
    }
    const std::vector<std::size_t> blocks = FindBlocksByLandmarks(file);
    if (blocks.empty()) {
        throw PackError("no update package in this file: no " + sectionName +
                        " section and no constraint label with its entry keys in place");
    }
    if (blocks.size() > 1) {
        throw PackError("found " + std::to_string(blocks.size()) + " blocks that look like an update package and no " +
                        sectionName + " section to choose between them");
    }
    return BlockLocation{blocks.front(), FoundBy::Landmarks, {}};
}

std::size_t LocateProfileStore(std::span<const uint8_t> file)
{
    const ProgramSections& sections = SectionsOf(file);
    const std::string sectionName(sections.profiles);
    const auto section = sections.find(file, sections.profiles);
    if (!section) throw PackError("no flash profile store in this file: no " + sectionName + " section");
    if (section->size < payload::kProfileStoreSize) {
        throw PackError("section " + sectionName + " holds " + std::to_string(section->size) +
                        " bytes, fewer than the " + std::to_string(payload::kProfileStoreSize) +
                        " of a flash profile store");
    }
    return static_cast<std::size_t>(section->offset);
}
