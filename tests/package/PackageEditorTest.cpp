// Writing package fields: texts padded to their widths, what does not fit refused with the
// block left as it was, images and their entries, and the check of the whole package.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "package/PackError.h"
#include "package/PackageEditor.h"
#include "package/PackagePrinter.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"

using testing::HasSubstr;

namespace {

class PackageEditorTest : public testing::Test {
protected:
    PackageEditorTest() : bytes(payload::OwnPackageBlock(), payload::OwnPackageBlock() + payload::kPackageSize) {}

    PackageEditor Editor()
    {
        return PackageEditor(std::span<uint8_t, payload::kPackageSize>(bytes.data(), bytes.size()));
    }
    PackageReader Reader() const { return PackageReader(bytes.data()); }
    std::string Field(std::size_t offset, std::size_t width) const
    {
        return std::string(reinterpret_cast<const char*>(bytes.data() + offset), width);
    }

    // Runs the edit, expects a refusal naming `reason`, and the block unchanged.
    template <typename Edit>
    void ExpectRefused(Edit edit, const std::string& reason)
    {
        const std::vector<uint8_t> before = bytes;
        PackageEditor editor = Editor();
        try {
            edit(editor);
            ADD_FAILURE() << "accepted, expected a refusal with: " << reason;
        } catch (const PackError& error) {
            EXPECT_THAT(error.what(), HasSubstr(reason));
        }
        EXPECT_TRUE(bytes == before) << "a refused edit changed the block";
    }

    static std::vector<uint8_t> Image(std::size_t size, uint8_t seed)
    {
        std::vector<uint8_t> image(size);
        for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
        return image;
    }

    std::vector<uint8_t> bytes;
};

TEST_F(PackageEditorTest, TextsArePaddedWithNulsToTheirWidth)
{
    Editor().SetText(TextField::Caption, "A new and rather long caption for the window");
    Editor().SetText(TextField::Caption, "Short");
    EXPECT_EQ(Field(49, 64), std::string("Short") + std::string(59, '\0'));
    EXPECT_EQ(Reader().Caption(), "Short");
    Editor().SetText(TextField::Version, "v3.1.4");
    EXPECT_EQ(Reader().VersionText(), "v3.1.4");
    Editor().SetText(TextField::Product, "OTHER PRODUCT");
    EXPECT_EQ(Reader().ProductText(), "OTHER PRODUCT");
    Editor().SetText(TextField::ReleaseDate, "2024/01/31");
    EXPECT_EQ(Field(113, 12), std::string("2024/01/31\0\0", 12));
}

TEST_F(PackageEditorTest, TextFillsItsFieldUpToTheNul)
{
    const std::string longest(63, 'c');
    Editor().SetText(TextField::Caption, longest);
    EXPECT_EQ(Reader().Caption(), longest);
    EXPECT_EQ(bytes[49 + 63], 0);
    ExpectRefused([](PackageEditor& e) { e.SetText(TextField::Caption, std::string(64, 'c')); }, "at most 63");
    ExpectRefused([](PackageEditor& e) { e.SetText(TextField::Version, "v1.2.3-beta.45"); }, "at most 12");
    ExpectRefused([](PackageEditor& e) { e.SetText(TextField::Banner, std::string(21, 'b')); }, "at most 20");
}

TEST_F(PackageEditorTest, SettingsTakeOneDigit)
{
    Editor().SetSetting("AUTOMODE", "2");
    Editor().SetSetting("HOW_MANY_BIN", "3");
    EXPECT_EQ(Field(1824, 11), std::string("AUTOMODE=2\0", 11));
    EXPECT_EQ(Reader().Setting(SettingKey::AUTOMODE), 2);
    EXPECT_EQ(Reader().Setting(SettingKey::HOW_MANY_BIN), 3);
    ExpectRefused([](PackageEditor& e) { e.SetSetting("HOW_MANY_BIN", "10"); }, "one digit");
    ExpectRefused([](PackageEditor& e) { e.SetSetting("WARNING", "x"); }, "one digit");
    ExpectRefused([](PackageEditor& e) { e.SetSetting("WARNING", ""); }, "one digit");
    ExpectRefused([](PackageEditor& e) { e.SetSetting("WARNIN", "1"); }, "unknown setting");
    ExpectRefused([](PackageEditor& e) { e.SetSetting("BIN_SIZE1", "1"); }, "unknown setting");
}

TEST_F(PackageEditorTest, ConstraintRowsAreWrittenFieldByField)
{
    Editor().SetConstraint(1, 2, {"RN02", "RN07", "TALVORE ", "DVDRW KRX-407T  "});
    const PackageReader package = Reader();
    EXPECT_EQ(package.Constraint(1, 2, ConstraintField::Minimum), "RN02");
    EXPECT_EQ(package.Constraint(1, 2, ConstraintField::Maximum), "RN07");
    EXPECT_EQ(package.Constraint(1, 2, ConstraintField::Vendor), "TALVORE ");
    EXPECT_EQ(package.Constraint(1, 2, ConstraintField::Product), "DVDRW KRX-407T  ");
    // The placeholder's longer text is gone, not just overwritten at its start.
    EXPECT_EQ(Field(238 + 384 + 2 * 48, 8), std::string("RN02\0\0\0\0", 8));

    Editor().SetConstraint(0, 0, {"", "", "", ""});
    EXPECT_TRUE(Reader().Constraint(0, 0, ConstraintField::Vendor).empty());
    EXPECT_FALSE(Reader().RowIsPlaceholder(0, 0));
}

TEST_F(PackageEditorTest, ConstraintTextsLongerThanComparedAreRefused)
{
    ExpectRefused([](PackageEditor& e) { e.SetConstraint(0, 0, {"RN012", "RN08", "", ""}); }, "compares only 4");
    ExpectRefused(
        [](PackageEditor& e) {
            e.SetConstraint(0, 0, {"RN01", "RN08", "TALVORE X", ""});
        },
        "compares only 8");
    ExpectRefused(
        [](PackageEditor& e) {
            e.SetConstraint(0, 0, {"", "", "", "DVDRW KRX-407T   X"});
        },
        "compares only 16");
    ExpectRefused([](PackageEditor& e) { e.SetConstraint(4, 0, {"", "", "", ""}); }, "bank 5 does not exist");
    ExpectRefused([](PackageEditor& e) { e.SetConstraint(0, 8, {"", "", "", ""}); }, "bank 1 row 9 does not exist");
}

TEST_F(PackageEditorTest, ClearedRowIsThePlaceholderOfItsPlace)
{
    Editor().ClearConstraint(0, 1);
    EXPECT_TRUE(Reader().RowIsPlaceholder(0, 1));
    EXPECT_EQ(Field(238 + 48, 8), std::string("#FLSH12\0", 8));
    Editor().SetConstraint(3, 6, {"A", "B", "C", "D"});
    Editor().ClearConstraint(3, 6);
    EXPECT_EQ(Field(238 + 3 * 384 + 6 * 48, 48), std::string(payload::OwnPackageBlock() + 238 + 3 * 384 + 6 * 48,
                                                             payload::OwnPackageBlock() + 238 + 3 * 384 + 7 * 48));
}

TEST_F(PackageEditorTest, NewRevisionsFitTheirEntries)
{
    Editor().SetNewRevision(1, "RN09");
    EXPECT_EQ(Reader().NewRevisionForDisplay(1), "RN09");
    EXPECT_EQ(Field(2075, 16), std::string("NEW_FW2=RN09\0\0\0\0", 16));
    Editor().SetNewRevision(2, "RN1 ");
    EXPECT_EQ(Reader().NewRevisionForDisplay(2), "RN1 ");
    ExpectRefused([](PackageEditor& e) { e.SetNewRevision(0, "RN10 abc"); }, "at most 7");
    // A drive reports 4 characters, which the program compares after the update.
    ExpectRefused([](PackageEditor& e) { e.SetNewRevision(2, "RN10 ab"); }, "would count as updated to it");
    ExpectRefused([](PackageEditor& e) { e.SetNewRevision(2, "RN8"); }, "no updated drive could match it");
    ExpectRefused([](PackageEditor& e) { e.SetNewRevision(-1, "RN10"); }, "bank 0 does not exist");
}

TEST_F(PackageEditorTest, ImagesGoToTheirStartWithTheirEntries)
{
    const auto first = Image(524288, 1);
    const auto second = Image(16384, 9);
    Editor().PutImage(0, first, std::nullopt);
    Editor().PutImage(1, second, std::nullopt);
    const PackageReader package = Reader();
    EXPECT_EQ(Field(1887, 22), std::string("BIN_START1=0000000000\0", 22));
    EXPECT_EQ(Field(1975, 21), std::string("BIN_SIZE1=0000524288\0", 21));
    EXPECT_EQ(Field(1909, 22), std::string("BIN_START2=0000524288\0", 22));
    EXPECT_EQ(Field(1996, 21), std::string("BIN_SIZE2=0000016384\0", 21));
    EXPECT_EQ(std::memcmp(package.ImageArea(), first.data(), first.size()), 0);
    EXPECT_EQ(std::memcmp(package.ImageArea() + 524288, second.data(), second.size()), 0);
    EXPECT_FALSE(package.ImageHoldsPlaceholder());
}

TEST_F(PackageEditorTest, ImageAtAGivenStartClearsThePlaceholder)
{
    const auto image = Image(16384, 3);
    Editor().PutImage(2, image, 4096);
    EXPECT_EQ(Reader().BinStart(2), 4096);
    EXPECT_EQ(Reader().BinSize(2), 16384);
    EXPECT_FALSE(Reader().ImageHoldsPlaceholder());
    EXPECT_EQ(Field(2123, 20), std::string(20, '\0'));
    EXPECT_EQ(std::memcmp(Reader().ImageArea() + 4096, image.data(), image.size()), 0);
}

TEST_F(PackageEditorTest, ImagesOutsideTheAreaAreRefused)
{
    const auto image = Image(100000, 5);
    ExpectRefused([&](PackageEditor& e) { e.PutImage(0, image, 1000000); }, "does not fit in the image area");
    ExpectRefused([&](PackageEditor& e) { e.PutImage(0, Image(1048577, 1), 0); }, "does not fit");
    ExpectRefused([&](PackageEditor& e) { e.PutImage(0, Image(1, 1), 1048576); }, "does not fit");
    ExpectRefused([&](PackageEditor& e) { e.PutImage(0, image, -1); }, "does not fit");
    ExpectRefused([&](PackageEditor& e) { e.PutImage(4, image, 0); }, "bank 5 does not exist");
    ExpectRefused([&](PackageEditor& e) { e.PutImage(0, {}, 0); }, "empty");
    // Bank 2 behind the delivered bank 1, which fills the area already.
    ExpectRefused([&](PackageEditor& e) { e.PutImage(1, image, std::nullopt); }, "at start 1048576");
}

TEST_F(PackageEditorTest, ImagesOfPartBlocksAreRefused)
{
    // The download sends whole blocks of 16384 bytes; a shorter tail would never reach the drive.
    for (const std::size_t size : {std::size_t{1000}, std::size_t{16383}, std::size_t{16385}, std::size_t{1000000}}) {
        ExpectRefused([&](PackageEditor& e) { e.PutImage(0, Image(size, 2), 0); },
                      "bank 1: the image of " + std::to_string(size) +
                          " bytes is not a whole number of 16384-byte blocks");
    }
}

TEST_F(PackageEditorTest, ImageThatLooksLikeThePlaceholderIsRefused)
{
    std::vector<uint8_t> image(4096, 0);
    std::memcpy(image.data(), "BANK_START_FROM_HERX", 20);
    ExpectRefused([&](PackageEditor& e) { e.PutImage(0, image, 0); }, "image placeholder");
}

TEST_F(PackageEditorTest, DeliveredPackagePassesTheCheck)
{
    EXPECT_NO_THROW(Editor().CheckPackage());
    EXPECT_EQ(PackageRefusal(Reader()), "");
}

struct CheckCase {
    std::string name;
    std::vector<std::pair<std::string, std::string>> settings;
    std::string size2;
    std::string reason;
    std::string start2 = "0000524288";
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class PackageCheckTest : public PackageEditorTest, public testing::WithParamInterface<CheckCase> {};

TEST_P(PackageCheckTest, RefusesWhatTheProgramRefuses)
{
    const CheckCase& c = GetParam();
    for (const auto& [key, value] : c.settings) Editor().SetSetting(key, value);
    std::memcpy(bytes.data() + 1975, "BIN_SIZE1=0000524288", 20);
    std::memcpy(bytes.data() + 1909 + 11, c.start2.data(), 10);
    std::memcpy(bytes.data() + 1996 + 10, c.size2.data(), 10);
    ExpectRefused([](PackageEditor& e) { e.CheckPackage(); }, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackageCheckTest,
    testing::Values(
        CheckCase{"NoBank", {{"HOW_MANY_BIN", "0"}}, "0000000001", "No F/W in executable !"},
        CheckCase{"FiveBanks", {{"HOW_MANY_BIN", "5"}}, "0000000001", "room for 4 banks"},
        CheckCase{"EmptySecondBank", {{"HOW_MANY_BIN", "2"}}, "0000000000", "bank 2 is in use but has the size 0"},
        CheckCase{"SecondBankTooLong",
                  {{"HOW_MANY_BIN", "2"}},
                  "0000524289",
                  "bank 2 (start 524288, size 524289) ends at 1048577, beyond the image area"},
        CheckCase{"SecondBankPartBlock",
                  {{"HOW_MANY_BIN", "2"}},
                  "0000016383",
                  "bank 2 has the size 16383, not a whole number of 16384-byte blocks"},
        CheckCase{"BanksOverlap",
                  {{"HOW_MANY_BIN", "2"}},
                  "0000032768",
                  "bank 2 (bytes 507904 to 540671) overlaps bank 1 (bytes 0 to 524287)",
                  "0000507904"}),
    [](const auto& info) { return info.param.name; });

// Clearing the image placeholder leaves whatever else the area held: a bank in use must then be
// made of the images given in the same command.
struct ImagePut {
    int bank;
    std::size_t size;
    int64_t start;
};

struct CoverageCase {
    std::string name;
    std::vector<ImagePut> images;
    std::string reason;  // empty: accepted
};

void PrintTo(const CoverageCase& c, std::ostream* out) { *out << c.name; }

class ImageCoverageTest : public PackageEditorTest, public testing::WithParamInterface<CoverageCase> {};

TEST_P(ImageCoverageTest, BanksInUseHoldTheImagesOfTheCommand)
{
    const CoverageCase& c = GetParam();
    PackageEditor editor = Editor();
    for (const ImagePut& put : c.images) editor.PutImage(put.bank, Image(put.size, 4), put.start);
    if (c.reason.empty()) {
        EXPECT_NO_THROW(editor.CheckPackage());
        return;
    }
    try {
        editor.CheckPackage();
        ADD_FAILURE() << "accepted, expected a refusal with: " << c.reason;
    } catch (const PackError& error) {
        EXPECT_THAT(error.what(), HasSubstr(c.reason));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageCoverageTest,
    testing::Values(
        CoverageCase{"OnlyAnUnusedBanksImage",
                     {{1, 16384, 16384}},
                     "bank 1 is in use (bytes 0 to 1048575), but no image given here covers its bytes 0 to 16383"},
        CoverageCase{"GapBetweenImages",
                     {{2, 16384, 0}, {3, 1015808, 32768}},
                     "bank 1 is in use (bytes 0 to 1048575), but no image given here covers its bytes 16384 to 32767"},
        CoverageCase{"TailNotCovered", {{2, 1032192, 0}}, "no image given here covers its bytes 1032192 to 1048575"},
        CoverageCase{"BankOneImage", {{0, 524288, 0}}, ""},
        CoverageCase{"PiecesOfOtherImages", {{2, 524288, 0}, {3, 524288, 524288}}, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(PackageEditorTest, ImagesOfAnEarlierCommandCountAsFirmware)
{
    PackageEditor first = Editor();
    first.PutImage(0, Image(524288, 1), 0);
    first.CheckPackage();
    PackageEditor second = Editor();
    second.PutImage(2, Image(16384, 2), 524288);
    EXPECT_NO_THROW(second.CheckPackage());
}

TEST(PackagePrinter, QuotesAndEscapes)
{
    EXPECT_EQ(Quoted("N/A "), "\"N/A \"");
    EXPECT_EQ(Quoted(std::string_view("a\"b\\c\x01\xff", 7)), "\"a\\\"b\\\\c\\x01\\xFF\"");
}

TEST(PackagePrinter, ShowsTheDeliveredPackage)
{
    std::ostringstream out;
    PrintPackage(out, payload::OwnPackageBlock());
    const std::string text = out.str();
    EXPECT_THAT(text, HasSubstr("caption:      \"Flash Program for TALVORE DVDRW KRX-407T\"\n"));
    EXPECT_THAT(text, HasSubstr("  HOW_MANY_BIN  1\n"));
    EXPECT_THAT(text, HasSubstr("  REBOOT        1\n"));
    EXPECT_THAT(text, HasSubstr("  bank 1 row 1  \"RN01\" \"RN08\" \"TALVORE \" \"DVDRW KRX-407T  \"\n"));
    EXPECT_THAT(text, HasSubstr("  bank 4 row 8  placeholder\n"));
    EXPECT_THAT(text, HasSubstr("  bank 1  start 0  size 1048576  new revision \"RN08\"\n"));
    EXPECT_THAT(text, testing::Not(HasSubstr("  bank 2  start")));
    EXPECT_THAT(text, HasSubstr("image area: no firmware"));
    EXPECT_THAT(text, HasSubstr("package check: the program accepts this package"));
}

}  // namespace
