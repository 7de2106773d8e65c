#include "update/Eligibility.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"

namespace {

// A copy of the delivered package with firmware in its image area, edited per test.
class EligibilityTest : public ::testing::Test {
protected:
    EligibilityTest() : block(std::make_unique<payload::PackageBlock>())
    {
        std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
        std::memcpy(block->imageArea, "FIRMWARE", 8);
    }

    template <size_t N>
    static void Put(char (&field)[N], const char* text)
    {
        std::memset(field, 0, N);
        std::memcpy(field, text, std::min(std::strlen(text), N));
    }

    void SetRow(int bank, int row, const char* minimum, const char* maximum, const char* vendor, const char* product)
    {
        payload::ConstraintRow& r = block->constraints[bank][row];
        Put(r.minimum, minimum);
        Put(r.maximum, maximum);
        Put(r.vendor, vendor);
        Put(r.product, product);
    }

    // Adds a present drive with the given identification; returns its index.
    int AddDrive(const char* vendor, const char* product, const char* revision)
    {
        DriveRecord& d = drives[count];
        d.present = 1;
        Put(d.vendor, vendor);
        Put(d.product, product);
        Put(d.revision, revision);
        return count++;
    }

    int AddTalvore(const char* revision) { return AddDrive("TALVORE ", "DVDRW KRX-407T  ", revision); }

    void Check()
    {
        PackageReader reader(reinterpret_cast<const uint8_t*>(block.get()));
        CheckEligibility(reader, reader.ReadSettings(), drives, count);
    }

    std::unique_ptr<payload::PackageBlock> block;
    DriveRecord drives[kMaxDrives]{};
    int16_t count = 0;
};

TEST(CompareTexts, CharacterCodeOrderWithProperPrefixFirst)
{
    EXPECT_EQ(CompareTexts("RN05", "RN05"), 0);
    EXPECT_LT(CompareTexts("RN05", "RN08"), 0);
    EXPECT_GT(CompareTexts("RN10", "RN08"), 0);
    EXPECT_LT(CompareTexts("0N03", "RN01"), 0);  // digits before capitals
    EXPECT_LT(CompareTexts("RN", "RN01"), 0);    // a proper prefix sorts first
    EXPECT_GT(CompareTexts("RN01", "RN"), 0);
    EXPECT_LT(CompareTexts("", "A"), 0);
    EXPECT_LT(CompareTexts("TALVORE", "TALVORE "), 0);
    EXPECT_NE(CompareTexts("talvore ", "TALVORE "), 0);
    EXPECT_GT(CompareTexts("\xC0", "A"), 0);  // bytes above 7Fh order as unsigned
}

TEST_F(EligibilityTest, DeliveredPackageAcceptsItsRevisionRangeInclusively)
{
    const char* accepted[] = {"RN01", "RN05", "RN08", "0N03"};
    const char* refused[] = {"RN00", "RN09", "0N02", "0N04", "RN0", "", "SN01"};
    for (const char* revision : accepted) AddTalvore(revision);
    for (const char* revision : refused) AddTalvore(revision);
    for (DriveRecord& d : drives) {
        d.bankNumber = 7;
        d.alreadyCurrent = 7;
    }
    Check();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(drives[i].updatable, 1) << drives[i].revision;
        EXPECT_EQ(drives[i].bankNumber, 0);
        EXPECT_EQ(drives[i].alreadyCurrent, 0) << "N2OMESSAGE is 0 in the delivered package";
    }
    for (int i = 4; i < count; ++i) {
        EXPECT_EQ(drives[i].updatable, 0) << drives[i].revision;
        EXPECT_EQ(drives[i].bankNumber, 7) << "marks of a refused drive stay as they were";
        EXPECT_EQ(drives[i].alreadyCurrent, 7);
    }
}

TEST_F(EligibilityTest, VendorAndProductMustMatchExactly)
{
    AddDrive("talvore ", "DVDRW KRX-407T  ", "RN05");  // letter case
    AddDrive("TALVORE", "DVDRW KRX-407T  ", "RN05");   // no trailing space
    AddDrive("TALVORE ", "DVDRW KRX-407T", "RN05");    // product without its two spaces
    AddDrive("OTHER   ", "DVDRW KRX-407T  ", "RN05");
    Check();
    for (int i = 0; i < count; ++i) EXPECT_EQ(drives[i].updatable, 0) << i;
}

TEST_F(EligibilityTest, ImagePlaceholderMakesNoDriveUpdatable)
{
    std::memcpy(block->imageArea, "BANK_START_FROM_HERE", 20);
    AddTalvore("RN05");
    drives[0].updatable = 1;
    Check();
    EXPECT_EQ(drives[0].updatable, 0);
}

TEST_F(EligibilityTest, AbsentOrUnpresentRecordsAreNotUpdatable)
{
    AddTalvore("RN05");
    drives[0].present = 0;
    drives[0].updatable = 1;
    Check();
    EXPECT_EQ(drives[0].updatable, 0);
}

TEST_F(EligibilityTest, RecordsAtOrAboveTheDriveCountAreLeftAlone)
{
    AddTalvore("RN05");
    drives[1] = drives[0];
    drives[1].updatable = 9;
    Check();
    EXPECT_EQ(drives[0].updatable, 1);
    EXPECT_EQ(drives[1].updatable, 9);
}

// A bank whose first row is the placeholder takes what the first bank refuses, but only drives
// of the package's model: a drive of another make would take the firmware and be left unusable.
TEST_F(EligibilityTest, BankWithoutConstraintsTakesOnlyThePackagesModel)
{
    Put(block->howManyBin, "HOW_MANY_BIN=2");
    AddTalvore("RN05");                                // bank 1 takes it
    AddTalvore("RN09");                                // the model, beyond bank 1's rows
    AddDrive("TALVORE", "DVDRW KRX-407T", "RN09");     // the product text's words, unpadded
    AddDrive("OTHERCO ", "BLURAY XYZ      ", "RN05");  // another make
    AddDrive("TALVORE ", "DVD-ROM 16X     ", "RN05");  // the make, another product
    AddDrive("TALVORE ", "DVDRW KRX-407   ", "RN05");  // a prefix of the product
    Check();
    EXPECT_EQ(drives[0].bankNumber, 0) << "the first accepting bank wins";
    PackageReader reader(reinterpret_cast<const uint8_t*>(block.get()));
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(drives[i].updatable, 1) << i;
        EXPECT_EQ(drives[i].bankNumber, 1) << i;
        EXPECT_EQ(reader.NewRevisionForDisplay(drives[i].bankNumber), "N/A ");
        EXPECT_FALSE(RefusedAsAnotherModel(reader, drives[i])) << i;
    }
    for (int i = 3; i < count; ++i) {
        EXPECT_EQ(drives[i].updatable, 0) << i;
        EXPECT_TRUE(RefusedAsAnotherModel(reader, drives[i])) << i;
    }

    // With bank 1's first row cleared as well and the product text changed, only the rows that
    // remain (row 2: exactly 0N03) still name the model.
    Put(block->constraints[0][0].minimum, "#FLSH11");
    Put(block->constraints[0][0].maximum, "#");
    Put(block->constraints[0][0].vendor, "#");
    Put(block->constraints[0][0].product, "#");
    Put(block->product, "SOMETHING ELSE");
    count = 0;
    AddTalvore("RN05");
    AddDrive("ACME    ", "DVD-ROM 16X     ", "RN05");
    Check();
    EXPECT_EQ(drives[0].updatable, 1);
    EXPECT_EQ(drives[0].bankNumber, 0);
    EXPECT_EQ(drives[1].updatable, 0);
}

TEST_F(EligibilityTest, PlaceholderCountsOnlyInTheFirstRowAndOnlyWhenWhole)
{
    // Bank 1 keeps only placeholders beyond row 2; a placeholder in row 3 accepts nobody.
    AddDrive("OTHER   ", "SOME DRIVE      ", "RN05");
    Check();
    EXPECT_EQ(drives[0].updatable, 0);

    // A first row beginning "#FLS" whose vendor is real is judged by the four stages.
    SetRow(0, 0, "#FLSH11", "#", "TALVORE ", "#");
    SetRow(0, 1, "", "", "NOBODY  ", "");
    count = 0;
    AddTalvore("RN05");
    Check();
    EXPECT_EQ(drives[0].updatable, 0);
}

TEST_F(EligibilityTest, AllEmptyRowAcceptsEveryDriveInAnyPosition)
{
    SetRow(0, 0, "", "", "NOBODY  ", "");
    SetRow(0, 1, "", "", "NOBODY  ", "");
    SetRow(0, 5, "", "", "", "");
    AddDrive("ANYONE  ", "ANYTHING        ", "ZZZZ");
    Check();
    EXPECT_EQ(drives[0].updatable, 1);
}

TEST_F(EligibilityTest, ShortMinimumSortsBeforeLongerRevisions)
{
    SetRow(0, 0, "RN", "RN03", "", "");
    SetRow(0, 1, "", "", "NOBODY  ", "");
    AddTalvore("RN00");
    AddTalvore("RN04");
    Check();
    EXPECT_EQ(drives[0].updatable, 1);
    EXPECT_EQ(drives[1].updatable, 0);
}

TEST_F(EligibilityTest, FourCharacterFieldsWithoutNulAreCutToFour)
{
    // "RN0599" in the maximum field reads "RN05".
    SetRow(0, 0, "RN01", "RN0599", "TALVORE ", "DVDRW KRX-407T  ");
    AddTalvore("RN05");
    AddTalvore("RN06");
    Check();
    EXPECT_EQ(drives[0].updatable, 1);
    EXPECT_EQ(drives[1].updatable, 0);
}

TEST_F(EligibilityTest, AlreadyCurrentOnlyWhenN2OMessageIsOne)
{
    for (const char* entry : {"N2OMESSAGE=1", "N2OMESSAGE=2"}) {
        Put(block->n2oMessage, entry);
        count = 0;
        AddTalvore("RN07");
        AddTalvore("RN08");
        AddTalvore("0N03");
        Check();
        const bool one = entry[11] == '1';
        EXPECT_EQ(drives[0].alreadyCurrent, 0) << entry;
        EXPECT_EQ(drives[1].alreadyCurrent, one ? 1 : 0) << entry;
        EXPECT_EQ(drives[2].alreadyCurrent, 0) << entry;
    }
}

TEST_F(EligibilityTest, BankCountAboveTheTableNeverReadsBeyondIt)
{
    // Refused at start-up; the check still stops at the fourth bank instead of treating a bank
    // outside the table as one without constraints.
    Put(block->howManyBin, "HOW_MANY_BIN=9");
    for (int bank = 1; bank < payload::kBankCount; ++bank) SetRow(bank, 0, "", "", "NOBODY  ", "");
    AddDrive("OTHER   ", "SOME DRIVE      ", "RN05");
    Check();
    EXPECT_EQ(drives[0].updatable, 0);
}

}  // namespace
