#pragma once
// The update package: one fixed-layout block of the program's own data. Every field is a byte
// array at a fixed offset, so the program reads it, and the packaging step writes it, in place.
// The compile-time checks below pin every offset; a change that moves a field does not build.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace payload {

inline constexpr std::size_t kPackageSize = 1050699;
inline constexpr std::size_t kImageAreaSize = 1048576;
inline constexpr int kBankCount = 4;
inline constexpr int kRowsPerBank = 8;
inline constexpr int kSettingCount = 9;

// Names of the section that holds the program's own block, in a Linux (ELF) and in a Windows
// (PE) program. A PE section header holds 8 bytes of a name; a longer one lives in the symbol
// string table, which a program linked with -s goes without: the linker then cuts
// ".norvik_package" and ".norvik_profiles" alike to ".norvik_". The attribute that places the
// block needs the name as a literal, hence the macros; NORVIK_PACKAGE_SECTION is the one of the
// platform being built.
#define NORVIK_ELF_PACKAGE_SECTION ".norvik_package"
#define NORVIK_PE_PACKAGE_SECTION ".nvpkg"
#if defined(_WIN32)
#define NORVIK_PACKAGE_SECTION NORVIK_PE_PACKAGE_SECTION
#else
#define NORVIK_PACKAGE_SECTION NORVIK_ELF_PACKAGE_SECTION
#endif
inline constexpr std::string_view kElfPackageSectionName = NORVIK_ELF_PACKAGE_SECTION;
inline constexpr std::string_view kPePackageSectionName = NORVIK_PE_PACKAGE_SECTION;
static_assert(kPePackageSectionName.size() <= 8, "a PE section header holds 8 bytes of a name");

// Texts that mark an unfilled field.
inline constexpr std::string_view kCaptionPlaceholder = "APP_TITLE_HERE";
inline constexpr std::string_view kImagePlaceholder = "BANK_START_FROM_HERE";
// The image test compares this many bytes of the image placeholder.
inline constexpr std::size_t kImagePlaceholderCompared = 19;

inline constexpr std::string_view kConstraintLabel = "FW_CONSTRAINTS=";

// One row of a bank's constraint table. Only the first few characters of each field count.
struct ConstraintRow {
    char minimum[8];
    char maximum[8];
    char vendor[12];
    char product[20];
};

inline constexpr std::size_t kMinimumChars = 4;
inline constexpr std::size_t kMaximumChars = 4;
inline constexpr std::size_t kVendorChars = 8;
inline constexpr std::size_t kProductChars = 16;
static_assert(kMinimumChars < sizeof(ConstraintRow::minimum) && kMaximumChars < sizeof(ConstraintRow::maximum) &&
              kVendorChars < sizeof(ConstraintRow::vendor) && kProductChars < sizeof(ConstraintRow::product));

struct PackageBlock {
    char banner[21];
    char version[13];
    char contact[15];
    char caption[64];
    char releaseDate[12];
    char spare[32];
    char product[65];
    char constraintLabel[16];
    ConstraintRow constraints[kBankCount][kRowsPerBank];
    // Configuration entries: "KEY=value", NUL-padded to the entry's width.
    char n2oMessage[13];
    char chkDisc[10];
    char bootCode[18];
    char reboot[9];
    char autoMode[11];
    char closeAp[10];
    char warning[10];
    char nbWarning[12];
    char howManyBin[20];
    char binStart[kBankCount][22];
    char binSize[kBankCount][21];
    // Revision entries: "NEW_FWb=" and the bank's new revision.
    char newRevision[kBankCount][16];
    uint8_t imageArea[kImageAreaSize];
};

static_assert(alignof(PackageBlock) == 1, "the block is a plain byte layout");
static_assert(sizeof(ConstraintRow) == 48);
static_assert(offsetof(ConstraintRow, minimum) == 0);
static_assert(offsetof(ConstraintRow, maximum) == 8);
static_assert(offsetof(ConstraintRow, vendor) == 16);
static_assert(offsetof(ConstraintRow, product) == 28);

static_assert(offsetof(PackageBlock, banner) == 0);
static_assert(offsetof(PackageBlock, version) == 21);
static_assert(offsetof(PackageBlock, contact) == 34);
static_assert(offsetof(PackageBlock, caption) == 49);
static_assert(offsetof(PackageBlock, releaseDate) == 113);
static_assert(offsetof(PackageBlock, spare) == 125);
static_assert(offsetof(PackageBlock, product) == 157);
static_assert(offsetof(PackageBlock, constraintLabel) == 222);
static_assert(offsetof(PackageBlock, constraints) == 238);
static_assert(sizeof(PackageBlock::constraints) == 1536);
static_assert(offsetof(PackageBlock, constraints[1][0]) == 238 + 384);
static_assert(offsetof(PackageBlock, constraints[3][7]) == 238 + 3 * 384 + 7 * 48);
static_assert(offsetof(PackageBlock, n2oMessage) == 1774);
static_assert(offsetof(PackageBlock, chkDisc) == 1787);
static_assert(offsetof(PackageBlock, bootCode) == 1797);
static_assert(offsetof(PackageBlock, reboot) == 1815);
static_assert(offsetof(PackageBlock, autoMode) == 1824);
static_assert(offsetof(PackageBlock, closeAp) == 1835);
static_assert(offsetof(PackageBlock, warning) == 1845);
static_assert(offsetof(PackageBlock, nbWarning) == 1855);
static_assert(offsetof(PackageBlock, howManyBin) == 1867);
static_assert(offsetof(PackageBlock, binStart[0]) == 1887);
static_assert(offsetof(PackageBlock, binStart[1]) == 1909);
static_assert(offsetof(PackageBlock, binStart[2]) == 1931);
static_assert(offsetof(PackageBlock, binStart[3]) == 1953);
static_assert(offsetof(PackageBlock, binSize[0]) == 1975);
static_assert(offsetof(PackageBlock, binSize[1]) == 1996);
static_assert(offsetof(PackageBlock, binSize[2]) == 2017);
static_assert(offsetof(PackageBlock, binSize[3]) == 2038);
static_assert(offsetof(PackageBlock, newRevision[0]) == 2059);
static_assert(offsetof(PackageBlock, newRevision[1]) == 2075);
static_assert(offsetof(PackageBlock, newRevision[2]) == 2091);
static_assert(offsetof(PackageBlock, newRevision[3]) == 2107);
static_assert(offsetof(PackageBlock, imageArea) == 2123);
static_assert(sizeof(PackageBlock) == kPackageSize);

// One configuration or revision entry: where it lies and the key text it starts with (the key
// and its equals sign). The packaging step writes values behind the keys and uses the keys as
// landmarks when it looks for a block.
struct EntryLocation {
    std::string_view key;
    std::size_t offset;
    std::size_t width;
};

// The nine settings first, in block order, then the start and size entries.
inline constexpr EntryLocation kConfigurationEntries[] = {
    {"N2OMESSAGE=", offsetof(PackageBlock, n2oMessage), sizeof(PackageBlock::n2oMessage)},
    {"CHKDISC=", offsetof(PackageBlock, chkDisc), sizeof(PackageBlock::chkDisc)},
    {"BOOTCODE=", offsetof(PackageBlock, bootCode), sizeof(PackageBlock::bootCode)},
    {"REBOOT=", offsetof(PackageBlock, reboot), sizeof(PackageBlock::reboot)},
    {"AUTOMODE=", offsetof(PackageBlock, autoMode), sizeof(PackageBlock::autoMode)},
    {"CLOSEAP=", offsetof(PackageBlock, closeAp), sizeof(PackageBlock::closeAp)},
    {"WARNING=", offsetof(PackageBlock, warning), sizeof(PackageBlock::warning)},
    {"NBWARNING=", offsetof(PackageBlock, nbWarning), sizeof(PackageBlock::nbWarning)},
    {"HOW_MANY_BIN=", offsetof(PackageBlock, howManyBin), sizeof(PackageBlock::howManyBin)},
    {"BIN_START1=", offsetof(PackageBlock, binStart[0]), 22},
    {"BIN_START2=", offsetof(PackageBlock, binStart[1]), 22},
    {"BIN_START3=", offsetof(PackageBlock, binStart[2]), 22},
    {"BIN_START4=", offsetof(PackageBlock, binStart[3]), 22},
    {"BIN_SIZE1=", offsetof(PackageBlock, binSize[0]), 21},
    {"BIN_SIZE2=", offsetof(PackageBlock, binSize[1]), 21},
    {"BIN_SIZE3=", offsetof(PackageBlock, binSize[2]), 21},
    {"BIN_SIZE4=", offsetof(PackageBlock, binSize[3]), 21},
};

inline constexpr EntryLocation kRevisionEntries[kBankCount] = {
    {"NEW_FW1=", offsetof(PackageBlock, newRevision[0]), 16},
    {"NEW_FW2=", offsetof(PackageBlock, newRevision[1]), 16},
    {"NEW_FW3=", offsetof(PackageBlock, newRevision[2]), 16},
    {"NEW_FW4=", offsetof(PackageBlock, newRevision[3]), 16},
};

static_assert(std::size(kConfigurationEntries) == 17);
// Positions of the start and size entries among the configuration entries.
inline constexpr int kFirstStartEntry = kSettingCount;
inline constexpr int kFirstSizeEntry = kSettingCount + kBankCount;

// Where a bank's start entry, size entry and new revision begin their value (bank 0-based).
constexpr std::size_t BinStartValueOffset(int bank) { return 1898 + 22 * static_cast<std::size_t>(bank); }
constexpr std::size_t BinSizeValueOffset(int bank) { return 1985 + 21 * static_cast<std::size_t>(bank); }
constexpr std::size_t NewRevisionValueOffset(int bank) { return 2067 + 16 * static_cast<std::size_t>(bank); }

// The entries follow each other with no gap, from the first setting to the image area.
consteval bool EntriesFollowEachOther()
{
    std::size_t next = offsetof(PackageBlock, n2oMessage);
    for (const EntryLocation& entry : kConfigurationEntries) {
        if (entry.offset != next || entry.key.size() >= entry.width) return false;
        next += entry.width;
    }
    for (const EntryLocation& entry : kRevisionEntries) {
        if (entry.offset != next || entry.key.size() >= entry.width) return false;
        next += entry.width;
    }
    return next == offsetof(PackageBlock, imageArea);
}
static_assert(EntriesFollowEachOther());

// Every value begins right behind its key.
consteval bool ValuesFollowTheirKeys()
{
    for (int bank = 0; bank < kBankCount; ++bank) {
        const EntryLocation& start = kConfigurationEntries[kFirstStartEntry + bank];
        const EntryLocation& size = kConfigurationEntries[kFirstSizeEntry + bank];
        const EntryLocation& revision = kRevisionEntries[bank];
        if (start.offset + start.key.size() != BinStartValueOffset(bank)) return false;
        if (size.offset + size.key.size() != BinSizeValueOffset(bank)) return false;
        if (revision.offset + revision.key.size() != NewRevisionValueOffset(bank)) return false;
    }
    return true;
}
static_assert(ValuesFollowTheirKeys());

// Start and size values are written as ten digits with leading zeros.
inline constexpr std::size_t kNumberDigits = 10;

}  // namespace payload
