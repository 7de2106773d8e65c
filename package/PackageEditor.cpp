#include "package/PackageEditor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "package/PackError.h"
#include "payload/ProfileStore.h"

using payload::EntryLocation;
using payload::PackageBlock;

namespace {

struct FieldSpan {
    std::size_t offset;
    std::size_t width;
};

FieldSpan TextFieldSpan(TextField field)
{
    switch (field) {
    case TextField::Banner: return {offsetof(PackageBlock, banner), sizeof(PackageBlock::banner)};
    case TextField::Version: return {offsetof(PackageBlock, version), sizeof(PackageBlock::version)};
    case TextField::Contact: return {offsetof(PackageBlock, contact), sizeof(PackageBlock::contact)};
    case TextField::Caption: return {offsetof(PackageBlock, caption), sizeof(PackageBlock::caption)};
    case TextField::ReleaseDate: return {offsetof(PackageBlock, releaseDate), sizeof(PackageBlock::releaseDate)};
    case TextField::Spare: return {offsetof(PackageBlock, spare), sizeof(PackageBlock::spare)};
    case TextField::Product: break;
    }
    return {offsetof(PackageBlock, product), sizeof(PackageBlock::product)};
}

std::string BankName(int bank) { return "bank " + std::to_string(bank + 1); }

// "00h", "FFh": a byte as the drive's documentation writes it.
std::string ByteName(uint8_t byte)
{
    char name[4];
    std::snprintf(name, sizeof name, "%02Xh", byte);
    return name;
}

// The characters of a drive's inquiry revision, which the program compares with a new revision.
constexpr std::size_t kComparedRevisionChars = 4;

std::string RowName(int bank, int row) { return BankName(bank) + " row " + std::to_string(row + 1); }

void RequireBank(int bank)
{
    if (bank < 0 || bank >= payload::kBankCount) {
        throw PackError(BankName(bank) + " does not exist: the package has banks 1 to 4");
    }
}

void RequireRow(int bank, int row)
{
    RequireBank(bank);
    if (row < 0 || row >= payload::kRowsPerBank) {
        throw PackError(RowName(bank, row) + " does not exist: a bank has rows 1 to 8");
    }
}

std::size_t RowOffset(int bank, int row)
{
    return offsetof(PackageBlock, constraints) +
           sizeof(payload::ConstraintRow) * static_cast<std::size_t>(bank * payload::kRowsPerBank + row);
}

// One field of a constraint row with the text to go into it.
struct ConstraintPart {
    std::string_view text;
    std::size_t offset;
    std::size_t width;
    std::size_t charsUsed;
    const char* name;
};

std::array<ConstraintPart, 4> ConstraintParts(const ConstraintTexts& texts)
{
    using payload::ConstraintRow;
    return {{
        {texts.minimum, offsetof(ConstraintRow, minimum), sizeof ConstraintRow::minimum, payload::kMinimumChars,
         "minimum"},
        {texts.maximum, offsetof(ConstraintRow, maximum), sizeof ConstraintRow::maximum, payload::kMaximumChars,
         "maximum"},
        {texts.vendor, offsetof(ConstraintRow, vendor), sizeof ConstraintRow::vendor, payload::kVendorChars, "vendor"},
        {texts.product, offsetof(ConstraintRow, product), sizeof ConstraintRow::product, payload::kProductChars,
         "product"},
    }};
}

// The key's setting entry, or null for a key that is not one of the nine settings.
const EntryLocation* FindSetting(std::string_view key)
{
    for (int i = 0; i < payload::kSettingCount; ++i) {
        const EntryLocation& entry = payload::kConfigurationEntries[i];
        if (entry.key.size() == key.size() + 1 && entry.key.starts_with(key)) return &entry;
    }
    return nullptr;
}

std::string SettingNames()
{
    std::string names;
    for (int i = 0; i < payload::kSettingCount; ++i) {
        const std::string_view key = payload::kConfigurationEntries[i].key;
        names += (i == 0 ? "" : ", ") + std::string(key.substr(0, key.size() - 1));
    }
    return names;
}

// "bytes 0 to 16383" for the size bytes from start on (size above 0).
std::string ByteRange(int64_t start, int64_t size)
{
    return "bytes " + std::to_string(start) + " to " + std::to_string(start + size - 1);
}

std::string BankBytes(const PackageReader& package, int bank)
{
    return ByteRange(package.BinStart(bank), package.BinSize(bank));
}

std::string BoundsReason(const PackageReader& package, const PackageCheck& check)
{
    const std::string bank = BankName(check.bank);
    const int64_t start = package.BinStart(check.bank);
    const int64_t size = package.BinSize(check.bank);
    switch (check.fault) {
    case PackageFault::None: return "";
    case PackageFault::TooManyBanks:
        return "HOW_MANY_BIN is " + std::to_string(package.Setting(SettingKey::HOW_MANY_BIN)) +
               ", but the package has room for 4 banks";
    case PackageFault::NegativeStart: return bank + " starts at " + std::to_string(start) + ", before the image area";
    case PackageFault::NegativeSize: return bank + " has the negative size " + std::to_string(size);
    case PackageFault::BeyondImageArea:
        return bank + " (start " + std::to_string(start) + ", size " + std::to_string(size) + ") ends at " +
               std::to_string(start + size) + ", beyond the image area of " + std::to_string(payload::kImageAreaSize) +
               " bytes";
    case PackageFault::PartialBlock:
        return bank + " has the size " + std::to_string(size) + ", not a whole number of " +
               std::to_string(kImageBlockSize) + "-byte blocks: the download would drop its last " +
               std::to_string(size % kImageBlockSize) + " bytes";
    case PackageFault::OverlappingBanks:
        return bank + " (" + BankBytes(package, check.bank) + ") overlaps " + BankName(check.otherBank) + " (" +
               BankBytes(package, check.otherBank) + ")";
    }
    return std::string(PackageFaultText(check.fault));
}

// Whether the image area would begin with the image placeholder once the image is put at `at`
// (after the placeholder is cleared, when it is); decided before anything is written.
bool AreaStartsWithPlaceholderAfter(const uint8_t* area, bool clearPlaceholder, std::span<const uint8_t> image,
                                    int64_t at)
{
    std::array<uint8_t, payload::kImagePlaceholderCompared> start{};
    if (!clearPlaceholder) std::copy_n(area, start.size(), start.begin());
    for (std::size_t i = 0; i < image.size() && static_cast<std::size_t>(at) + i < start.size(); ++i) {
        start[static_cast<std::size_t>(at) + i] = image[i];
    }
    return std::memcmp(start.data(), payload::kImagePlaceholder.data(), start.size()) == 0;
}

}  // namespace

std::string_view TextFieldName(TextField field)
{
    switch (field) {
    case TextField::Banner: return "banner";
    case TextField::Version: return "version";
    case TextField::Contact: return "contact";
    case TextField::Caption: return "caption";
    case TextField::ReleaseDate: return "release-date";
    case TextField::Spare: return "spare";
    case TextField::Product: break;
    }
    return "product";
}

std::string EmptyBankInUse(const PackageReader& package)
{
    const int banks = std::min<int>(package.Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
    for (int bank = 0; bank < banks; ++bank) {
        if (package.BinSize(bank) == 0) {
            return BankName(bank) + " is in use but has the size 0: there would be no firmware to program";
        }
    }
    return "";
}

std::string BankWithoutConstraints(const PackageReader& package)
{
    const int banks = std::min<int>(package.Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
    for (int bank = 0; bank < banks; ++bank) {
        if (package.RowIsPlaceholder(bank, 0)) {
            return BankName(bank) +
                   " is in use and its first constraint row is the placeholder: it would take every \"" +
                   std::string(package.ProductText()) + "\" drive whatever its revision (give its rows with " +
                   "--constraint, or --accept-every-drive-of-model to mean it)";
        }
    }
    return "";
}

std::string PackageRefusal(const PackageReader& package)
{
    if (package.Setting(SettingKey::HOW_MANY_BIN) == 0) {
        return "HOW_MANY_BIN reads 0: the program would stop with \"No F/W in executable !\"";
    }
    const PackageCheck check = package.CheckBounds();
    if (check.fault == PackageFault::None) return "";
    return BoundsReason(package, check) + ": the program would stop with \"" + kInvalidPackageMessage + "\"";
}

PackageEditor::PackageEditor(std::span<uint8_t, payload::kPackageSize> block) : packageBlock(block) {}

void PackageEditor::WriteField(std::size_t offset, std::size_t width, std::string_view text, std::string_view what)
{
    if (text.size() >= width) {
        throw PackError(std::string(what) + " \"" + std::string(text) + "\" is " + std::to_string(text.size()) +
                        " characters long; its field holds at most " + std::to_string(width - 1));
    }
    if (text.find('\0') != std::string_view::npos) throw PackError(std::string(what) + " holds a NUL character");
    std::fill_n(packageBlock.begin() + static_cast<std::ptrdiff_t>(offset), width, uint8_t{0});
    std::memcpy(packageBlock.data() + offset, text.data(), text.size());
}

void PackageEditor::WriteNumberEntry(const EntryLocation& entry, int64_t value)
{
    const std::string digits = std::to_string(value);
    const std::string padded = std::string(payload::kNumberDigits - digits.size(), '0') + digits;
    WriteField(entry.offset, entry.width, std::string(entry.key) + padded, entry.key);
}

void PackageEditor::SetText(TextField field, std::string_view text)
{
    const FieldSpan span = TextFieldSpan(field);
    WriteField(span.offset, span.width, text, TextFieldName(field));
}

void PackageEditor::SetSetting(std::string_view key, std::string_view value)
{
    const EntryLocation* entry = FindSetting(key);
    if (entry == nullptr) {
        throw PackError("unknown setting \"" + std::string(key) + "\"; the settings are " + SettingNames());
    }
    if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
        throw PackError("setting " + std::string(key) + " takes one digit, 0 to 9, not \"" + std::string(value) +
                        "\": the program reads only the last character");
    }
    WriteField(entry->offset, entry->width, std::string(entry->key) + std::string(value), key);
}

void PackageEditor::SetConstraint(int bank, int row, const ConstraintTexts& texts)
{
    RequireRow(bank, row);
    const std::array<ConstraintPart, 4> parts = ConstraintParts(texts);
    for (const ConstraintPart& part : parts) {
        if (part.text.size() > part.charsUsed) {
            throw PackError(RowName(bank, row) + ": " + part.name + " \"" + std::string(part.text) + "\" is " +
                            std::to_string(part.text.size()) + " characters long; the program compares only " +
                            std::to_string(part.charsUsed));
        }
    }
    for (const ConstraintPart& part : parts) {
        WriteField(RowOffset(bank, row) + part.offset, part.width, part.text, part.name);
    }
}

void PackageEditor::ClearConstraint(int bank, int row)
{
    RequireRow(bank, row);
    using payload::ConstraintRow;
    const std::string minimum = "#FLSH" + std::to_string(bank + 1) + std::to_string(row + 1);
    const std::size_t at = RowOffset(bank, row);
    WriteField(at + offsetof(ConstraintRow, minimum), sizeof(ConstraintRow::minimum), minimum, "minimum");
    WriteField(at + offsetof(ConstraintRow, maximum), sizeof(ConstraintRow::maximum), "#", "maximum");
    WriteField(at + offsetof(ConstraintRow, vendor), sizeof(ConstraintRow::vendor), "#", "vendor");
    WriteField(at + offsetof(ConstraintRow, product), sizeof(ConstraintRow::product), "#", "product");
}

void PackageEditor::SetNewRevision(int bank, std::string_view revision)
{
    RequireBank(bank);
    const EntryLocation& entry = payload::kRevisionEntries[bank];
    const std::size_t room = entry.width - entry.key.size();
    if (revision.size() >= room) {
        throw PackError(BankName(bank) + ": new revision \"" + std::string(revision) + "\" is " +
                        std::to_string(revision.size()) + " characters long; its entry holds at most " +
                        std::to_string(room - 1));
    }
    // After the update the program counts a drive as updated only when it reports this
    // revision's first 4 characters; a drive reports exactly 4.
    if (revision.size() != kComparedRevisionChars) {
        const std::string what = revision.empty() ? "is empty"
                                                  : "\"" + std::string(revision) + "\" has " +
                                                        std::to_string(revision.size()) + " characters";
        throw PackError(BankName(bank) + ": the new revision " + what + ", but a drive reports its revision in " +
                        std::to_string(kComparedRevisionChars) +
                        (revision.size() < kComparedRevisionChars
                             ? ": no updated drive could match it, and a successful flash would be reported failed"
                             : ", and the program compares only that many: a drive reporting \"" +
                                   std::string(revision.substr(0, kComparedRevisionChars)) +
                                   "\" would count as updated to it") +
                        "; give the 4 characters of the revision the updated drive reports (pad with spaces)");
    }
    WriteField(entry.offset, entry.width, std::string(entry.key) + std::string(revision), entry.key);
}

int64_t PackageEditor::DefaultStart(int bank) const
{
    if (bank == 0) return 0;
    const PackageReader package(packageBlock.data());
    return int64_t{package.BinStart(bank - 1)} + package.BinSize(bank - 1);
}

void PackageEditor::PutImage(int bank, std::span<const uint8_t> image, std::optional<int64_t> start)
{
    RequireBank(bank);
    const int64_t at = start.value_or(DefaultStart(bank));
    const auto size = static_cast<int64_t>(image.size());
    const auto areaSize = static_cast<int64_t>(payload::kImageAreaSize);
    if (size == 0) throw PackError(BankName(bank) + ": the image file is empty");
    if (at < 0 || at > areaSize || size > areaSize - at) {
        throw PackError(BankName(bank) + ": an image of " + std::to_string(size) + " bytes at start " +
                        std::to_string(at) + " does not fit in the image area of " + std::to_string(areaSize) +
                        " bytes");
    }
    uint8_t* area = packageBlock.data() + offsetof(PackageBlock, imageArea);
    const bool clearPlaceholder = PackageReader(packageBlock.data()).ImageHoldsPlaceholder();
    if (AreaStartsWithPlaceholderAfter(area, clearPlaceholder, image, at)) {
        throw PackError(BankName(bank) +
                        ": the image begins with the bytes of the image placeholder; the "
                        "program would take the package for one without firmware");
    }
    if (size % kImageBlockSize != 0) {
        throw PackError(BankName(bank) + ": the image of " + std::to_string(size) + " bytes is not a whole number of " +
                        std::to_string(kImageBlockSize) + "-byte blocks; the download sends whole blocks only");
    }
    if (std::all_of(image.begin(), image.end(), [&image](uint8_t byte) { return byte == image.front(); })) {
        throw PackError(BankName(bank) + ": the image of " + std::to_string(size) + " bytes holds the byte " +
                        ByteName(image.front()) +
                        " throughout, which is no firmware (erased or cleared flash, or an unfilled file); "
                        "give the drive's firmware image");
    }
    if (clearPlaceholder) {
        std::fill_n(area, payload::kImagePlaceholder.size(), uint8_t{0});
        placeholderCleared = true;
    }
    std::memcpy(area + at, image.data(), image.size());
    imagesPut.push_back({at, at + size});
    WriteNumberEntry(payload::kConfigurationEntries[payload::kFirstStartEntry + bank], at);
    WriteNumberEntry(payload::kConfigurationEntries[payload::kFirstSizeEntry + bank], size);
}

PackageEditor::ImageRange PackageEditor::FirstUncovered(int64_t start, int64_t end) const
{
    std::vector<ImageRange> ranges = imagesPut;
    std::sort(ranges.begin(), ranges.end(), [](const ImageRange& a, const ImageRange& b) { return a.start < b.start; });
    int64_t covered = start;
    for (const ImageRange& range : ranges) {
        if (range.start > covered) break;
        covered = std::max(covered, range.end);
    }
    if (covered >= end) return {end, end};
    int64_t gapEnd = end;
    for (const ImageRange& range : ranges) {
        if (range.start > covered) gapEnd = std::min(gapEnd, range.start);
    }
    return {covered, gapEnd};
}

std::string PackageEditor::BankNotFromImages() const
{
    if (!placeholderCleared) return "";
    const PackageReader package(packageBlock.data());
    const int banks = std::min<int>(package.Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
    for (int bank = 0; bank < banks; ++bank) {
        const int64_t start = package.BinStart(bank);
        const ImageRange gap = FirstUncovered(start, start + package.BinSize(bank));
        if (gap.start == gap.end) continue;
        return BankName(bank) + " is in use (" + BankBytes(package, bank) + "), but no image given here covers its " +
               ByteRange(gap.start, gap.end - gap.start) +
               ": the image placeholder is cleared, and they hold no firmware";
    }
    return "";
}

void PackageEditor::CheckPackage() const
{
    const PackageReader package(packageBlock.data());
    const std::string refusal = PackageRefusal(package);
    if (!refusal.empty()) throw PackError(refusal);
    const std::string emptyBank = EmptyBankInUse(package);
    if (!emptyBank.empty()) throw PackError(emptyBank);
    if (!everyDriveOfModelAccepted) {
        const std::string withoutConstraints = BankWithoutConstraints(package);
        if (!withoutConstraints.empty()) throw PackError(withoutConstraints);
    }
    const std::string notFromImages = BankNotFromImages();
    if (!notFromImages.empty()) throw PackError(notFromImages);
}

std::string ProfileStoreRefusal(const uint8_t* store)
{
    payload::BlankProfile blank{};
    if (!payload::FindBlankProfile(store, blank)) return "";
    const int row = payload::FirstRowOfProfile(blank.profile);
    const uint32_t offset = payload::ProfileStoreOffset(row);
    return "flash profile " + std::to_string(blank.profile) + " (store bytes " + std::to_string(offset) + " to " +
           std::to_string(offset + payload::ProfileLength(row) - 1) + ") holds the byte " + ByteName(blank.value) +
           " throughout, which is no flash chip's profile: the program would refuse to start with it";
}
