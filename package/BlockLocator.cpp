#include "package/BlockLocator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "package/PackError.h"
#include "payload/PackageFileLayout.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileLayout.h"

namespace {

constexpr std::size_t kElfHeaderSize = 64;
constexpr std::size_t kSectionHeaderSize = 64;
constexpr std::size_t kProgramHeaderSize = 56;
constexpr uint32_t kProgramBits = 1;                // SHT_PROGBITS
constexpr uint32_t kNoBits = 8;                     // SHT_NOBITS: no bytes in the file
constexpr uint64_t kExtendedIndex = 0xFFFF;         // SHN_XINDEX: the real index is elsewhere
constexpr uint64_t kExtendedSegmentCount = 0xFFFF;  // PN_XNUM: the real count is in section 0
constexpr uint32_t kLoadSegment = 1;                // PT_LOAD
constexpr uint32_t kExecutableSegment = 1;          // PF_X
constexpr uint64_t kAllocatedSection = 2;           // SHF_ALLOC
constexpr uint64_t kExecutableSection = 4;          // SHF_EXECINSTR

// A block's section may be longer than the block by the padding that aligns what follows it
// (mingw-w64 rounds a PE section up to 32 bytes), never by room for anything else.
constexpr uint64_t kMostSectionPadding = 63;

uint64_t LittleEndian(std::span<const uint8_t> bytes, std::size_t offset, int width)
{
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

bool Fits(uint64_t offset, uint64_t length, uint64_t total) { return offset <= total && length <= total - offset; }

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Bytes of the file; only ranges that lie inside it are ever made.
struct FileRange {
    uint64_t offset;
    uint64_t size;
};

bool Overlap(FileRange a, FileRange b)
{
    return a.size != 0 && b.size != 0 && a.offset < b.offset + b.size && b.offset < a.offset + a.size;
}

bool Holds(FileRange outer, FileRange inner)
{
    return inner.offset >= outer.offset && inner.offset + inner.size <= outer.offset + outer.size;
}

std::string Bytes(FileRange range)
{
    return "file bytes " + Hex(range.offset) + " to " + Hex(range.offset + range.size - 1);
}

struct NamedRange {
    std::string_view name;
    FileRange bytes;
};

// One section with bytes in the file, as either format's header gives it.
struct ProgramSection {
    std::string_view name;
    FileRange bytes;   // the bytes that count: a PE section's own size, not its file padding
    uint64_t address;  // where the loader puts its first byte
    bool holdsData;    // ELF: SHT_PROGBITS; PE: initialised data
    bool loaded;
    bool executable;
};

// Bytes of the file that the loader maps into memory.
struct LoadedSegment {
    FileRange bytes;
    uint64_t address;
    bool executable;
};

// What a program's headers say about its file: where the headers themselves lie, its sections
// and the segments the loader maps. `cut` says why the file cannot be loaded whole (a segment
// or section that runs past its end); empty when it can.
struct ProgramLayout {
    std::vector<NamedRange> headers;
    std::vector<ProgramSection> sections;
    std::vector<LoadedSegment> segments;
    std::string cut;
};

struct SectionTable {
    uint64_t offset;
    uint64_t entrySize;
    uint64_t count;
    uint64_t namesIndex;
};

struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint64_t flags;
    uint64_t address;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
    uint32_t info;
};

// Caller makes sure the entry lies inside the file.
SectionHeader ReadSectionHeader(std::span<const uint8_t> file, const SectionTable& table, uint64_t index)
{
    const std::size_t at = static_cast<std::size_t>(table.offset + index * table.entrySize);
    return SectionHeader{
        .name = static_cast<uint32_t>(LittleEndian(file, at + 0, 4)),
        .type = static_cast<uint32_t>(LittleEndian(file, at + 4, 4)),
        .flags = LittleEndian(file, at + 8, 8),
        .address = LittleEndian(file, at + 16, 8),
        .offset = LittleEndian(file, at + 24, 8),
        .size = LittleEndian(file, at + 32, 8),
        .link = static_cast<uint32_t>(LittleEndian(file, at + 40, 4)),
        .info = static_cast<uint32_t>(LittleEndian(file, at + 44, 4)),
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

// Every section with bytes inside the file, when the table and its name table are readable.
void ReadElfSections(std::span<const uint8_t> file, ProgramLayout& layout)
{
    const std::optional<SectionTable> table = ReadSectionTable(file);
    if (!table) return;
    layout.headers.push_back({"section header table", {table->offset, table->count * table->entrySize}});
    const SectionHeader names = ReadSectionHeader(file, *table, table->namesIndex);
    if (!Fits(names.offset, names.size, file.size())) return;
    for (uint64_t index = 0; index < table->count; ++index) {
        const SectionHeader section = ReadSectionHeader(file, *table, index);
        if (section.type == kNoBits || section.size == 0 || !Fits(section.offset, section.size, file.size())) continue;
        layout.sections.push_back(ProgramSection{
            .name = SectionName(file, names, section.name),
            .bytes = {section.offset, section.size},
            .address = section.address,
            .holdsData = section.type == kProgramBits,
            .loaded = (section.flags & kAllocatedSection) != 0,
            .executable = (section.flags & kExecutableSection) != 0,
        });
    }
}

// The segments the loader maps (PT_LOAD). A table or a segment that runs past the file's end
// makes the file one that cannot be loaded.
void ReadElfSegments(std::span<const uint8_t> file, ProgramLayout& layout)
{
    const uint64_t tableOffset = LittleEndian(file, 0x20, 8);
    const uint64_t entrySize = LittleEndian(file, 0x36, 2);
    uint64_t count = LittleEndian(file, 0x38, 2);
    if (count == kExtendedSegmentCount) {
        const std::optional<SectionTable> sections = ReadSectionTable(file);
        count = sections ? ReadSectionHeader(file, *sections, 0).info : 0;
    }
    if (count == 0) return;
    const FileRange table{tableOffset, count * entrySize};
    if (entrySize < kProgramHeaderSize || !Fits(table.offset, table.size, file.size())) {
        layout.cut = "its program header table (" + std::to_string(count) + " entries of " + std::to_string(entrySize) +
                     " bytes at file offset " + Hex(tableOffset) + ") is damaged or runs past the file's end at " +
                     Hex(file.size());
        return;
    }
    layout.headers.push_back({"program header table", table});
    for (uint64_t index = 0; index < count; ++index) {
        const auto at = static_cast<std::size_t>(table.offset + index * entrySize);
        if (LittleEndian(file, at, 4) != kLoadSegment) continue;
        const uint64_t offset = LittleEndian(file, at + 8, 8);
        const uint64_t size = LittleEndian(file, at + 32, 8);
        if (!Fits(offset, size, file.size())) {
            if (layout.cut.empty()) {
                layout.cut = "its loaded segment at file offset " + Hex(offset) + " holds " + std::to_string(size) +
                             " bytes, beyond the file's end at " + Hex(file.size());
            }
            continue;
        }
        layout.segments.push_back(LoadedSegment{
            .bytes = {offset, size},
            .address = LittleEndian(file, at + 16, 8),
            .executable = (LittleEndian(file, at + 4, 4) & kExecutableSegment) != 0,
        });
    }
}

std::optional<ProgramLayout> ReadElfLayout(std::span<const uint8_t> file)
{
    if (!IsElf64LittleEndian(file)) return std::nullopt;
    ProgramLayout layout;
    layout.headers.push_back({"ELF file header", {0, kElfHeaderSize}});
    ReadElfSegments(file, layout);
    ReadElfSections(file, layout);
    return layout;
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
constexpr uint64_t kSizeOfHeadersField = 60;  // in the optional header, PE32 and PE32+ alike
constexpr uint64_t kInitialisedData = 0x40;   // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr uint64_t kCode = 0x20;              // IMAGE_SCN_CNT_CODE
constexpr uint64_t kExecutable = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE

bool IsPe(std::span<const uint8_t> file) { return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z'; }

struct PeSectionTable {
    uint64_t offset;
    uint64_t count;
    uint64_t headersSize;  // SizeOfHeaders, 0 when the optional header is too short to give it
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
    const uint64_t headersSize = optionalSize >= kSizeOfHeadersField + 4
                                     ? LittleEndian(file, at + kPeFileHeaderSize + kSizeOfHeadersField, 4)
                                     : 0;
    return PeSectionTable{table, count, headersSize};
}

// The header's name field holds the name NUL-padded, or all 8 bytes of it without a NUL.
std::string_view PeName(std::span<const uint8_t> file, std::size_t at)
{
    const char* field = reinterpret_cast<const char*>(file.data() + at);
    return std::string_view(field, strnlen(field, kPeSectionNameSize));
}

// Every section with bytes in the file is mapped as it stands, so each is a segment too.
void ReadPeSections(std::span<const uint8_t> file, const PeSectionTable& table, ProgramLayout& layout)
{
    for (uint64_t index = 0; index < table.count; ++index) {
        const auto at = static_cast<std::size_t>(table.offset + index * kPeSectionHeaderSize);
        const std::string_view name = PeName(file, at);
        const uint64_t memorySize = LittleEndian(file, at + 8, 4);
        const uint64_t address = LittleEndian(file, at + 12, 4);
        const uint64_t fileSize = LittleEndian(file, at + 16, 4);
        const uint64_t offset = LittleEndian(file, at + 20, 4);
        const uint64_t characteristics = LittleEndian(file, at + 36, 4);
        if (fileSize == 0) continue;
        if (!Fits(offset, fileSize, file.size())) {
            if (layout.cut.empty()) {
                layout.cut = "its section " + std::string(name) + " at file offset " + Hex(offset) + " holds " +
                             std::to_string(fileSize) + " bytes, beyond the file's end at " + Hex(file.size());
            }
            continue;
        }
        // The file's bytes are rounded up to the file alignment; the size in memory is the
        // section's own, unless the linker left it 0.
        const uint64_t size = memorySize == 0 ? fileSize : std::min(memorySize, fileSize);
        const bool executable = (characteristics & (kCode | kExecutable)) != 0;
        layout.sections.push_back(ProgramSection{
            .name = name,
            .bytes = {offset, size},
            .address = address,
            .holdsData = (characteristics & kInitialisedData) != 0,
            .loaded = true,
            .executable = executable,
        });
        layout.segments.push_back(LoadedSegment{{offset, fileSize}, address, executable});
    }
}

std::optional<ProgramLayout> ReadPeLayout(std::span<const uint8_t> file)
{
    const std::optional<PeSectionTable> table = ReadPeSectionTable(file);
    if (!table) return std::nullopt;
    ProgramLayout layout;
    const uint64_t tableEnd = table->offset + table->count * kPeSectionHeaderSize;
    layout.headers.push_back(
        {"PE headers", {0, std::min<uint64_t>(std::max(tableEnd, table->headersSize), file.size())}});
    ReadPeSections(file, *table, layout);
    return layout;
}

// The first section of that name that holds data; null when none does.
const ProgramSection* FirstSectionNamed(const ProgramLayout& layout, std::string_view name)
{
    for (const ProgramSection& section : layout.sections) {
        if (section.holdsData && section.name == name) return &section;
    }
    return nullptr;
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

// Where a program of one format keeps its blocks, and how its headers are read.
struct ProgramSections {
    std::string_view package;
    std::string_view profiles;
    std::string_view digests;
    std::optional<ProgramLayout> (*readLayout)(std::span<const uint8_t> file);
};

const ProgramSections& SectionsOf(std::span<const uint8_t> file)
{
    static constexpr ProgramSections kElf{payload::kElfPackageSectionName, payload::kElfProfileSectionName,
                                          payload::kElfDigestSectionName, ReadElfLayout};
    static constexpr ProgramSections kPe{payload::kPePackageSectionName, payload::kPeProfileSectionName,
                                         payload::kPeDigestSectionName, ReadPeLayout};
    return IsPe(file) ? kPe : kElf;
}

constexpr std::string_view kUnalteredCopy = "pack an unaltered copy of the built program";

// The one section of that name; null when there is none. Two of them leave the program's choice
// unknown.
const ProgramSection* SoleSectionNamed(const ProgramLayout& layout, std::string_view name)
{
    const auto count = std::count_if(layout.sections.begin(), layout.sections.end(),
                                     [name](const ProgramSection& s) { return s.holdsData && s.name == name; });
    if (count > 1) {
        throw PackError("this file has " + std::to_string(count) + " sections named " + std::string(name) +
                        ", and the program reads only one of them; " + std::string(kUnalteredCopy));
    }
    return FirstSectionNamed(layout, name);
}

void RequireWholeFile(const ProgramLayout& layout)
{
    if (layout.cut.empty()) return;
    throw PackError("this file is cut short or damaged: " + layout.cut +
                    "; the program could not be loaded from it: pack a complete copy of the built program");
}

void RequireRightSize(const ProgramSection& section, uint64_t blockSize, std::string_view block)
{
    if (section.bytes.size >= blockSize && section.bytes.size - blockSize <= kMostSectionPadding) return;
    throw PackError("section " + std::string(section.name) + " holds " + std::to_string(section.bytes.size) +
                    " bytes, " + (section.bytes.size < blockSize ? "fewer than" : "not") + " the " +
                    std::to_string(blockSize) + " of " + std::string(block) + "; " + std::string(kUnalteredCopy));
}

// Why the block's bytes are not where the program loads its data; empty when they are: clear of
// the headers, inside one segment that is not code, and, for a block found by its section, clear
// of every other section and loaded at the address the section gives.
std::string PlacementFault(const ProgramLayout& layout, FileRange block, const ProgramSection* own)
{
    for (const NamedRange& header : layout.headers) {
        if (Overlap(block, header.bytes))
            return "overlaps the " + std::string(header.name) + " (" + Bytes(header.bytes) + ")";
    }
    for (const LoadedSegment& segment : layout.segments) {
        if (segment.executable && Overlap(block, segment.bytes))
            return "overlaps the program's code (" + Bytes(segment.bytes) + " are loaded to be run)";
    }
    if (own != nullptr && (!own->loaded || own->executable)) return "is not marked as data the program loads";
    const auto segment = std::find_if(layout.segments.begin(), layout.segments.end(),
                                      [block](const LoadedSegment& s) { return Holds(s.bytes, block); });
    if (segment == layout.segments.end()) return "does not lie inside a segment the program loads";
    if (own == nullptr) return "";
    for (const ProgramSection& other : layout.sections) {
        if (&other != own && Overlap(block, other.bytes))
            return "overlaps section " + std::string(other.name) + " (" + Bytes(other.bytes) + ")";
    }
    const uint64_t loadedAt = segment->address + (block.offset - segment->bytes.offset);
    if (own->address != loadedAt) {
        return "is loaded at address " + Hex(own->address) + ", but the program loads its file bytes at " +
               Hex(loadedAt);
    }
    return "";
}

void RequireSectionPlacement(const ProgramLayout& layout, const ProgramSection& section)
{
    const std::string fault = PlacementFault(layout, section.bytes, &section);
    if (fault.empty()) return;
    throw PackError("section " + std::string(section.name) + " at file offset " + Hex(section.bytes.offset) + " " +
                    fault + ": the section table does not describe the program as it was built; " +
                    std::string(kUnalteredCopy));
}

std::string OffsetList(const std::vector<std::size_t>& offsets)
{
    std::string list;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == offsets.size() ? " and " : ", ") + Hex(offsets[i]);
    }
    return list;
}

// Blocks beside the one the section names: whichever of them the program reads, a change could
// go to another.
void RequireOnlyBlock(const std::vector<std::size_t>& blocks, std::size_t sectionBlock, std::string_view section)
{
    if (blocks.size() == 1 && blocks.front() == sectionBlock) return;
    std::vector<std::size_t> all = blocks;
    if (std::find(all.begin(), all.end(), sectionBlock) == all.end()) all.push_back(sectionBlock);
    std::sort(all.begin(), all.end());
    throw PackError("this file holds " + std::to_string(all.size()) + " update packages (at file offsets " +
                    OffsetList(all) + "; section " + std::string(section) + " names " + Hex(sectionBlock) +
                    "), and a change to one would not reach the other the program might read; " +
                    std::string(kUnalteredCopy));
}

BlockLocation LocateBySection(std::span<const uint8_t> file, const ProgramLayout& layout, const ProgramSection& section,
                              std::string_view name, const std::vector<std::size_t>& blocks)
{
    const std::string sectionName(name);
    RequireRightSize(section, payload::kPackageSize, "a package");
    // A section header that points elsewhere must not have the package read from, or written
    // over, whatever lies there; nor is the section table trusted to find it by other means.
    const auto offset = static_cast<std::size_t>(section.bytes.offset);
    if (!LandmarksInPlace(file, offset)) {
        throw PackError("section " + sectionName + " at file offset " + Hex(offset) +
                        " does not hold an update package: its constraint label and entry keys are not in place");
    }
    RequireOnlyBlock(blocks, offset, sectionName);
    RequireWholeFile(layout);
    RequireSectionPlacement(layout, section);
    return BlockLocation{offset, FoundBy::Section, name};
}

}  // namespace

std::optional<SectionSpan> FindPeSection(std::span<const uint8_t> file, std::string_view name)
{
    if (name.empty() || name.size() > kPeSectionNameSize) return std::nullopt;
    const std::optional<ProgramLayout> layout = ReadPeLayout(file);
    const ProgramSection* section = layout ? FirstSectionNamed(*layout, name) : nullptr;
    if (section == nullptr) return std::nullopt;
    return SectionSpan{section->bytes.offset, section->bytes.size};
}

std::optional<SectionSpan> FindElfSection(std::span<const uint8_t> file, std::string_view name)
{
    const std::optional<ProgramLayout> layout = ReadElfLayout(file);
    const ProgramSection* section = layout ? FirstSectionNamed(*layout, name) : nullptr;
    if (section == nullptr) return std::nullopt;
    return SectionSpan{section->bytes.offset, section->bytes.size};
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
    const std::optional<ProgramLayout> layout = sections.readLayout(file);
    const std::vector<std::size_t> blocks = FindBlocksByLandmarks(file);
    if (layout) {
        if (const ProgramSection* section = SoleSectionNamed(*layout, sections.package))
            return LocateBySection(file, *layout, *section, sections.package, blocks);
    }
    const std::string sectionName(sections.package);
    if (blocks.empty()) {
        throw PackError("no update package in this file: no " + sectionName +
                        " section and no constraint label with its entry keys in place");
    }
    if (blocks.size() > 1) {
        throw PackError("found " + std::to_string(blocks.size()) +
                        " blocks that look like an update package (at file offsets " + OffsetList(blocks) +
                        ") and no " + sectionName + " section to choose between them");
    }
    if (layout) {
        RequireWholeFile(*layout);
        const std::string fault = PlacementFault(*layout, {blocks.front(), payload::kPackageSize}, nullptr);
        if (!fault.empty()) {
            throw PackError("the update package found by its landmarks at file offset " + Hex(blocks.front()) + " " +
                            fault + ": the program would not read it there; " + std::string(kUnalteredCopy));
        }
    }
    return BlockLocation{blocks.front(), FoundBy::Landmarks, {}};
}

namespace {

// File offset of a block that only its section finds (it carries no landmarks), with the checks
// that LocatePackageBlock makes of the package's section, and clear of a package found by its
// landmarks.
std::size_t LocateSectionOnly(std::span<const uint8_t> file, std::string_view name, uint64_t size,
                              std::string_view what)
{
    const ProgramSections& sections = SectionsOf(file);
    const std::optional<ProgramLayout> layout = sections.readLayout(file);
    const ProgramSection* section = layout ? SoleSectionNamed(*layout, name) : nullptr;
    if (section == nullptr)
        throw PackError("no " + std::string(what) + " in this file: no " + std::string(name) + " section");
    RequireRightSize(*section, size, "a " + std::string(what));
    RequireWholeFile(*layout);
    RequireSectionPlacement(*layout, *section);
    // A package found by its landmarks has no section to be kept apart from.
    for (const std::size_t block : FindBlocksByLandmarks(file)) {
        if (Overlap(section->bytes, {block, payload::kPackageSize})) {
            throw PackError("section " + std::string(section->name) + " at file offset " + Hex(section->bytes.offset) +
                            " overlaps the update package at file offset " + Hex(block) + "; " +
                            std::string(kUnalteredCopy));
        }
    }
    return static_cast<std::size_t>(section->bytes.offset);
}

bool HasSectionNamed(std::span<const uint8_t> file, std::string_view name)
{
    const std::optional<ProgramLayout> layout = SectionsOf(file).readLayout(file);
    return layout && FirstSectionNamed(*layout, name) != nullptr;
}

}  // namespace

bool HasProfileStoreSection(std::span<const uint8_t> file) { return HasSectionNamed(file, SectionsOf(file).profiles); }

std::size_t LocateProfileStore(std::span<const uint8_t> file)
{
    return LocateSectionOnly(file, SectionsOf(file).profiles, payload::kProfileStoreSize, "flash profile store");
}

bool HasImageDigestSection(std::span<const uint8_t> file) { return HasSectionNamed(file, SectionsOf(file).digests); }

std::size_t LocateImageDigests(std::span<const uint8_t> file)
{
    return LocateSectionOnly(file, SectionsOf(file).digests, payload::kImageDigestsSize, "image digest record");
}

bool IsPackageFile(std::span<const uint8_t> file)
{
    return file.size() >= payload::kPackageFileMagicSize &&
           std::memcmp(file.data(), payload::kPackageFileMagic.data(), payload::kPackageFileMagicSize) == 0;
}
