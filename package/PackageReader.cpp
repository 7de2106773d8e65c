#include "package/PackageReader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "payload/PackageLayout.h"

using payload::PackageBlock;

namespace {

constexpr std::size_t kConstraintsOffset = offsetof(PackageBlock, constraints);
constexpr std::size_t kRowSize = sizeof(payload::ConstraintRow);
constexpr std::size_t kBankSize = kRowSize * payload::kRowsPerBank;

// Where a constraint field lies in its row and how many of its characters count.
struct FieldSpan {
    std::size_t offset;
    std::size_t charsUsed;
};

FieldSpan ConstraintSpan(ConstraintField field)
{
    using payload::ConstraintRow;
    switch (field) {
    case ConstraintField::Minimum: return {offsetof(ConstraintRow, minimum), payload::kMinimumChars};
    case ConstraintField::Maximum: return {offsetof(ConstraintRow, maximum), payload::kMaximumChars};
    case ConstraintField::Vendor: return {offsetof(ConstraintRow, vendor), payload::kVendorChars};
    case ConstraintField::Product: break;
    }
    return {offsetof(ConstraintRow, product), payload::kProductChars};
}

// A text field up to its first NUL, never beyond its width.
std::string_view TextAt(const uint8_t* block, std::size_t offset, std::size_t width)
{
    const char* text = reinterpret_cast<const char*>(block + offset);
    return std::string_view(text, strnlen(text, width));
}

// The text behind an entry's key and equals sign.
std::string_view EntryValue(const uint8_t* block, const payload::EntryLocation& entry)
{
    return TextAt(block, entry.offset + entry.key.size(), entry.width - entry.key.size());
}

std::string_view WithoutTrailingSpaces(std::string_view text)
{
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

bool IsBank(int bank) { return bank >= 0 && bank < payload::kBankCount; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The white space that a C decimal conversion skips.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Decimal conversion of a C library's kind (white space, sign, digits), never octal, and
// saturated to the 32-bit range instead of overflowing.
int32_t ParseDecimal(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) magnitude = kLimit;
    }
    if (negative) return static_cast<int32_t>(-magnitude);
    return static_cast<int32_t>(magnitude == kLimit ? kLimit - 1 : magnitude);
}

}  // namespace

std::string_view PackageFaultText(PackageFault fault)
{
    switch (fault) {
    case PackageFault::None: return "";
    case PackageFault::TooManyBanks: return "more firmware banks than the package has room for";
    case PackageFault::NegativeStart: return "a firmware bank starts before the image area";
    case PackageFault::NegativeSize: return "a firmware bank has a negative size";
    case PackageFault::BeyondImageArea: return "a firmware bank ends beyond the image area";
    case PackageFault::PartialBlock: return "a firmware bank is not a whole number of 16384-byte blocks";
    case PackageFault::OverlappingBanks: return "two firmware banks share bytes of the image area";
    }
    return "";
}

PackageReader::PackageReader(const uint8_t* block) : packageBlock(block) {}

std::string_view PackageReader::Caption() const
{
    return TextAt(packageBlock, offsetof(PackageBlock, caption), sizeof(PackageBlock::caption));
}

std::string_view PackageReader::VersionText() const
{
    return TextAt(packageBlock, offsetof(PackageBlock, version), sizeof(PackageBlock::version));
}

std::string_view PackageReader::ProductText() const
{
    return TextAt(packageBlock, offsetof(PackageBlock, product), sizeof(PackageBlock::product));
}

bool PackageReader::CaptionIsPlaceholder() const { return Caption().starts_with(payload::kCaptionPlaceholder); }

uint16_t PackageReader::Setting(SettingKey key) const
{
    const auto index = static_cast<std::size_t>(key);
    if (index >= payload::kSettingCount) return 0;
    const auto& entry = payload::kConfigurationEntries[index];
    const std::string_view text = TextAt(packageBlock, entry.offset, entry.width);
    if (text.empty() || !IsDigit(text.back())) return 0;
    return static_cast<uint16_t>(text.back() - '0');
}

PackageSettings PackageReader::ReadSettings() const
{
    auto digit = [this](SettingKey key) { return static_cast<uint8_t>(Setting(key)); };
    return PackageSettings{
        .n2oMessage = digit(SettingKey::N2OMESSAGE),
        .chkDisc = digit(SettingKey::CHKDISC),
        .bootCode = digit(SettingKey::BOOTCODE),
        .reboot = digit(SettingKey::REBOOT),
        .autoMode = digit(SettingKey::AUTOMODE),
        .closeAp = digit(SettingKey::CLOSEAP),
        .warning = digit(SettingKey::WARNING),
        .nbWarning = digit(SettingKey::NBWARNING),
        .howManyBin = Setting(SettingKey::HOW_MANY_BIN),
    };
}

std::string_view PackageReader::Constraint(int bank, int row, ConstraintField field) const
{
    if (!IsBank(bank) || row < 0 || row >= payload::kRowsPerBank) return {};
    const FieldSpan span = ConstraintSpan(field);
    const std::size_t rowOffset = kConstraintsOffset + static_cast<std::size_t>(bank) * kBankSize +
                                  static_cast<std::size_t>(row) * kRowSize;
    return TextAt(packageBlock, rowOffset + span.offset, span.charsUsed);
}

bool PackageReader::RowIsPlaceholder(int bank, int row) const
{
    auto startsWith = [&](ConstraintField field, std::string_view prefix) {
        return Constraint(bank, row, field).starts_with(prefix);
    };
    return startsWith(ConstraintField::Minimum, "#FLS") && startsWith(ConstraintField::Maximum, "#") &&
           startsWith(ConstraintField::Vendor, "#") && startsWith(ConstraintField::Product, "#");
}

bool PackageReader::NamesModel(std::string_view vendor, std::string_view product) const
{
    const std::string_view shownVendor = WithoutTrailingSpaces(vendor);
    const std::string_view shownProduct = WithoutTrailingSpaces(product);
    if (shownVendor.empty() || shownProduct.empty()) return false;
    const std::string_view productText = ProductText();
    if (productText.size() == shownVendor.size() + 1 + shownProduct.size() && productText.starts_with(shownVendor) &&
        productText[shownVendor.size()] == ' ' && productText.ends_with(shownProduct))
        return true;
    const int banks = std::min<int>(Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
    for (int bank = 0; bank < banks; ++bank) {
        for (int row = 0; row < payload::kRowsPerBank; ++row) {
            if (RowIsPlaceholder(bank, row)) continue;
            if (Constraint(bank, row, ConstraintField::Vendor) == vendor &&
                Constraint(bank, row, ConstraintField::Product) == product)
                return true;
        }
    }
    return false;
}

std::string_view PackageReader::NewRevisionForComparison(int bank) const
{
    return NewRevisionForDisplay(bank).substr(0, 4);
}

std::string_view PackageReader::NewRevisionForDisplay(int bank) const
{
    if (!IsBank(bank)) return {};
    return EntryValue(packageBlock, payload::kRevisionEntries[bank]);
}

int32_t PackageReader::BinStart(int bank) const
{
    if (!IsBank(bank)) return 0;
    return ParseDecimal(EntryValue(packageBlock, payload::kConfigurationEntries[payload::kFirstStartEntry + bank]));
}

int32_t PackageReader::BinSize(int bank) const
{
    if (!IsBank(bank)) return 0;
    return ParseDecimal(EntryValue(packageBlock, payload::kConfigurationEntries[payload::kFirstSizeEntry + bank]));
}

const uint8_t* PackageReader::ImageArea() const { return packageBlock + offsetof(PackageBlock, imageArea); }

bool PackageReader::ImageHoldsPlaceholder() const
{
    return std::memcmp(ImageArea(), payload::kImagePlaceholder.data(), payload::kImagePlaceholderCompared) == 0;
}

PackageCheck PackageReader::CheckBounds() const
{
    const uint16_t banks = Setting(SettingKey::HOW_MANY_BIN);
    if (banks > payload::kBankCount) return {PackageFault::TooManyBanks, -1};
    for (int bank = 0; bank < banks; ++bank) {
        const int64_t start = BinStart(bank);
        const int64_t size = BinSize(bank);
        if (start < 0) return {PackageFault::NegativeStart, bank};
        if (size < 0) return {PackageFault::NegativeSize, bank};
        if (start + size > static_cast<int64_t>(payload::kImageAreaSize)) return {PackageFault::BeyondImageArea, bank};
        if (size % kImageBlockSize != 0) return {PackageFault::PartialBlock, bank};
        if (const int other = EarlierOverlappingBank(bank); other >= 0) {
            return {PackageFault::OverlappingBanks, bank, other};
        }
    }
    return {PackageFault::None, -1};
}

int PackageReader::EarlierOverlappingBank(int bank) const
{
    const int64_t start = BinStart(bank);
    const int64_t end = start + BinSize(bank);
    if (start == end) return -1;
    for (int other = 0; other < bank; ++other) {
        const int64_t otherStart = BinStart(other);
        const int64_t otherEnd = otherStart + BinSize(other);
        if (otherStart < otherEnd && start < otherEnd && otherStart < end) return other;
    }
    return -1;
}
