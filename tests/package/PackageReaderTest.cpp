// The package reader over blocks built in memory. Each block is a heap array of exactly the
// package size, so a read past its end is caught by the address sanitizer.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"

using payload::PackageBlock;

namespace {

class Block {
public:
    Block() : bytes(new uint8_t[payload::kPackageSize]()) {}

    static Block Delivered()
    {
        Block block;
        std::memcpy(block.data(), payload::OwnPackageBlock(), payload::kPackageSize);
        return block;
    }

    // The text, then NUL bytes to the end of the field.
    void Put(std::size_t offset, std::size_t width, std::string_view text)
    {
        ASSERT_LE(text.size(), width);
        std::memset(data() + offset, 0, width);
        std::memcpy(data() + offset, text.data(), text.size());
    }

    template <std::size_t N>
    void Put(char (PackageBlock::*field)[N], std::string_view text)
    {
        Put(reinterpret_cast<uint8_t*>(&(layout()->*field)) - data(), N, text);
    }

    uint8_t* data() { return bytes.get(); }
    PackageBlock* layout() { return reinterpret_cast<PackageBlock*>(bytes.get()); }
    PackageReader reader() { return PackageReader(bytes.get()); }

private:
    std::unique_ptr<uint8_t[]> bytes;
};

std::size_t RowOffset(int bank, int row) { return 238 + bank * 384 + row * 48; }

// Every field gets its own value through the layout; the reader must find each at its place.
TEST(PackageReader, ReadsEveryFieldWhereTheLayoutPutsIt)
{
    Block block;
    PackageBlock& layout = *block.layout();
    std::strcpy(layout.caption, "caption text");
    std::strcpy(layout.version, "v9.8.7");
    std::strcpy(layout.product, "product text");
    const char* settings[] = {"N2OMESSAGE=1", "CHKDISC=2", "BOOTCODE=3",  "REBOOT=4",      "AUTOMODE=5",
                              "CLOSEAP=6",    "WARNING=7", "NBWARNING=8", "HOW_MANY_BIN=9"};
    char* fields[] = {layout.n2oMessage, layout.chkDisc, layout.bootCode,  layout.reboot,    layout.autoMode,
                      layout.closeAp,    layout.warning, layout.nbWarning, layout.howManyBin};
    for (int i = 0; i < 9; ++i) std::strcpy(fields[i], settings[i]);
    for (int bank = 0; bank < 4; ++bank) {
        const std::string b = std::to_string(bank + 1);
        std::strcpy(layout.binStart[bank], ("BIN_START" + b + "=000000100" + b).c_str());
        std::strcpy(layout.binSize[bank], ("BIN_SIZE" + b + "=000000200" + b).c_str());
        std::strcpy(layout.newRevision[bank], ("NEW_FW" + b + "=R" + b + "XYZ").c_str());
        for (int row = 0; row < 8; ++row) {
            const std::string id = b + std::to_string(row + 1);
            std::strcpy(layout.constraints[bank][row].minimum, ("m" + id).c_str());
            std::strcpy(layout.constraints[bank][row].maximum, ("M" + id).c_str());
            std::strcpy(layout.constraints[bank][row].vendor, ("vendor" + id).c_str());
            std::strcpy(layout.constraints[bank][row].product, ("product" + id).c_str());
        }
    }
    const PackageReader package = block.reader();

    EXPECT_EQ(package.Caption(), "caption text");
    EXPECT_EQ(package.VersionText(), "v9.8.7");
    EXPECT_EQ(package.ProductText(), "product text");
    for (int i = 0; i < 9; ++i) EXPECT_EQ(package.Setting(static_cast<SettingKey>(i)), i + 1) << settings[i];
    for (int bank = 0; bank < 4; ++bank) {
        const std::string b = std::to_string(bank + 1);
        EXPECT_EQ(package.BinStart(bank), 1000 + bank + 1);
        EXPECT_EQ(package.BinSize(bank), 2000 + bank + 1);
        EXPECT_EQ(package.NewRevisionForDisplay(bank), "R" + b + "XYZ");
        for (int row = 0; row < 8; ++row) {
            const std::string id = b + std::to_string(row + 1);
            EXPECT_EQ(package.Constraint(bank, row, ConstraintField::Minimum), "m" + id);
            EXPECT_EQ(package.Constraint(bank, row, ConstraintField::Maximum), "M" + id);
            EXPECT_EQ(package.Constraint(bank, row, ConstraintField::Vendor), "vendor" + id);
            EXPECT_EQ(package.Constraint(bank, row, ConstraintField::Product), "product" + id);
        }
    }
    EXPECT_EQ(package.ImageArea(), block.data() + 2123);
}

TEST(PackageReader, ReadsValuesAtTheirAbsoluteOffsets)
{
    Block block;
    block.Put(49, 64, "absolute caption");
    block.Put(21, 13, "v1.2.3");
    block.Put(157, 65, "absolute product");
    block.Put(1867, 20, "HOW_MANY_BIN=3");
    block.Put(1909, 22, "BIN_START2=0000016384");
    block.Put(2038, 21, "BIN_SIZE4=0000032768");
    block.Put(2091, 16, "NEW_FW3=AB12");
    block.Put(RowOffset(3, 7) + 28, 20, "last product");
    const PackageReader package = block.reader();
    EXPECT_EQ(package.Caption(), "absolute caption");
    EXPECT_EQ(package.VersionText(), "v1.2.3");
    EXPECT_EQ(package.ProductText(), "absolute product");
    EXPECT_EQ(package.Setting(SettingKey::HOW_MANY_BIN), 3);
    EXPECT_EQ(package.BinStart(1), 16384);
    EXPECT_EQ(package.BinSize(3), 32768);
    EXPECT_EQ(package.NewRevisionForDisplay(2), "AB12");
    EXPECT_EQ(package.Constraint(3, 7, ConstraintField::Product), "last product");
}

TEST(PackageReader, ReadsTheDeliveredPackage)
{
    Block block = Block::Delivered();
    const PackageReader package = block.reader();
    const PackageSettings settings = package.ReadSettings();
    EXPECT_EQ(package.Caption(), "Flash Program for TALVORE DVDRW KRX-407T");
    EXPECT_EQ(package.VersionText(), "v2.0.0");
    EXPECT_EQ(package.ProductText(), "TALVORE DVDRW KRX-407T");
    EXPECT_EQ(settings.n2oMessage, 0);
    EXPECT_EQ(settings.chkDisc, 0);
    EXPECT_EQ(settings.bootCode, 0);
    EXPECT_EQ(settings.reboot, 1);
    EXPECT_EQ(settings.autoMode, 0);
    EXPECT_EQ(settings.closeAp, 0);
    EXPECT_EQ(settings.warning, 1);
    EXPECT_EQ(settings.nbWarning, 0);
    EXPECT_EQ(settings.howManyBin, 1);
    EXPECT_EQ(package.BinStart(0), 0);
    EXPECT_EQ(package.BinSize(0), 1048576);
    EXPECT_EQ(package.NewRevisionForComparison(0), "RN08");
    EXPECT_TRUE(package.ImageHoldsPlaceholder());
    EXPECT_FALSE(package.CaptionIsPlaceholder());
    EXPECT_EQ(package.CheckBounds().fault, PackageFault::None);
}

// Banks 2 to 4 carry "N/A" and one space; the space is part of both forms.
TEST(PackageReader, DeliveredBankTwoRevisionKeepsItsSpace)
{
    Block block = Block::Delivered();
    const PackageReader package = block.reader();
    for (int bank = 1; bank < 4; ++bank) {
        EXPECT_EQ(package.NewRevisionForDisplay(bank), "N/A ");
        EXPECT_EQ(package.NewRevisionForComparison(bank), "N/A ");
    }
}

TEST(PackageReader, ComparisonRevisionIsTheFirstFourCharacters)
{
    Block block;
    block.Put(2059, 16, "NEW_FW1=RN08beta");
    const PackageReader package = block.reader();
    EXPECT_EQ(package.NewRevisionForComparison(0), "RN08");
    // The entry fills its 16 bytes with no NUL: the display form stops at the entry's end.
    EXPECT_EQ(package.NewRevisionForDisplay(0), "RN08beta");
    block.Put(2075, 16, "NEW_FW2=R1");
    EXPECT_EQ(package.NewRevisionForComparison(1), "R1");
}

// ---- Settings: only the last character before the first NUL counts.

struct SettingCase {
    SettingKey key;
    std::size_t offset;
    std::size_t width;
    std::string text;
    uint16_t expected;
};

void PrintTo(const SettingCase& c, std::ostream* out) { *out << '"' << c.text << "\" -> " << c.expected; }

class SettingRule : public testing::TestWithParam<SettingCase> {};

TEST_P(SettingRule, ReadsTheLastCharacter)
{
    const SettingCase& c = GetParam();
    Block block = Block::Delivered();
    block.Put(c.offset, c.width, c.text);
    EXPECT_EQ(block.reader().Setting(c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingRule,
    testing::Values(SettingCase{SettingKey::HOW_MANY_BIN, 1867, 20, "HOW_MANY_BIN=10", 0},
                    SettingCase{SettingKey::HOW_MANY_BIN, 1867, 20, "HOW_MANY_BIN=4", 4},
                    SettingCase{SettingKey::HOW_MANY_BIN, 1867, 20, "HOW_MANY_BIN=0000009", 9},
                    SettingCase{SettingKey::AUTOMODE, 1824, 11, "AUTOMODE=12", 2},
                    SettingCase{SettingKey::AUTOMODE, 1824, 11, "", 0},
                    SettingCase{SettingKey::WARNING, 1845, 10, "WARNING=2", 2},
                    SettingCase{SettingKey::WARNING, 1845, 10, "WARNING=x", 0},
                    SettingCase{SettingKey::REBOOT, 1815, 9, "REBOOT=", 0},
                    SettingCase{SettingKey::CHKDISC, 1787, 10, "CHKDISC=7", 7},
                    SettingCase{SettingKey::BOOTCODE, 1797, 18, "BOOTCODE=1", 1},
                    SettingCase{SettingKey::N2OMESSAGE, 1774, 13, "N2OMESSAGE=3", 3},
                    SettingCase{SettingKey::CLOSEAP, 1835, 10, "CLOSEAP=5", 5},
                    SettingCase{SettingKey::NBWARNING, 1855, 12, "NBWARNING=1", 1},
                    // An entry that fills its width with no NUL ends at the width, not in the next entry.
                    SettingCase{SettingKey::HOW_MANY_BIN, 1867, 20, "HOW_MANY_BIN=0000003", 3},
                    SettingCase{SettingKey::REBOOT, 1815, 9, "REBOOT=1x", 0}));

TEST(PackageReader, SettingOutsideTheNineReadsZero)
{
    Block block = Block::Delivered();
    EXPECT_EQ(block.reader().Setting(static_cast<SettingKey>(9)), 0);
    EXPECT_EQ(block.reader().Setting(static_cast<SettingKey>(200)), 0);
}

// ---- Start and size values: decimal, never octal, overflow saturated.

struct NumberCase {
    std::string value;  // behind "BIN_START2="
    int32_t expected;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << '"' << c.value << "\" -> " << c.expected; }

class NumberRule : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberRule, ReadsAsDecimal)
{
    const NumberCase& c = GetParam();
    Block block = Block::Delivered();
    block.Put(1909, 22, "BIN_START2=" + c.value);
    block.Put(1996, 21, "BIN_SIZE2=" + c.value.substr(0, 11));
    EXPECT_EQ(block.reader().BinStart(1), c.expected);
    EXPECT_EQ(block.reader().BinSize(1), c.expected);
}

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

INSTANTIATE_TEST_SUITE_P(Cases, NumberRule,
                         testing::Values(NumberCase{"0000016384", 16384}, NumberCase{"0001048576", 1048576},
                                         NumberCase{"010", 10}, NumberCase{"0x10", 0}, NumberCase{"  42", 42},
                                         NumberCase{"\t7", 7}, NumberCase{"+17", 17}, NumberCase{"-0000000005", -5},
                                         NumberCase{"12ab", 12}, NumberCase{"", 0}, NumberCase{"abc", 0},
                                         NumberCase{"- 5", 0}, NumberCase{"2147483647", kMax},
                                         NumberCase{"2147483648", kMax}, NumberCase{"99999999999", kMax},
                                         NumberCase{"-2147483648", kMin}, NumberCase{"-9999999999", kMin}));

// ---- Constraint fields: cut to 4, 4, 8, 16 characters, stopping at a NUL.

struct ConstraintCase {
    ConstraintField field;
    std::size_t fieldOffset;
    std::size_t width;
    std::string stored;
    std::string expected;
};

void PrintTo(const ConstraintCase& c, std::ostream* out) { *out << '"' << c.stored << "\" -> \"" << c.expected << '"'; }

class ConstraintCut : public testing::TestWithParam<ConstraintCase> {};

TEST_P(ConstraintCut, ReadsAtMostTheCharactersUsed)
{
    const ConstraintCase& c = GetParam();
    Block block;
    // The neighbouring field starts with text, so a read that runs past the field shows.
    std::memset(block.data() + RowOffset(2, 5), 'Z', 48);
    block.Put(RowOffset(2, 5) + c.fieldOffset, c.width, c.stored);
    EXPECT_EQ(block.reader().Constraint(2, 5, c.field), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConstraintCut,
    testing::Values(ConstraintCase{ConstraintField::Minimum, 0, 8, "RN01", "RN01"},
                    ConstraintCase{ConstraintField::Minimum, 0, 8, "RN0123", "RN01"},
                    ConstraintCase{ConstraintField::Minimum, 0, 8, "ABCDEFGH", "ABCD"},
                    ConstraintCase{ConstraintField::Minimum, 0, 8, "RN", "RN"},
                    ConstraintCase{ConstraintField::Minimum, 0, 8, "", ""},
                    ConstraintCase{ConstraintField::Maximum, 8, 8, "#FLSH13", "#FLS"},
                    ConstraintCase{ConstraintField::Maximum, 8, 8, "", ""},
                    ConstraintCase{ConstraintField::Vendor, 16, 12, "TALVORE ", "TALVORE "},
                    ConstraintCase{ConstraintField::Vendor, 16, 12, "TALVORE EXTR", "TALVORE "},
                    ConstraintCase{ConstraintField::Vendor, 16, 12, "TAL", "TAL"},
                    ConstraintCase{ConstraintField::Product, 28, 20, "DVDRW KRX-407T  ", "DVDRW KRX-407T  "},
                    ConstraintCase{ConstraintField::Product, 28, 20, "DVDRW KRX-407T  XXXX", "DVDRW KRX-407T  "},
                    ConstraintCase{ConstraintField::Product, 28, 20, "", ""}));

TEST(PackageReader, ConstraintOutsideTheTableIsEmpty)
{
    Block block;
    std::memset(block.data(), 'X', payload::kPackageSize);
    const PackageReader package = block.reader();
    for (auto [bank, row] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 8}, {1000, 1000}}) {
        EXPECT_TRUE(package.Constraint(bank, row, ConstraintField::Product).empty()) << bank << "." << row;
    }
    EXPECT_TRUE(package.NewRevisionForDisplay(4).empty());
    EXPECT_TRUE(package.NewRevisionForComparison(-1).empty());
    EXPECT_EQ(package.BinStart(4), 0);
    EXPECT_EQ(package.BinSize(-1), 0);
    EXPECT_EQ(package.Constraint(3, 7, ConstraintField::Product), "XXXXXXXXXXXXXXXX");
}

// A block without a single NUL: every text ends at its field's width, inside the block.
TEST(PackageReader, BlockWithoutNulsIsReadInsideItsFields)
{
    Block block;
    std::memset(block.data(), '7', payload::kPackageSize);
    const PackageReader package = block.reader();
    EXPECT_EQ(package.Caption().size(), 64u);
    EXPECT_EQ(package.VersionText().size(), 13u);
    EXPECT_EQ(package.ProductText().size(), 65u);
    EXPECT_EQ(package.NewRevisionForDisplay(3).size(), 8u);
    EXPECT_EQ(package.Setting(SettingKey::HOW_MANY_BIN), 7);
    EXPECT_EQ(package.BinStart(3), kMax);
    EXPECT_EQ(package.BinSize(3), kMax);
    EXPECT_EQ(package.CheckBounds().fault, PackageFault::TooManyBanks);
}

// ---- Placeholders.

TEST(PackageReader, ImagePlaceholderComparesNineteenBytes)
{
    Block block;
    block.Put(2123, 20, "BANK_START_FROM_HERE");
    EXPECT_TRUE(block.reader().ImageHoldsPlaceholder());
    block.Put(2123, 20, "BANK_START_FROM_HERX");
    EXPECT_TRUE(block.reader().ImageHoldsPlaceholder());
    block.Put(2123, 20, "BANK_START_FROM_HXRE");
    EXPECT_FALSE(block.reader().ImageHoldsPlaceholder());
    block.Put(2123, 20, "");
    EXPECT_FALSE(block.reader().ImageHoldsPlaceholder());
}

TEST(PackageReader, CaptionPlaceholderComparesFourteenCharacters)
{
    Block block;
    block.Put(49, 64, "APP_TITLE_HERE");
    EXPECT_TRUE(block.reader().CaptionIsPlaceholder());
    block.Put(49, 64, "APP_TITLE_HERE for the new drive");
    EXPECT_TRUE(block.reader().CaptionIsPlaceholder());
    block.Put(49, 64, "APP_TITLE_HER");
    EXPECT_FALSE(block.reader().CaptionIsPlaceholder());
    block.Put(49, 64, "My APP_TITLE_HERE");
    EXPECT_FALSE(block.reader().CaptionIsPlaceholder());
}

TEST(PackageReader, RecognisesPlaceholderRows)
{
    Block block = Block::Delivered();
    const PackageReader package = block.reader();
    EXPECT_FALSE(package.RowIsPlaceholder(0, 0));
    EXPECT_FALSE(package.RowIsPlaceholder(0, 1));
    EXPECT_TRUE(package.RowIsPlaceholder(0, 2));
    EXPECT_TRUE(package.RowIsPlaceholder(1, 0));
    EXPECT_TRUE(package.RowIsPlaceholder(3, 7));
    block.Put(RowOffset(1, 0) + 16, 12, "TALVORE ");
    EXPECT_FALSE(package.RowIsPlaceholder(1, 0));
    block.Put(RowOffset(1, 1), 8, "#FL");
    EXPECT_FALSE(package.RowIsPlaceholder(1, 1));
    EXPECT_FALSE(package.RowIsPlaceholder(4, 0));
}

// ---- Bounds: what the program refuses at start-up.

struct BoundsCase {
    std::string name;
    std::string howManyBin;
    std::string start2;  // value of BIN_START2
    std::string size2;   // value of BIN_SIZE2
    PackageFault fault;
    int bank;
};

void PrintTo(const BoundsCase& c, std::ostream* out) { *out << c.name; }

class BoundsCheck : public testing::TestWithParam<BoundsCase> {};

TEST_P(BoundsCheck, FindsTheFirstFault)
{
    const BoundsCase& c = GetParam();
    Block block = Block::Delivered();
    block.Put(1867, 20, "HOW_MANY_BIN=" + c.howManyBin);
    block.Put(1975, 21, "BIN_SIZE1=0000524288");
    block.Put(1909, 22, "BIN_START2=" + c.start2);
    block.Put(1996, 21, "BIN_SIZE2=" + c.size2);
    const PackageCheck check = block.reader().CheckBounds();
    EXPECT_EQ(check.fault, c.fault);
    EXPECT_EQ(check.bank, c.bank);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoundsCheck,
    testing::Values(BoundsCase{"TwoBanksSideBySide", "2", "0000524288", "0000524288", PackageFault::None, -1},
                    BoundsCase{"LastBlockOfTheArea", "2", "0001032192", "0000016384", PackageFault::None, -1},
                    BoundsCase{"BankTwoNotInUse", "1", "0001048575", "0000000002", PackageFault::None, -1},
                    BoundsCase{"NoBanks", "0", "0000000000", "0000000000", PackageFault::None, -1},
                    BoundsCase{"FiveBanks", "5", "0000000000", "0000000001", PackageFault::TooManyBanks, -1},
                    BoundsCase{"NineBanks", "9", "0000000000", "0000000001", PackageFault::TooManyBanks, -1},
                    BoundsCase{"NegativeStart", "2", "-000000001", "0000000001", PackageFault::NegativeStart, 1},
                    BoundsCase{"NegativeSize", "2", "0000000000", "-000000001", PackageFault::NegativeSize, 1},
                    // An empty bank lies inside the area; the program runs with it (the packaging step refuses it).
                    BoundsCase{"EmptyBank", "2", "0000000000", "0000000000", PackageFault::None, -1},
                    BoundsCase{"OneBytePastTheEnd", "2", "0001048575", "0000000002", PackageFault::BeyondImageArea, 1},
                    BoundsCase{"StartPastTheEnd", "2", "0001048576", "0000000001", PackageFault::BeyondImageArea, 1},
                    BoundsCase{"SumOverflows32Bits", "2", "2147483647", "2147483647", PackageFault::BeyondImageArea,
                               1}),
    [](const auto& info) { return info.param.name; });

// ---- Bank layout: whole blocks, no shared bytes.

struct BankSpan {
    int32_t start;
    int32_t size;
};

struct LayoutCase {
    std::string name;
    char howManyBin;
    std::vector<BankSpan> banks;  // from bank 1 on; later banks keep the delivered start 0, size 0
    PackageFault fault;
    int bank;
    int otherBank;
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class LayoutCheck : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutCheck, FindsTheFirstFault)
{
    const LayoutCase& c = GetParam();
    Block block = Block::Delivered();
    block.Put(1867, 20, std::string("HOW_MANY_BIN=") + c.howManyBin);
    for (std::size_t bank = 0; bank < c.banks.size(); ++bank) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%010d", c.banks[bank].start);
        std::memcpy(block.data() + payload::BinStartValueOffset(static_cast<int>(bank)), digits, 10);
        std::snprintf(digits, sizeof digits, "%010d", c.banks[bank].size);
        std::memcpy(block.data() + payload::BinSizeValueOffset(static_cast<int>(bank)), digits, 10);
    }
    const PackageCheck check = block.reader().CheckBounds();
    EXPECT_EQ(check.fault, c.fault);
    EXPECT_EQ(check.bank, c.bank);
    EXPECT_EQ(check.otherBank, c.otherBank);
}

constexpr auto kPartial = PackageFault::PartialBlock;
constexpr auto kOverlap = PackageFault::OverlappingBanks;
constexpr auto kNone = PackageFault::None;

INSTANTIATE_TEST_SUITE_P(
    Cases, LayoutCheck,
    testing::Values(LayoutCase{"Size1000", '1', {{0, 1000}}, kPartial, 0, -1},
                    LayoutCase{"Size16383", '1', {{0, 16383}}, kPartial, 0, -1},
                    LayoutCase{"Size1000000", '1', {{0, 1000000}}, kPartial, 0, -1},
                    LayoutCase{"Size1048575", '1', {{0, 1048575}}, kPartial, 0, -1},
                    LayoutCase{"SecondBankPartial", '2', {{0, 524288}, {524288, 16385}}, kPartial, 1, -1},
                    LayoutCase{"PartialBankNotInUse", '1', {{0, 524288}, {524288, 1000}}, kNone, -1, -1},
                    LayoutCase{"SameBytes", '2', {{0, 1048576}, {0, 16384}}, kOverlap, 1, 0},
                    LayoutCase{"PartialOverlap", '2', {{0, 32768}, {16384, 32768}}, kOverlap, 1, 0},
                    LayoutCase{"LaterBankEndsInsideEarlier", '2', {{32768, 32768}, {0, 49152}}, kOverlap, 1, 0},
                    LayoutCase{"ThirdBankOverlapsFirst", '3', {{0, 16384}, {16384, 16384}, {0, 16384}}, kOverlap, 2, 0},
                    LayoutCase{"Adjacent", '2', {{0, 16384}, {16384, 16384}}, kNone, -1, -1},
                    LayoutCase{"AdjacentInReverse", '2', {{16384, 16384}, {0, 16384}}, kNone, -1, -1},
                    LayoutCase{"EmptyBankInsideAnother", '2', {{0, 1048576}, {16384, 0}}, kNone, -1, -1},
                    LayoutCase{"OverlapWithBankNotInUse", '1', {{0, 1048576}, {0, 16384}}, kNone, -1, -1},
                    // The delivered package with HOW_MANY_BIN raised to 2: bank 2 has start 0 and size 0.
                    LayoutCase{"DeliveredWithTwoBanks", '2', {}, kNone, -1, -1}),
    [](const auto& info) { return info.param.name; });

TEST(PackageReader, UnusedBanksAreNotChecked)
{
    Block block = Block::Delivered();
    block.Put(2038, 21, "BIN_SIZE4=9999999999");
    EXPECT_EQ(block.reader().CheckBounds().fault, PackageFault::None);
}

TEST(PackageReader, EveryFaultHasADescription)
{
    EXPECT_TRUE(PackageFaultText(PackageFault::None).empty());
    for (auto fault : {PackageFault::TooManyBanks, PackageFault::NegativeStart, PackageFault::NegativeSize,
                       PackageFault::BeyondImageArea, PackageFault::PartialBlock, PackageFault::OverlappingBanks}) {
        EXPECT_FALSE(PackageFaultText(fault).empty());
    }
}

}  // namespace
