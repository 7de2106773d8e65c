#include "update/Eligibility.h"

#include <algorithm>
#include <cstring>

#include "payload/PackageLayout.h"

namespace {

// A record's text field: at most `width` characters, stopping early at a NUL.
template <size_t N>
std::string_view FieldText(const char (&field)[N], size_t width)
{
    return std::string_view(field, strnlen(field, width < N ? width : N));
}

struct DriveIdentity {
    std::string_view vendor;
    std::string_view product;
    std::string_view revision;
};

DriveIdentity IdentityOf(const DriveRecord& drive)
{
    return {FieldText(drive.vendor, 8), FieldText(drive.product, 16), FieldText(drive.revision, 4)};
}

// The four stages, each tried only when the one before passed; an empty field passes.
bool RowAccepts(const PackageReader& package, int bank, int row, const DriveIdentity& drive)
{
    auto vendor = package.Constraint(bank, row, ConstraintField::Vendor);
    if (!vendor.empty() && CompareTexts(drive.vendor, vendor) != 0) return false;
    auto product = package.Constraint(bank, row, ConstraintField::Product);
    if (!product.empty() && CompareTexts(drive.product, product) != 0) return false;
    auto minimum = package.Constraint(bank, row, ConstraintField::Minimum);
    if (!minimum.empty() && CompareTexts(drive.revision, minimum) < 0) return false;
    auto maximum = package.Constraint(bank, row, ConstraintField::Maximum);
    return maximum.empty() || CompareTexts(drive.revision, maximum) <= 0;
}

// A first row in its unfilled form means the bank has no constraints; it still takes only
// drives of the package's model, since a drive of another make would take any standard firmware
// download and be left unusable.
bool BankAccepts(const PackageReader& package, int bank, const DriveIdentity& drive)
{
    if (package.RowIsPlaceholder(bank, 0) && package.NamesModel(drive.vendor, drive.product)) return true;
    for (int row = 0; row < payload::kRowsPerBank; ++row) {
        if (RowAccepts(package, bank, row, drive)) return true;
    }
    return false;
}

void JudgeDrive(const PackageReader& package, const PackageSettings& settings, DriveRecord& drive)
{
    drive.updatable = 0;
    if (drive.present != 1 || package.ImageHoldsPlaceholder()) return;

    const DriveIdentity identity = IdentityOf(drive);
    // A package with more banks than the block holds is refused at start-up; the bound here
    // keeps a bank outside the table from reading as an all-empty row that accepts every drive.
    for (int bank = 0; bank < settings.howManyBin && bank < payload::kBankCount; ++bank) {
        if (!BankAccepts(package, bank, identity)) continue;
        drive.updatable = 1;
        drive.bankNumber = static_cast<uint16_t>(bank);
        const bool atOrAbove = CompareTexts(identity.revision, package.NewRevisionForComparison(bank)) >= 0;
        drive.alreadyCurrent = (atOrAbove && settings.n2oMessage == 1) ? 1 : 0;
        return;  // the first bank that accepts the drive wins
    }
}

}  // namespace

int CompareTexts(std::string_view first, std::string_view second) { return first.compare(second); }

bool RefusedAsAnotherModel(const PackageReader& package, const DriveRecord& drive)
{
    const DriveIdentity identity = IdentityOf(drive);
    if (package.NamesModel(identity.vendor, identity.product)) return false;
    const int banks = std::min<int>(package.Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
    for (int bank = 0; bank < banks; ++bank) {
        if (package.RowIsPlaceholder(bank, 0)) return true;
    }
    return false;
}

void CheckEligibility(const PackageReader& package, const PackageSettings& settings,
                      std::span<DriveRecord, kMaxDrives> drives, int16_t driveCount)
{
    for (int16_t i = 0; i < driveCount && i < kMaxDrives; ++i) JudgeDrive(package, settings, drives[i]);
}
