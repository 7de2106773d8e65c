// A small program that carries the delivered package and prints what it reads from its own
// block and its own flash profile store at run time. The packaging tests pack a copy of it and
// run the copy: it must behave as packed, not as compiled.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileStore.h"

namespace {

constexpr const char* kSettingNames[] = {"N2OMESSAGE", "CHKDISC", "BOOTCODE",  "REBOOT",      "AUTOMODE",
                                         "CLOSEAP",    "WARNING", "NBWARNING", "HOW_MANY_BIN"};

// FNV-1a over a bank's bytes, so that a test can tell the whole image arrived.
uint32_t Checksum(const uint8_t* bytes, std::size_t size)
{
    uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

std::string Text(std::string_view text) { return std::string(text); }

void PrintBank(const PackageReader& package, int bank)
{
    const int32_t start = package.BinStart(bank);
    const int32_t size = package.BinSize(bank);
    const uint8_t* bytes = package.ImageArea() + start;
    std::printf("bank %d: start %d size %d revision \"%s\" compared \"%s\" first", bank + 1, start, size,
                Text(package.NewRevisionForDisplay(bank)).c_str(),
                Text(package.NewRevisionForComparison(bank)).c_str());
    for (int i = 0; i < std::min<int32_t>(size, 8); ++i) std::printf(" %02x", bytes[i]);
    std::printf(" checksum %08x\n", Checksum(bytes, static_cast<std::size_t>(size)));
}

void PrintProfileStore()
{
    const uint8_t* store = payload::OwnProfileStore();
    std::printf("profile store: first");
    for (int i = 0; i < 8; ++i) std::printf(" %02x", store[i]);
    std::printf(" checksum %08x\n", Checksum(store, payload::kProfileStoreSize));
}

}  // namespace

int main()
{
    const PackageReader package(payload::OwnPackageBlock());
    const PackageSettings settings = package.ReadSettings();
    std::printf("caption: %s\n", Text(package.Caption()).c_str());
    std::printf("caption placeholder: %s\n", package.CaptionIsPlaceholder() ? "yes" : "no");
    std::printf("version: %s\n", Text(package.VersionText()).c_str());
    std::printf("product: %s\n", Text(package.ProductText()).c_str());
    for (int i = 0; i < payload::kSettingCount; ++i) {
        std::printf("setting %s %u\n", kSettingNames[i], package.Setting(static_cast<SettingKey>(i)));
    }
    std::printf("image: %s\n", package.ImageHoldsPlaceholder() ? "placeholder" : "firmware");
    PrintProfileStore();
    std::printf("constraint 1.1: \"%s\" \"%s\" \"%s\" \"%s\"\n",
                Text(package.Constraint(0, 0, ConstraintField::Minimum)).c_str(),
                Text(package.Constraint(0, 0, ConstraintField::Maximum)).c_str(),
                Text(package.Constraint(0, 0, ConstraintField::Vendor)).c_str(),
                Text(package.Constraint(0, 0, ConstraintField::Product)).c_str());
    if (settings.howManyBin == 0) {
        std::printf("start-up: No F/W in executable !\n");
        return 1;
    }
    if (package.CheckBounds().fault != PackageFault::None) {
        std::printf("start-up: %s\n", kInvalidPackageMessage);
        return 1;
    }
    for (int bank = 0; bank < settings.howManyBin; ++bank) PrintBank(package, bank);
    return 0;
}
