// The package reader and the eligibility check on any block: every read the program makes of
// its package, the bounds check, and the check of four drives built from the input. Reads must
// stay inside the block (the block is a heap buffer of exactly its size, so the address
// sanitizer sees any read past it) and the results must keep the promises of their headers.

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>

#include "fuzz/Check.h"
#include "fuzz/PackageInput.h"
#include "package/PackageReader.h"
#include "payload/PackageLayout.h"
#include "update/Eligibility.h"

namespace {

using payload::kBankCount;
using payload::kPackageSize;
using payload::kRowsPerBank;

constexpr ConstraintField kFields[] = {ConstraintField::Minimum, ConstraintField::Maximum, ConstraintField::Vendor,
                                       ConstraintField::Product};
constexpr std::size_t kFieldChars[] = {payload::kMinimumChars, payload::kMaximumChars, payload::kVendorChars,
                                       payload::kProductChars};

// The block, kept between runs; only the bytes the last input wrote are cleared again.
uint8_t* Block()
{
    static uint8_t* block = new uint8_t[kPackageSize]();
    return block;
}

bool InsideBlock(std::string_view text, const uint8_t* block)
{
    const auto* first = reinterpret_cast<const uint8_t*>(text.data());
    return text.empty() || (first >= block && first + text.size() <= block + kPackageSize);
}

void ReadTexts(const PackageReader& package, const uint8_t* block)
{
    FUZZ_CHECK(package.Caption().size() <= sizeof(payload::PackageBlock::caption) &&
               InsideBlock(package.Caption(), block));
    FUZZ_CHECK(package.VersionText().size() <= sizeof(payload::PackageBlock::version));
    FUZZ_CHECK(package.ProductText().size() <= sizeof(payload::PackageBlock::product));
    FUZZ_CHECK(!package.CaptionIsPlaceholder() || package.Caption().starts_with(payload::kCaptionPlaceholder));
    for (int bank = -1; bank <= kBankCount; ++bank) {
        for (int row = -1; row <= kRowsPerBank; ++row) {
            const bool inTable = bank >= 0 && bank < kBankCount && row >= 0 && row < kRowsPerBank;
            for (std::size_t f = 0; f < std::size(kFields); ++f) {
                const std::string_view text = package.Constraint(bank, row, kFields[f]);
                FUZZ_CHECK(text.size() <= kFieldChars[f] && InsideBlock(text, block));
                FUZZ_CHECK(inTable || text.empty());
            }
            FUZZ_CHECK(inTable || !package.RowIsPlaceholder(bank, row));
        }
        const bool isBank = bank >= 0 && bank < kBankCount;
        FUZZ_CHECK(package.NewRevisionForComparison(bank).size() <= 4);
        FUZZ_CHECK(package.NewRevisionForDisplay(bank).size() <= 8 &&
                   InsideBlock(package.NewRevisionForDisplay(bank), block));
        FUZZ_CHECK(isBank || (package.BinStart(bank) == 0 && package.BinSize(bank) == 0 &&
                              package.NewRevisionForDisplay(bank).empty()));
    }
}

void ReadSettings(const PackageReader& package, const PackageSettings& settings)
{
    for (int key = 0; key <= static_cast<int>(SettingKey::HOW_MANY_BIN) + 1; ++key) {
        FUZZ_CHECK(package.Setting(static_cast<SettingKey>(key)) <= 9);
    }
    FUZZ_CHECK(settings.howManyBin == package.Setting(SettingKey::HOW_MANY_BIN));
    FUZZ_CHECK(settings.n2oMessage == package.Setting(SettingKey::N2OMESSAGE));
}

// A package that passes the bounds check has every bank in use inside the image area, made of
// whole blocks and apart from the others: the download reads exactly those bytes.
void CheckBanks(const PackageReader& package, const PackageSettings& settings)
{
    const PackageCheck check = package.CheckBounds();
    FUZZ_CHECK(check.bank >= -1 && check.bank < kBankCount && check.otherBank >= -1 && check.otherBank < kBankCount);
    FUZZ_CHECK(!PackageFaultText(check.fault).empty() || check.fault == PackageFault::None);
    if (check.fault != PackageFault::None) return;

    FUZZ_CHECK(settings.howManyBin <= kBankCount);
    for (int bank = 0; bank < settings.howManyBin; ++bank) {
        const int64_t start = package.BinStart(bank);
        const int64_t size = package.BinSize(bank);
        FUZZ_CHECK(start >= 0 && size >= 0 && start + size <= static_cast<int64_t>(payload::kImageAreaSize));
        FUZZ_CHECK(size % kImageBlockSize == 0);
        for (int other = 0; other < bank; ++other) {
            const int64_t otherStart = package.BinStart(other);
            const int64_t otherEnd = otherStart + package.BinSize(other);
            FUZZ_CHECK(size == 0 || otherStart == otherEnd || start >= otherEnd || otherStart >= start + size);
        }
        if (size > 0) {
            // The first and last byte the download would send; the sanitizer checks both.
            volatile uint8_t first = package.ImageArea()[start];
            volatile uint8_t last = package.ImageArea()[start + size - 1];
            (void)first;
            (void)last;
        }
    }
}

DriveRecord RecordOf(const fuzz::DriveBytes& bytes)
{
    DriveRecord drive{};
    std::memcpy(drive.vendor, bytes.vendor, sizeof bytes.vendor);
    std::memcpy(drive.product, bytes.product, sizeof bytes.product);
    std::memcpy(drive.revision, bytes.revision, sizeof bytes.revision);
    drive.present = bytes.present;
    drive.updatable = 0xEE;  // the check must overwrite the mark of every record it judges
    return drive;
}

void CheckDrives(const PackageReader& package, const PackageSettings& settings, const uint8_t* input)
{
    std::array<DriveRecord, kMaxDrives> drives{};
    for (int i = 0; i < fuzz::kInputDrives; ++i) {
        fuzz::DriveBytes bytes;
        std::memcpy(&bytes, input + i * sizeof bytes, sizeof bytes);
        drives[i] = RecordOf(bytes);
    }
    // Records past the count stand for drives that are not there: the check leaves them alone.
    for (int i = fuzz::kInputDrives; i < kMaxDrives; ++i) {
        drives[i] = drives[i % fuzz::kInputDrives];
        drives[i].present = 1;
    }
    const std::array<DriveRecord, kMaxDrives> before = drives;
    CheckEligibility(package, settings, std::span<DriveRecord, kMaxDrives>(drives), fuzz::kInputDrives);

    const int bankLimit = std::min<int>(settings.howManyBin, kBankCount);
    for (int i = 0; i < fuzz::kInputDrives; ++i) {
        const DriveRecord& drive = drives[i];
        FUZZ_CHECK(drive.updatable == 0 || drive.updatable == 1);
        if (drive.updatable == 0) continue;
        FUZZ_CHECK(drive.present == 1 && !package.ImageHoldsPlaceholder());
        FUZZ_CHECK(drive.bankNumber < bankLimit);
        FUZZ_CHECK(drive.alreadyCurrent <= 1 && (drive.alreadyCurrent == 0 || settings.n2oMessage == 1));
    }
    for (int i = fuzz::kInputDrives; i < kMaxDrives; ++i) {
        FUZZ_CHECK(std::memcmp(&drives[i], &before[i], sizeof(DriveRecord)) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < fuzz::kDrivePrefixSize) return -1;  // not kept in the corpus
    static std::size_t lastWritten = 0;
    uint8_t* block = Block();
    const std::size_t blockBytes = std::min(size - fuzz::kDrivePrefixSize, kPackageSize);
    std::memcpy(block, data + fuzz::kDrivePrefixSize, blockBytes);
    if (lastWritten > blockBytes) std::memset(block + blockBytes, 0, lastWritten - blockBytes);
    lastWritten = blockBytes;

    const PackageReader package(block);
    const PackageSettings settings = package.ReadSettings();
    ReadTexts(package, block);
    ReadSettings(package, settings);
    CheckBanks(package, settings);
    CheckDrives(package, settings, data);
    return 0;
}
