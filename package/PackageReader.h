#pragma once
// Reads an update package in place. Works on any block of payload::kPackageSize bytes: the
// program's own, or one that a test or the packaging step holds in memory. Texts come back as
// views into the block; nothing is copied or allocated, and no read leaves the block.

#include <cstdint>
#include <string_view>

// Shown at start-up, as an error, when the package fails CheckBounds(): more banks than the
// block holds, a bank whose bytes do not lie inside the image area, a bank that is not made of
// whole blocks, or two banks that share bytes.
inline constexpr char kInvalidPackageMessage[] = "Invalid F/W package in executable !";

// The download sends a bank in blocks of this many bytes and nothing shorter, so a bank in use
// is a whole number of them.
inline constexpr int32_t kImageBlockSize = 16384;

enum class SettingKey : uint8_t {
    N2OMESSAGE,
    CHKDISC,
    BOOTCODE,
    REBOOT,
    AUTOMODE,
    CLOSEAP,
    WARNING,
    NBWARNING,
    HOW_MANY_BIN,
};

// The nine settings, read once at start-up and fixed for the run.
struct PackageSettings {
    uint8_t n2oMessage;
    uint8_t chkDisc;
    uint8_t bootCode;
    uint8_t reboot;
    uint8_t autoMode;
    uint8_t closeAp;
    uint8_t warning;
    uint8_t nbWarning;
    uint16_t howManyBin;
};

enum class ConstraintField : uint8_t { Minimum, Maximum, Vendor, Product };

// What makes a package unusable although each field reads well.
enum class PackageFault : uint8_t {
    None,
    TooManyBanks,      // HOW_MANY_BIN above the four banks the block has room for
    NegativeStart,     // a bank in use starts before the image area
    NegativeSize,      // a bank in use has a negative size
    BeyondImageArea,   // a bank in use ends beyond the image area
    PartialBlock,      // a bank in use whose size is not a whole number of image blocks
    OverlappingBanks,  // a bank in use shares bytes with an earlier bank in use
};

struct PackageCheck {
    PackageFault fault;
    int bank;            // 0-based bank at fault; -1 when the fault is not a bank's
    int otherBank = -1;  // OverlappingBanks: the earlier bank whose bytes `bank` shares
};

// A short description of a fault, for people ("" for None).
std::string_view PackageFaultText(PackageFault fault);

class PackageReader {
public:
    explicit PackageReader(const uint8_t* block);

    std::string_view Caption() const;
    std::string_view VersionText() const;
    std::string_view ProductText() const;
    bool CaptionIsPlaceholder() const;

    // Value of the entry's last character when it is a digit, otherwise 0.
    uint16_t Setting(SettingKey key) const;
    PackageSettings ReadSettings() const;

    // bank 0..3, row 0..7; at most 4, 4, 8 or 16 characters, stopping at a NUL.
    // Empty for a bank or row outside the table.
    std::string_view Constraint(int bank, int row, ConstraintField field) const;
    // A row in its unfilled form ("#FLS..." and "#" in the other three fields).
    bool RowIsPlaceholder(int bank, int row) const;
    // Whether a drive with this vendor and product is of the model the package is made for:
    // the product text names it (vendor and product without their trailing spaces, one space
    // between), or a row of a bank in use that is not a placeholder names both exactly. A bank
    // whose first row is a placeholder takes only such drives, never a drive of another make.
    bool NamesModel(std::string_view vendor, std::string_view product) const;

    // bank 0..3; empty outside.
    std::string_view NewRevisionForComparison(int bank) const;
    std::string_view NewRevisionForDisplay(int bank) const;

    // bank 0..3, decimal, saturated to the 32-bit range; 0 outside.
    int32_t BinStart(int bank) const;
    int32_t BinSize(int bank) const;

    const uint8_t* ImageArea() const;
    bool ImageHoldsPlaceholder() const;

    // Every bank below HOW_MANY_BIN must exist, lie inside the image area, be a whole number of
    // image blocks, and share no byte with another bank in use (a bank of size 0 has no bytes).
    // The first fault found, in bank order.
    PackageCheck CheckBounds() const;

private:
    // The first bank before `bank` whose bytes `bank` shares; -1 when there is none.
    int EarlierOverlappingBank(int bank) const;

    const uint8_t* packageBlock;
};
