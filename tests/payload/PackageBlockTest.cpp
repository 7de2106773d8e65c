// The delivered package as it lies in the program's own data, checked byte by byte at the
// absolute offsets of the block layout (numbers written out, not taken from the layout header).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"

namespace {

struct FieldCase {
    std::size_t offset;
    std::size_t width;
    std::string text;
};

void PrintTo(const FieldCase& field, std::ostream* out)
{
    *out << "offset " << field.offset << " width " << field.width << " \"" << field.text << '"';
}

// The field's text, then NUL bytes to the end of its width.
void ExpectField(const uint8_t* block, const FieldCase& field)
{
    ASSERT_LT(field.text.size(), field.width + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block + field.offset), field.text.size()), field.text);
    for (std::size_t i = field.text.size(); i < field.width; ++i) {
        EXPECT_EQ(block[field.offset + i], 0) << "padding byte " << i;
    }
}

class DeliveredField : public testing::TestWithParam<FieldCase> {};

TEST_P(DeliveredField, HoldsItsTextAtItsOffset) { ExpectField(payload::OwnPackageBlock(), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Texts, DeliveredField,
                         testing::Values(FieldCase{0, 21, "[Norvik Engineering]"}, FieldCase{21, 13, "v2.0.0"},
                                         FieldCase{34, 15, "+1-555-0100-42"},
                                         FieldCase{49, 64, "Flash Program for TALVORE DVDRW KRX-407T"},
                                         FieldCase{113, 12, "2003/12/23"}, FieldCase{125, 32, "N/A"},
                                         FieldCase{157, 65, "TALVORE DVDRW KRX-407T"},
                                         FieldCase{222, 16, "FW_CONSTRAINTS="}));

INSTANTIATE_TEST_SUITE_P(
    Entries, DeliveredField,
    testing::Values(FieldCase{1774, 13, "N2OMESSAGE=0"}, FieldCase{1787, 10, "CHKDISC=0"},
                    FieldCase{1797, 18, "BOOTCODE=0"}, FieldCase{1815, 9, "REBOOT=1"},
                    FieldCase{1824, 11, "AUTOMODE=0"}, FieldCase{1835, 10, "CLOSEAP=0"},
                    FieldCase{1845, 10, "WARNING=1"}, FieldCase{1855, 12, "NBWARNING=0"},
                    FieldCase{1867, 20, "HOW_MANY_BIN=1"}, FieldCase{1887, 22, "BIN_START1=0000000000"},
                    FieldCase{1909, 22, "BIN_START2=0000000000"}, FieldCase{1931, 22, "BIN_START3=0000000000"},
                    FieldCase{1953, 22, "BIN_START4=0000000000"}, FieldCase{1975, 21, "BIN_SIZE1=0001048576"},
                    FieldCase{1996, 21, "BIN_SIZE2=0000000000"}, FieldCase{2017, 21, "BIN_SIZE3=0000000000"},
                    FieldCase{2038, 21, "BIN_SIZE4=0000000000"}, FieldCase{2059, 16, "NEW_FW1=RN08"},
                    FieldCase{2075, 16, "NEW_FW2=N/A "}, FieldCase{2091, 16, "NEW_FW3=N/A "},
                    FieldCase{2107, 16, "NEW_FW4=N/A "}));

INSTANTIATE_TEST_SUITE_P(DefaultRows, DeliveredField,
                         testing::Values(FieldCase{238, 8, "RN01"}, FieldCase{246, 8, "RN08"},
                                         FieldCase{254, 12, "TALVORE "}, FieldCase{266, 20, "DVDRW KRX-407T  "},
                                         FieldCase{286, 8, "0N03"}, FieldCase{294, 8, "0N03"},
                                         FieldCase{302, 12, "TALVORE "}, FieldCase{314, 20, "DVDRW KRX-407T  "}));

// Every row but bank 1's first two in its unfilled form, "#FLSH<bank><row>" and three "#".
TEST(DeliveredBlock, HoldsPlaceholderRowsEverywhereElse)
{
    const uint8_t* block = payload::OwnPackageBlock();
    for (int bank = 1; bank <= 4; ++bank) {
        for (int row = 1; row <= 8; ++row) {
            if (bank == 1 && row <= 2) continue;
            SCOPED_TRACE("bank " + std::to_string(bank) + " row " + std::to_string(row));
            const std::size_t at = 238 + (bank - 1) * 384 + (row - 1) * 48;
            ExpectField(block, {at, 8, "#FLSH" + std::to_string(bank) + std::to_string(row)});
            ExpectField(block, {at + 8, 8, "#"});
            ExpectField(block, {at + 16, 12, "#"});
            ExpectField(block, {at + 28, 20, "#"});
        }
    }
}

TEST(DeliveredBlock, ImageAreaHoldsOnlyThePlaceholder)
{
    const uint8_t* area = payload::OwnPackageBlock() + 2123;
    EXPECT_EQ(std::memcmp(area, "BANK_START_FROM_HERE", 20), 0);
    const std::vector<uint8_t> zeros(1048576 - 20, 0);
    EXPECT_EQ(std::memcmp(area + 20, zeros.data(), zeros.size()), 0);
}

TEST(DeliveredBlock, BannerIsBracketedAndTwentyCharacters)
{
    const char* banner = reinterpret_cast<const char*>(payload::OwnPackageBlock());
    ASSERT_EQ(strnlen(banner, 21), 20u);
    EXPECT_EQ(banner[0], '[');
    EXPECT_EQ(banner[19], ']');
}

TEST(PackageLayout, EntriesAreTheKeysAtTheirOffsets)
{
    const uint8_t* block = payload::OwnPackageBlock();
    for (const auto& entry : payload::kConfigurationEntries) {
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(block + entry.offset), entry.key.size()), entry.key);
    }
    for (const auto& entry : payload::kRevisionEntries) {
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(block + entry.offset), entry.key.size()), entry.key);
    }
}

}  // namespace
