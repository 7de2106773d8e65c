#pragma once
// Writes the fields of an update package held in memory, refusing what does not fit its field
// or what the program would refuse to run with. Banks and rows are 0-based here, as in
// PackageReader; reasons name them 1-based, as users and the entry keys count them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/PackageReader.h"
#include "payload/PackageLayout.h"

enum class TextField : uint8_t { Banner, Version, Contact, Caption, ReleaseDate, Spare, Product };

struct ConstraintTexts {
    std::string_view minimum;
    std::string_view maximum;
    std::string_view vendor;
    std::string_view product;
};

class PackageEditor {
public:
    explicit PackageEditor(std::span<uint8_t, payload::kPackageSize> block);

    // NUL-padded to the field's width; refuses a text that leaves no room for the NUL.
    void SetText(TextField field, std::string_view text);
    // key is one of the nine settings without its equals sign; value is one decimal digit.
    void SetSetting(std::string_view key, std::string_view value);
    // Refuses a field longer than the characters the program compares.
    void SetConstraint(int bank, int row, const ConstraintTexts& texts);
    // Puts the row back into its unfilled form.
    void ClearConstraint(int bank, int row);
    void SetNewRevision(int bank, std::string_view revision);
    // Copies the image into the image area and writes the bank's start and size entries. Without
    // a start, bank 1 starts at 0 and any other bank right behind the bank before it. The first
    // image replaces the image placeholder. Refuses an image that is not a whole number of image
    // blocks: the download would never send its tail.
    void PutImage(int bank, std::span<const uint8_t> image, std::optional<int64_t> start);

    // Lets CheckPackage pass a bank in use whose first row is the placeholder: such a bank takes
    // every drive of the package's model, whatever its revision.
    void AcceptEveryDriveOfModel() { everyDriveOfModelAccepted = true; }

    // Refuses a package that the program would stop at (no bank, more banks than the block has
    // room for, a bank outside the image area, not made of whole blocks, or sharing bytes with
    // another), one with a bank in use that has no bytes or, unless accepted above, whose first
    // row is the placeholder, and, when this editor cleared the image placeholder, one with a
    // bank in use whose bytes are not all from images put through this editor. Nothing is changed.
    void CheckPackage() const;

private:
    // Image bytes [start, end) put through this editor.
    struct ImageRange {
        int64_t start;
        int64_t end;
    };

    void WriteField(std::size_t offset, std::size_t width, std::string_view text, std::string_view what);
    void WriteNumberEntry(const payload::EntryLocation& entry, int64_t value);
    int64_t DefaultStart(int bank) const;
    // The first bytes of [start, end) that no image put through this editor covers; empty
    // (start == end) when the images cover it all.
    ImageRange FirstUncovered(int64_t start, int64_t end) const;
    // Why a bank in use holds bytes that were not put as an image after the placeholder went;
    // empty when there is no such bank or this editor did not clear the placeholder.
    std::string BankNotFromImages() const;

    std::span<uint8_t, payload::kPackageSize> packageBlock;
    std::vector<ImageRange> imagesPut;
    bool placeholderCleared = false;
    bool everyDriveOfModelAccepted = false;
};

// Name of a text field as the command line spells it ("caption", "release-date", ...).
std::string_view TextFieldName(TextField field);

// Why the program would stop at start-up with this package; empty when it would run.
std::string PackageRefusal(const PackageReader& package);

// A bank in use with the size 0, which the program runs with but which would program nothing;
// the packaging step refuses it. Empty when every bank in use has bytes.
std::string EmptyBankInUse(const PackageReader& package);

// A bank in use whose first constraint row is the placeholder, which takes every drive of the
// package's model whatever its revision; the packaging step refuses it unless asked for it by
// name. Empty when every bank in use has constraints.
std::string BankWithoutConstraints(const PackageReader& package);

// Why the program would refuse this flash profile store (kProfileStoreSize bytes): a profile
// of one byte value throughout. Empty when it would take it.
std::string ProfileStoreRefusal(const uint8_t* store);
