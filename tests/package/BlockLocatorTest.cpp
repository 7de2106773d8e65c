// Finding the package block: in the ELF and PE section tables of small files built here, by the
// landmarks when the table is missing or damaged, and in the real probe programs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "package/BlockLocator.h"
#include "package/PackError.h"
#include "package/ProgramFile.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileStore.h"

using testing::HasSubstr;

#ifndef PE_PACKAGE_PROBE
#define PE_PACKAGE_PROBE ""
#endif

namespace {

using Bytes = std::vector<uint8_t>;

void PutLittleEndian(Bytes& bytes, std::size_t at, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// ELF header fields, and program and section header fields, used below.
constexpr std::size_t kPhoff = 0x20, kPhentsize = 0x36, kPhnum = 0x38;
constexpr std::size_t kShoff = 0x28, kShentsize = 0x3A, kShnum = 0x3C, kShstrndx = 0x3E;
constexpr std::size_t kName = 0, kType = 4, kFlags = 8, kAddress = 16, kOffset = 24, kSize = 32, kLink = 40;
constexpr uint64_t kElfWritableData = 3;  // SHF_WRITE | SHF_ALLOC
constexpr uint64_t kElfCode = 6;          // SHF_ALLOC | SHF_EXECINSTR
constexpr uint64_t kLoadAddress = 0x400000;

// A 64-bit little-endian ELF program: header, two loaded segments (code: a .text section;
// data: the package section holding the delivered block at kBlockOffset, and the profile store
// section holding the synthetic store behind it), the section name table, then the section table
// (5 entries).
struct ElfFile {
    static constexpr std::size_t kProgramHeaders = 64;  // two entries of 56 bytes
    static constexpr std::size_t kTextOffset = 176, kTextSize = 16;
    static constexpr std::size_t kBlockOffset = 192;
    static constexpr std::size_t kStoreOffset = (kBlockOffset + payload::kPackageSize + 7) / 8 * 8;
    static constexpr char kNames[] = "\0.text\0.norvik_package\0.shstrtab\0.norvik_profiles";  // at 1, 7, 23, 33

    Bytes bytes;
    std::size_t namesOffset = 0;
    std::size_t tableOffset = 0;

    ElfFile()
    {
        bytes.assign(kStoreOffset + payload::kProfileStoreSize, 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::memcpy(bytes.data(), ident, sizeof ident);
        std::memcpy(bytes.data() + kBlockOffset, payload::OwnPackageBlock(), payload::kPackageSize);
        std::memcpy(bytes.data() + kStoreOffset, payload::OwnProfileStore(), payload::kProfileStoreSize);
        PutLittleEndian(bytes, kPhoff, kProgramHeaders, 8);
        PutLittleEndian(bytes, kPhentsize, 56, 2);
        PutLittleEndian(bytes, kPhnum, 2, 2);
        Segment(0, 5 /* read, execute */, kTextOffset, kTextSize);
        Segment(1, 6 /* read, write */, kBlockOffset, bytes.size() - kBlockOffset);
        namesOffset = bytes.size();
        bytes.insert(bytes.end(), kNames, kNames + sizeof kNames);
        tableOffset = (bytes.size() + 7) / 8 * 8;
        bytes.resize(tableOffset + 5 * 64, 0);
        PutLittleEndian(bytes, kShoff, tableOffset, 8);
        PutLittleEndian(bytes, kShentsize, 64, 2);
        PutLittleEndian(bytes, kShnum, 5, 2);
        PutLittleEndian(bytes, kShstrndx, 3, 2);
        Section(1, 1, 1, kTextOffset, kTextSize, kElfCode);
        Section(2, 7, 1, kBlockOffset, payload::kPackageSize, kElfWritableData);
        Section(3, 23, 3, namesOffset, sizeof kNames);
        Section(4, 33, 1, kStoreOffset, payload::kProfileStoreSize, kElfWritableData);
    }

    // A PT_LOAD entry that loads the bytes at kLoadAddress plus their file offset.
    void Segment(int index, uint32_t flags, uint64_t offset, uint64_t size)
    {
        const std::size_t at = kProgramHeaders + static_cast<std::size_t>(index) * 56;
        PutLittleEndian(bytes, at + 0, 1, 4);
        PutLittleEndian(bytes, at + 4, flags, 4);
        PutLittleEndian(bytes, at + 8, offset, 8);
        PutLittleEndian(bytes, at + 16, kLoadAddress + offset, 8);
        PutLittleEndian(bytes, at + 32, size, 8);
        PutLittleEndian(bytes, at + 40, size, 8);
    }

    void Section(int index, uint32_t name, uint32_t type, uint64_t offset, uint64_t size, uint64_t flags = 0)
    {
        SectionField(index, kName, name, 4);
        SectionField(index, kType, type, 4);
        SectionField(index, kFlags, flags, 8);
        SectionField(index, kAddress, flags != 0 ? kLoadAddress + offset : 0, 8);
        SectionField(index, kOffset, offset, 8);
        SectionField(index, kSize, size, 8);
    }

    void SectionField(int index, std::size_t field, uint64_t value, int width)
    {
        PutLittleEndian(bytes, tableOffset + static_cast<std::size_t>(index) * 64 + field, value, width);
    }
};

TEST(BlockLocator, FindsTheBlockInItsSection)
{
    const ElfFile elf;
    const BlockLocation location = LocatePackageBlock(elf.bytes);
    EXPECT_EQ(location.offset, ElfFile::kBlockOffset);
    EXPECT_EQ(location.foundBy, FoundBy::Section);
}

// A section that does not hold a package is refused, not read or written, and the landmarks are
// not asked in its place: a section table that lies about one section may lie about more.
struct WrongSection {
    std::string name;
    std::function<void(ElfFile&)> apply;
    std::string offset;
};

void PrintTo(const WrongSection& wrong, std::ostream* out) { *out << wrong.name; }

class SectionWithoutAPackage : public testing::TestWithParam<WrongSection> {};

TEST_P(SectionWithoutAPackage, IsRefused)
{
    ElfFile elf;
    GetParam().apply(elf);
    try {
        LocatePackageBlock(elf.bytes);
        FAIL() << "a section without a package was accepted";
    } catch (const PackError& error) {
        EXPECT_THAT(error.what(), HasSubstr("section .norvik_package at file offset " + GetParam().offset +
                                            " does not hold an update package: its constraint label and entry "
                                            "keys are not in place"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SectionWithoutAPackage,
    testing::Values(WrongSection{"AtTheFileStart", [](ElfFile& e) { e.SectionField(2, kOffset, 0, 8); }, "0x0"},
                    WrongSection{"OneByteLow",
                                 [](ElfFile& e) { e.SectionField(2, kOffset, ElfFile::kBlockOffset - 1, 8); }, "0xBF"},
                    WrongSection{"OneByteHigh",
                                 [](ElfFile& e) { e.SectionField(2, kOffset, ElfFile::kBlockOffset + 1, 8); }, "0xC1"},
                    WrongSection{"BlockWithoutLandmarks",
                                 [](ElfFile& e) { std::memset(e.bytes.data() + ElfFile::kBlockOffset, 0, 4096); },
                                 "0xC0"}),
    [](const auto& info) { return info.param.name; });

// The store's section is trusted only where the program reads its store: anything else would
// have norvik-pack write profiles over code, headers or firmware.
class MisplacedStoreSection : public testing::TestWithParam<WrongSection> {};

TEST_P(MisplacedStoreSection, IsRefused)
{
    ElfFile elf;
    EXPECT_EQ(LocateProfileStore(elf.bytes), ElfFile::kStoreOffset);
    GetParam().apply(elf);
    EXPECT_THAT([&] { LocateProfileStore(elf.bytes); },
                testing::ThrowsMessage<PackError>(HasSubstr(GetParam().offset)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MisplacedStoreSection,
    testing::Values(
        WrongSection{"AtTheCode", [](ElfFile& e) { e.SectionField(4, kOffset, ElfFile::kTextOffset, 8); },
                     "at file offset 0xB0 overlaps the program's code (file bytes 0xB0 to 0xBF"},
        WrongSection{"InTheImageArea", [](ElfFile& e) { e.SectionField(4, kOffset, ElfFile::kBlockOffset + 4096, 8); },
                     "overlaps section .norvik_package (file bytes 0xC0 to 0x10090A)"},
        WrongSection{"AtTheFileHeader", [](ElfFile& e) { e.SectionField(4, kOffset, 0, 8); },
                     "overlaps the ELF file header"},
        WrongSection{"NotLoaded", [](ElfFile& e) { e.SectionField(4, kFlags, 0, 8); },
                     "is not marked as data the program loads"},
        WrongSection{"OutsideTheSegments",
                     [](ElfFile& e) { e.Segment(1, 6, ElfFile::kBlockOffset, payload::kPackageSize); },
                     "does not lie inside a segment the program loads"},
        WrongSection{"LoadedElsewhere", [](ElfFile& e) { e.SectionField(4, kAddress, kLoadAddress + 64, 8); },
                     "is loaded at address 0x400040, but the program loads its file bytes at 0x500910"},
        WrongSection{"TooSmall", [](ElfFile& e) { e.SectionField(4, kSize, payload::kProfileStoreSize - 1, 8); },
                     "holds 17047 bytes, fewer than the 17048 of a flash profile store"},
        WrongSection{"RoomForMore", [](ElfFile& e) { e.SectionField(4, kSize, payload::kProfileStoreSize + 64, 8); },
                     "holds 17112 bytes, not the 17048 of a flash profile store"},
        WrongSection{"TwoOfThem", [](ElfFile& e) { e.SectionField(1, kName, 33, 4); },
                     "this file has 2 sections named .norvik_profiles"}),
    [](const auto& info) { return info.param.name; });

// A program cut inside its store has lost its section table; its package is still found by its
// landmarks, but the program could not be loaded from the file.
TEST(BlockLocator, RefusesAProgramCutShort)
{
    ElfFile elf;
    elf.bytes.resize(ElfFile::kStoreOffset + 100);
    EXPECT_THAT([&] { LocatePackageBlock(elf.bytes); },
                testing::ThrowsMessage<PackError>(
                    HasSubstr("this file is cut short or damaged: its loaded segment "
                              "at file offset 0xC0 holds 1067752 bytes, beyond the file's end at 0x100974")));
}

TEST(BlockLocator, ReadsExtendedSectionCountAndNameIndex)
{
    ElfFile elf;
    PutLittleEndian(elf.bytes, kShnum, 0, 2);
    PutLittleEndian(elf.bytes, kShstrndx, 0xFFFF, 2);
    elf.SectionField(0, kSize, 5, 8);
    elf.SectionField(0, kLink, 3, 4);
    const auto section = FindElfSection(elf.bytes, ".norvik_package");
    ASSERT_TRUE(section.has_value());
    EXPECT_EQ(section->offset, ElfFile::kBlockOffset);
    EXPECT_EQ(section->size, payload::kPackageSize);
}

TEST(BlockLocator, RefusesASectionTooSmallForAPackage)
{
    ElfFile elf;
    elf.SectionField(2, kSize, payload::kPackageSize - 1, 8);
    try {
        LocatePackageBlock(elf.bytes);
        FAIL() << "a short section was accepted";
    } catch (const PackError& error) {
        EXPECT_THAT(error.what(), HasSubstr("1050698 bytes"));
    }
}

struct Damage {
    std::string name;
    std::function<void(ElfFile&)> apply;
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DamagedSectionTable : public testing::TestWithParam<Damage> {};

// Whatever the section table says, nothing is read outside the file, and the landmarks still
// find the block.
TEST_P(DamagedSectionTable, FallsBackToTheLandmarks)
{
    ElfFile elf;
    GetParam().apply(elf);
    EXPECT_FALSE(FindElfSection(elf.bytes, ".norvik_package").has_value());
    const BlockLocation location = LocatePackageBlock(elf.bytes);
    EXPECT_EQ(location.offset, ElfFile::kBlockOffset);
    EXPECT_EQ(location.foundBy, FoundBy::Landmarks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedSectionTable,
    testing::Values(
        Damage{"NoSectionTable", [](ElfFile& e) { PutLittleEndian(e.bytes, kShoff, 0, 8); }},
        Damage{"TableBeyondTheFile", [](ElfFile& e) { PutLittleEndian(e.bytes, kShoff, e.bytes.size() - 100, 8); }},
        Damage{"TableOffsetWrapsAround", [](ElfFile& e) { PutLittleEndian(e.bytes, kShoff, ~uint64_t{0} - 10, 8); }},
        Damage{"EntriesTooSmall", [](ElfFile& e) { PutLittleEndian(e.bytes, kShentsize, 16, 2); }},
        Damage{"TooManyEntries", [](ElfFile& e) { PutLittleEndian(e.bytes, kShnum, 0xFFF0, 2); }},
        Damage{"HugeExtendedCount",
               [](ElfFile& e) {
                   PutLittleEndian(e.bytes, kShnum, 0, 2);
                   e.SectionField(0, kSize, ~uint64_t{0}, 8);
               }},
        Damage{"NameTableIndexOutside", [](ElfFile& e) { PutLittleEndian(e.bytes, kShstrndx, 9, 2); }},
        Damage{"NameTableBeyondTheFile", [](ElfFile& e) { e.SectionField(3, kOffset, e.bytes.size(), 8); }},
        Damage{"NameOffsetOutsideTheTable", [](ElfFile& e) { e.SectionField(2, kName, 5000, 4); }},
        Damage{"SectionBeyondTheFile", [](ElfFile& e) { e.SectionField(2, kOffset, e.bytes.size() - 10, 8); }},
        Damage{"SectionSizeWrapsAround", [](ElfFile& e) { e.SectionField(2, kSize, ~uint64_t{0}, 8); }},
        Damage{"SectionWithoutFileBytes", [](ElfFile& e) { e.SectionField(2, kType, 8, 4); }},
        Damage{"ThirtyTwoBitFile", [](ElfFile& e) { e.bytes[4] = 1; }},
        Damage{"BigEndianFile", [](ElfFile& e) { e.bytes[5] = 2; }}),
    [](const auto& info) { return info.param.name; });

// PE: where the DOS header's pointer points in the files built here, the fields of the headers
// behind it, and those of a section header.
constexpr std::size_t kPeHeader = 0x80;
constexpr std::size_t kPeHeaderPointer = 0x3C, kSectionCount = kPeHeader + 6, kOptionalSize = kPeHeader + 20,
                      kOptionalMagic = kPeHeader + 24;
constexpr std::size_t kMemorySize = 8, kFileSize = 16, kFileOffset = 20, kCharacteristics = 36;
constexpr uint32_t kCode = 0x60000020, kWritableData = 0xC0000040;

constexpr std::size_t RoundUp(std::size_t size) { return (size + 511) / 512 * 512; }

// A PE32 or PE32+ file laid out as mingw-w64's linker does: the DOS header, "PE\0\0", the file
// and optional headers, three section headers (.text, .nvpkg, .nvprof), then the delivered block
// and the synthetic store, each on a 512-byte boundary.
struct PeFile {
    static constexpr std::size_t kBlockOffset = 0x400;
    static constexpr std::size_t kStoreOffset = kBlockOffset + RoundUp(payload::kPackageSize);

    Bytes bytes;
    std::size_t tableOffset = 0;

    explicit PeFile(bool plus)
    {
        const std::size_t optionalSize = plus ? 240 : 224;
        tableOffset = kPeHeader + 24 + optionalSize;
        bytes.assign(kStoreOffset + RoundUp(payload::kProfileStoreSize), 0);
        std::memcpy(bytes.data(), "MZ", 2);
        PutLittleEndian(bytes, kPeHeaderPointer, kPeHeader, 4);
        std::memcpy(bytes.data() + kPeHeader, "PE\0\0", 4);
        PutLittleEndian(bytes, kPeHeader + 4, plus ? 0x8664 : 0x14C, 2);
        PutLittleEndian(bytes, kSectionCount, 3, 2);
        PutLittleEndian(bytes, kOptionalSize, optionalSize, 2);
        PutLittleEndian(bytes, kOptionalMagic, plus ? 0x20B : 0x10B, 2);
        std::memcpy(bytes.data() + kBlockOffset, payload::OwnPackageBlock(), payload::kPackageSize);
        std::memcpy(bytes.data() + kStoreOffset, payload::OwnProfileStore(), payload::kProfileStoreSize);
        Section(0, ".text", 0x200, 0x200, kCode);
        Section(1, ".nvpkg", kBlockOffset, payload::kPackageSize, kWritableData);
        Section(2, ".nvprof", kStoreOffset, payload::kProfileStoreSize, kWritableData);
    }

    void Section(int index, std::string_view name, uint32_t offset, uint32_t size, uint32_t characteristics)
    {
        std::memcpy(bytes.data() + tableOffset + static_cast<std::size_t>(index) * 40, name.data(), name.size());
        SectionField(index, kMemorySize, size);
        SectionField(index, kFileSize, RoundUp(size));
        SectionField(index, kFileOffset, offset);
        SectionField(index, kCharacteristics, characteristics);
    }

    void SectionField(int index, std::size_t field, uint64_t value)
    {
        PutLittleEndian(bytes, tableOffset + static_cast<std::size_t>(index) * 40 + field, value, 4);
    }
};

class PeFormat : public testing::TestWithParam<bool> {};

TEST_P(PeFormat, HoldsBothBlocksInTheirSections)
{
    const PeFile pe(GetParam());
    const BlockLocation location = LocatePackageBlock(pe.bytes);
    EXPECT_EQ(location.offset, PeFile::kBlockOffset);
    EXPECT_EQ(location.foundBy, FoundBy::Section);
    EXPECT_EQ(location.section, ".nvpkg");
    EXPECT_EQ(LocateProfileStore(pe.bytes), PeFile::kStoreOffset);
}

// In a Windows program too, the store's section is trusted only where the program reads it.
TEST_P(PeFormat, RefusesAMisplacedStoreSection)
{
    const std::pair<uint32_t, std::string> cases[] = {
        {0x200, "at file offset 0x200 overlaps the program's code"},
        {PeFile::kBlockOffset + 4096, "overlaps section .nvpkg (file bytes 0x400 to 0x100C4A)"},
        {0, "overlaps the PE headers"},
    };
    for (const auto& [offset, reason] : cases) {
        PeFile pe(GetParam());
        pe.SectionField(2, kFileOffset, offset);
        EXPECT_THAT([&] { LocateProfileStore(pe.bytes); }, testing::ThrowsMessage<PackError>(HasSubstr(reason)))
            << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PeFormat, testing::Bool(),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

struct PeDamage {
    std::string name;
    std::function<void(PeFile&)> apply;
    std::string refusal = "";  // empty: the landmarks find the block
};

void PrintTo(const PeDamage& damage, std::ostream* out) { *out << damage.name; }

class DamagedPeHeaders : public testing::TestWithParam<PeDamage> {};

// Whatever the headers say, nothing is read outside the file, and the landmarks still find the
// block, unless the headers that can be read say the program could not be loaded with it.
TEST_P(DamagedPeHeaders, GiveNoSection)
{
    PeFile pe(false);
    GetParam().apply(pe);
    EXPECT_FALSE(FindPeSection(pe.bytes, ".nvpkg").has_value());
    if (!GetParam().refusal.empty()) {
        EXPECT_THAT([&] { LocatePackageBlock(pe.bytes); },
                    testing::ThrowsMessage<PackError>(HasSubstr(GetParam().refusal)));
        return;
    }
    const BlockLocation location = LocatePackageBlock(pe.bytes);
    EXPECT_EQ(location.offset, PeFile::kBlockOffset);
    EXPECT_EQ(location.foundBy, FoundBy::Landmarks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedPeHeaders,
    testing::Values(
        PeDamage{"HeaderPointerPastTheEnd",
                 [](PeFile& p) { PutLittleEndian(p.bytes, kPeHeaderPointer, p.bytes.size() - 10, 4); }},
        PeDamage{"HeaderPointerHuge", [](PeFile& p) { PutLittleEndian(p.bytes, kPeHeaderPointer, 0xFFFFFFFF, 4); }},
        PeDamage{"NoSignature", [](PeFile& p) { p.bytes[kPeHeader + 1] = 'X'; }},
        PeDamage{"NotAnImage", [](PeFile& p) { PutLittleEndian(p.bytes, kOptionalMagic, 0x107, 2); }},
        PeDamage{"NoOptionalHeader", [](PeFile& p) { PutLittleEndian(p.bytes, kOptionalSize, 0, 2); }},
        PeDamage{"SectionCountHuge", [](PeFile& p) { PutLittleEndian(p.bytes, kSectionCount, 0xFFFF, 2); }},
        PeDamage{"SectionPastTheEnd", [](PeFile& p) { p.SectionField(1, kFileOffset, p.bytes.size() - 10); },
                 "its section .nvpkg at file offset 0x1051F6 holds 1051136 bytes, beyond the file's end at 0x105200"},
        PeDamage{"SectionOffsetHuge", [](PeFile& p) { p.SectionField(1, kFileOffset, 0xFFFFFFFF); },
                 "this file is cut short or damaged"},
        PeDamage{"SectionSizeHuge",
                 [](PeFile& p) {
                     p.SectionField(1, kMemorySize, 0xFFFFFFFF);
                     p.SectionField(1, kFileSize, 0xFFFFFFFF);
                 },
                 "this file is cut short or damaged"},
        // The loader maps no file bytes for the section: the program would not see the block.
        PeDamage{"NoBytesInTheFile", [](PeFile& p) { p.SectionField(1, kFileSize, 0); },
                 "found by its landmarks at file offset 0x400 does not lie inside a segment the program loads"},
        PeDamage{"UninitialisedData", [](PeFile& p) { p.SectionField(1, kCharacteristics, 0xC0000080); }},
        PeDamage{"LongerNameInTheHeader", [](PeFile& p) { p.bytes[p.tableOffset + 40 + 6] = '2'; }}),
    [](const auto& info) { return info.param.name; });

// A file cut anywhere in its headers or its block has no section, and no block to find.
TEST(BlockLocator, FindsNoPeSectionInACutFile)
{
    const PeFile pe(false);
    for (const std::size_t size : {std::size_t{2}, std::size_t{0x3F}, kPeHeader + 2, kOptionalMagic + 1,
                                   pe.tableOffset + 60, PeFile::kStoreOffset - 512}) {
        const Bytes cut(pe.bytes.begin(), pe.bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(FindPeSection(cut, ".nvpkg").has_value()) << size;
        try {
            LocatePackageBlock(cut);
            ADD_FAILURE() << "a block was found in " << size << " bytes";
        } catch (const PackError& error) {
            EXPECT_THAT(error.what(), HasSubstr("no .nvpkg section")) << size;
        }
    }
}

// Bytes that the section has in memory only are zeros the loader makes: not the file's to write.
TEST(BlockLocator, CountsOnlyTheBytesASectionHasInTheFile)
{
    PeFile pe(false);
    pe.SectionField(1, kFileSize, 512);
    const auto section = FindPeSection(pe.bytes, ".nvpkg");
    ASSERT_TRUE(section.has_value());
    EXPECT_EQ(section->size, 512u);
    EXPECT_THROW(LocatePackageBlock(pe.bytes), PackError);
}

Bytes FileWithBlocksAt(std::initializer_list<std::size_t> offsets, std::size_t size)
{
    Bytes bytes(size, 0xA5);
    for (std::size_t at : offsets) std::memcpy(bytes.data() + at, payload::OwnPackageBlock(), payload::kPackageSize);
    return bytes;
}

TEST(BlockLocator, FindsABlockByItsLandmarksAnywhere)
{
    const Bytes bytes = FileWithBlocksAt({1001}, 1001 + payload::kPackageSize);
    const BlockLocation location = LocatePackageBlock(bytes);
    EXPECT_EQ(location.offset, 1001u);
    EXPECT_EQ(location.foundBy, FoundBy::Landmarks);
}

TEST(BlockLocator, WantsEveryKeyInPlace)
{
    Bytes bytes = FileWithBlocksAt({500}, 600 + payload::kPackageSize);
    for (const auto& entry : payload::kConfigurationEntries) {
        Bytes damaged = bytes;
        damaged[500 + entry.offset] = 'x';
        EXPECT_TRUE(FindBlocksByLandmarks(damaged).empty()) << entry.key;
    }
    for (const auto& entry : payload::kRevisionEntries) {
        Bytes damaged = bytes;
        damaged[500 + entry.offset + entry.key.size() - 1] = ':';
        EXPECT_TRUE(FindBlocksByLandmarks(damaged).empty()) << entry.key;
    }
    EXPECT_EQ(FindBlocksByLandmarks(bytes).size(), 1u);
}

TEST(BlockLocator, IgnoresALabelWithoutRoomForItsBlock)
{
    // Cut the file one byte short of a whole block, and put a bare label near its start.
    Bytes bytes = FileWithBlocksAt({0}, payload::kPackageSize);
    bytes.pop_back();
    std::memcpy(bytes.data() + 3, "FW_CONSTRAINTS=", 15);
    EXPECT_TRUE(FindBlocksByLandmarks(bytes).empty());
}

TEST(BlockLocator, RefusesAFileWithoutABlock)
{
    const Bytes bytes(4096, 0x5A);
    EXPECT_THROW(LocatePackageBlock(bytes), PackError);
    EXPECT_THROW(LocatePackageBlock(Bytes{}), PackError);
}

TEST(BlockLocator, RefusesToGuessBetweenTwoBlocks)
{
    const Bytes bytes = FileWithBlocksAt({0, payload::kPackageSize + 16}, 2 * payload::kPackageSize + 16);
    try {
        LocatePackageBlock(bytes);
        FAIL() << "two blocks were accepted";
    } catch (const PackError& error) {
        EXPECT_THAT(error.what(), HasSubstr("found 2 blocks"));
    }
}

// The program built from source carries its block in its section, with the delivered bytes.
TEST(BlockLocator, FindsTheDeliveredBlockInTheBuiltProbe)
{
    const Bytes program = ReadWholeFile(PACKAGE_PROBE, std::size_t{1} << 30);
    const auto section = FindElfSection(program, ".norvik_package");
    ASSERT_TRUE(section.has_value());
    EXPECT_GE(section->size, payload::kPackageSize);
    const BlockLocation location = LocatePackageBlock(program);
    EXPECT_EQ(location.foundBy, FoundBy::Section);
    ASSERT_LE(location.offset + payload::kPackageSize, program.size());
    EXPECT_EQ(std::memcmp(program.data() + location.offset, payload::OwnPackageBlock(), payload::kPackageSize), 0);
    EXPECT_THAT(FindBlocksByLandmarks(program), testing::ElementsAre(location.offset));
}

// The store has its own section in the built program, holding the synthetic profiles.
TEST(BlockLocator, FindsTheDeliveredProfileStoreInTheBuiltProbe)
{
    const Bytes program = ReadWholeFile(PACKAGE_PROBE, std::size_t{1} << 30);
    const std::size_t at = LocateProfileStore(program);
    ASSERT_LE(at + payload::kProfileStoreSize, program.size());
    const auto synthetic = payload::SyntheticProfileStore();
    EXPECT_TRUE(std::equal(synthetic.begin(), synthetic.end(), program.begin() + static_cast<std::ptrdiff_t>(at)));
    EXPECT_EQ(std::memcmp(program.data() + at, payload::OwnProfileStore(), payload::kProfileStoreSize), 0);
}

// The probe built by mingw-w64 as a Windows program carries both blocks in their PE sections.
TEST(BlockLocator, FindsTheDeliveredBlocksInTheWindowsProbe)
{
    if (std::string_view(PE_PACKAGE_PROBE).empty()) GTEST_SKIP() << "no mingw-w64 compiler when configuring";
    const Bytes program = ReadWholeFile(PE_PACKAGE_PROBE, std::size_t{1} << 30);
    const BlockLocation location = LocatePackageBlock(program);
    EXPECT_EQ(location.foundBy, FoundBy::Section);
    EXPECT_EQ(location.section, ".nvpkg");
    ASSERT_LE(location.offset + payload::kPackageSize, program.size());
    EXPECT_EQ(std::memcmp(program.data() + location.offset, payload::OwnPackageBlock(), payload::kPackageSize), 0);
    const std::size_t store = LocateProfileStore(program);
    ASSERT_LE(store + payload::kProfileStoreSize, program.size());
    EXPECT_EQ(std::memcmp(program.data() + store, payload::OwnProfileStore(), payload::kProfileStoreSize), 0);
}

TEST(BlockLocator, FindsNoProfileStoreWithoutItsSection)
{
    ElfFile elf;
    elf.SectionField(4, kName, 1, 4);  // named .text
    try {
        LocateProfileStore(elf.bytes);
        FAIL() << "a file without the store's section was accepted";
    } catch (const PackError& error) {
        EXPECT_THAT(error.what(), HasSubstr("no .norvik_profiles section"));
    }
}

}  // namespace
