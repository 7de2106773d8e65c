#include "package/PackagePrinter.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "package/PackageEditor.h"
#include "package/PackageReader.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileStore.h"

using payload::PackageBlock;

namespace {

constexpr std::string_view kSettingNames[] = {"N2OMESSAGE", "CHKDISC", "BOOTCODE",  "REBOOT",      "AUTOMODE",
                                              "CLOSEAP",    "WARNING", "NBWARNING", "HOW_MANY_BIN"};
static_assert(std::size(kSettingNames) == payload::kSettingCount);

// A text field that the program itself does not read.
std::string_view FieldText(const uint8_t* block, std::size_t offset, std::size_t width)
{
    const char* text = reinterpret_cast<const char*>(block + offset);
    return std::string_view(text, strnlen(text, width));
}

void PrintTexts(std::ostream& out, const uint8_t* block, const PackageReader& package)
{
    out << "caption:      " << Quoted(package.Caption());
    if (package.CaptionIsPlaceholder()) out << " (placeholder: the window shows the program's name and version)";
    out << "\nversion:      " << Quoted(package.VersionText()) << "\nproduct:      " << Quoted(package.ProductText())
        << "\nbanner:       " << Quoted(FieldText(block, offsetof(PackageBlock, banner), sizeof(PackageBlock::banner)))
        << "\ncontact:      "
        << Quoted(FieldText(block, offsetof(PackageBlock, contact), sizeof(PackageBlock::contact)))
        << "\nrelease date: "
        << Quoted(FieldText(block, offsetof(PackageBlock, releaseDate), sizeof(PackageBlock::releaseDate)))
        << "\nspare:        " << Quoted(FieldText(block, offsetof(PackageBlock, spare), sizeof(PackageBlock::spare)))
        << '\n';
}

void PrintSettings(std::ostream& out, const PackageReader& package)
{
    out << "settings:\n";
    for (int i = 0; i < payload::kSettingCount; ++i) {
        const std::string_view name = kSettingNames[i];
        out << "  " << name << std::string(14 - name.size(), ' ') << package.Setting(static_cast<SettingKey>(i))
            << '\n';
    }
}

void PrintConstraints(std::ostream& out, const PackageReader& package)
{
    out << "constraints (minimum, maximum, vendor, product):\n";
    for (int bank = 0; bank < payload::kBankCount; ++bank) {
        for (int row = 0; row < payload::kRowsPerBank; ++row) {
            out << "  bank " << bank + 1 << " row " << row + 1 << "  ";
            if (package.RowIsPlaceholder(bank, row)) {
                out << "placeholder\n";
                continue;
            }
            out << Quoted(package.Constraint(bank, row, ConstraintField::Minimum)) << ' '
                << Quoted(package.Constraint(bank, row, ConstraintField::Maximum)) << ' '
                << Quoted(package.Constraint(bank, row, ConstraintField::Vendor)) << ' '
                << Quoted(package.Constraint(bank, row, ConstraintField::Product)) << '\n';
        }
    }
}

std::string RevisionsInWords(std::string_view minimum, std::string_view maximum)
{
    if (minimum.empty() && maximum.empty()) return "any revision";
    if (minimum == maximum) return "revision " + Quoted(minimum);
    if (maximum.empty()) return "revisions from " + Quoted(minimum);
    if (minimum.empty()) return "revisions up to " + Quoted(maximum);
    return "revisions " + Quoted(minimum) + " to " + Quoted(maximum);
}

std::string FieldInWords(std::string_view text, std::string_view anyText)
{
    return text.empty() ? std::string(anyText) : Quoted(text);
}

// Which drives a bank takes, in words: the model of a bank without constraints, or one clause
// per row that is not a placeholder.
void PrintBankTakes(std::ostream& out, const PackageReader& package, int bank)
{
    out << "    takes: ";
    if (package.RowIsPlaceholder(bank, 0)) {
        out << "every drive of the package's model (" << Quoted(package.ProductText())
            << ", or a vendor and product that a row of a bank in use names), whatever its revision\n";
        return;
    }
    const char* separator = "";
    for (int row = 0; row < payload::kRowsPerBank; ++row) {
        if (package.RowIsPlaceholder(bank, row)) continue;
        out << separator << "vendor " << FieldInWords(package.Constraint(bank, row, ConstraintField::Vendor), "any")
            << " product " << FieldInWords(package.Constraint(bank, row, ConstraintField::Product), "any") << ' '
            << RevisionsInWords(package.Constraint(bank, row, ConstraintField::Minimum),
                                package.Constraint(bank, row, ConstraintField::Maximum));
        separator = "; ";
    }
    out << (*separator == '\0' ? "no drive\n" : "\n");
}

void PrintBanks(std::ostream& out, const PackageReader& package)
{
    const int banks = std::min<int>(package.Setting(SettingKey::HOW_MANY_BIN), payload::kBankCount);
    out << "banks in use: " << package.Setting(SettingKey::HOW_MANY_BIN) << '\n';
    for (int bank = 0; bank < banks; ++bank) {
        out << "  bank " << bank + 1 << "  start " << package.BinStart(bank) << "  size " << package.BinSize(bank)
            << "  new revision " << Quoted(package.NewRevisionForDisplay(bank)) << '\n';
        PrintBankTakes(out, package, bank);
    }
    if (package.ImageHoldsPlaceholder()) {
        out << "image area: no firmware (it still holds the image placeholder)\n";
    } else {
        out << "image area: holds firmware\n";
    }
}

}  // namespace

std::string Quoted(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

void PrintPackage(std::ostream& out, const uint8_t* block)
{
    const PackageReader package(block);
    PrintTexts(out, block, package);
    PrintSettings(out, package);
    PrintConstraints(out, package);
    PrintBanks(out, package);
    std::string verdict = PackageRefusal(package);
    if (verdict.empty()) verdict = EmptyBankInUse(package);
    if (verdict.empty()) verdict = BankWithoutConstraints(package);
    out << "package check: " << (verdict.empty() ? std::string("the program accepts this package") : verdict) << '\n';
}

uint32_t StoreChecksum(const uint8_t* bytes, std::size_t size)
{
    uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

void PrintProfileStore(std::ostream& out, const uint8_t* store)
{
    const bool synthetic = payload::IsSyntheticProfileStore(store);
    char summary[96];
    std::snprintf(summary, sizeof summary, "checksum %08x, first bytes",
                  StoreChecksum(store, payload::kProfileStoreSize));
    out << "profile store: " << (synthetic ? "synthetic (as built from source)" : "replaced") << ", " << summary;
    for (std::size_t i = 0; i < 8; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02x", store[i]);
        out << byte;
    }
    out << '\n';
    if (synthetic) out << "  made up for the virtual drive: the program updates no real drive with it\n";
}
