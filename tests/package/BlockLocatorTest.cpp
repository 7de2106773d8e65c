// Finding the package block: in the ELF section table of small files built here, by the
// landmarks when the table is missing or damaged, and in the real probe program.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "package/BlockLocator.h"
#include "package/PackError.h"
#include "package/ProgramFile.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileStore.h"

using testing::HasSubstr;

namespace {

using Bytes = std::vector<uint8_t>;

void PutLittleEndian(Bytes& bytes, std::size_t at, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// ELF header fields and section header fields used below.
constexpr std::size_t kShoff = 0x28, kShentsize = 0x3A, kShnum = 0x3C, kShstrndx = 0x3E;
constexpr std::size_t kName = 0, kType = 4, kOffset = 24, kSize = 32, kLink = 40;

// A 64-bit little-endian ELF file: header, a .text section, the package section holding the
// delivered block at kBlockOffset, the section name table, then the section table (4 entries).
struct ElfFile {
    static constexpr std::size_t kBlockOffset = 192;
    static constexpr char kNames[] = "\0.text\0.norvik_package\0.shstrtab";  // names at 1, 7, 23

    Bytes bytes;
    std::size_t namesOffset = 0;
    std::size_t tableOffset = 0;

    ElfFile()
    {
        bytes.assign(kBlockOffset, 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::memcpy(bytes.data(), ident, sizeof ident);
        const uint8_t* block = payload::OwnPackageBlock();
        bytes.insert(bytes.end(), block, block + payload::kPackageSize);
        namesOffset = bytes.size();
        bytes.insert(bytes.end(), kNames, kNames + sizeof kNames);
        tableOffset = (bytes.size() + 7) / 8 * 8;
        bytes.resize(tableOffset + 4 * 64, 0);
        PutLittleEndian(bytes, kShoff, tableOffset, 8);
        PutLittleEndian(bytes, kShentsize, 64, 2);
        PutLittleEndian(bytes, kShnum, 4, 2);
        PutLittleEndian(bytes, kShstrndx, 3, 2);
        Section(1, 1, 1, 64, 64);
        Section(2, 7, 1, kBlockOffset, payload::kPackageSize);
        Section(3, 23, 3, namesOffset, sizeof kNames);
    }

    void Section(int index, uint32_t name, uint32_t type, uint64_t offset, uint64_t size)
    {
        SectionField(index, kName, name, 4);
        SectionField(index, kType, type, 4);
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

TEST(BlockLocator, ReadsExtendedSectionCountAndNameIndex)
{
    ElfFile elf;
    PutLittleEndian(elf.bytes, kShnum, 0, 2);
    PutLittleEndian(elf.bytes, kShstrndx, 0xFFFF, 2);
    elf.SectionField(0, kSize, 4, 8);
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

TEST(BlockLocator, FindsNoProfileStoreWithoutItsSection)
{
    const ElfFile elf;
    try {
        LocateProfileStore(elf.bytes);
        FAIL() << "a file without the store's section was accepted";
    } catch (const PackError& error) {
        EXPECT_THAT(error.what(), HasSubstr("no .norvik_profiles section"));
    }
}

}  // namespace
