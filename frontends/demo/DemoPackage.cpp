#include "frontends/demo/DemoPackage.h"

#include <cstring>
#include <span>

#include "package/PackError.h"
#include "package/PackageEditor.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"

namespace {

// The same bytes on every run, and none that a placeholder begins with.
std::vector<uint8_t> SyntheticImage()
{
    std::vector<uint8_t> image(payload::kImageAreaSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
    return image;
}

}  // namespace

std::unique_ptr<payload::PackageBlock> MakeDemoPackage(const std::vector<PackageSetting>& settings, std::string& reason)
{
    auto block = std::make_unique<payload::PackageBlock>();
    std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
    try {
        PackageEditor editor(
            std::span<uint8_t, payload::kPackageSize>(reinterpret_cast<uint8_t*>(block.get()), payload::kPackageSize));
        editor.PutImage(0, SyntheticImage(), 0);
        for (const PackageSetting& setting : DemoSettings()) editor.SetSetting(setting.key, setting.value);
        for (const PackageSetting& setting : settings) editor.SetSetting(setting.key, setting.value);
    } catch (const PackError& error) {
        reason = error.what();
        return nullptr;
    }
    return block;
}

std::string SettingsLine(const payload::PackageBlock& block)
{
    const PackageReader package(reinterpret_cast<const uint8_t*>(&block));
    std::string line;
    for (int index = 0; index < payload::kSettingCount; ++index) {
        const payload::EntryLocation& entry = payload::kConfigurationEntries[index];
        // Five settings a line, so that the help stays within 80 columns.
        if (index == 5)
            line += "\n          ";
        else if (!line.empty())
            line += ' ';
        line += entry.key;
        line += std::to_string(package.Setting(static_cast<SettingKey>(index)));
    }
    return line;
}
