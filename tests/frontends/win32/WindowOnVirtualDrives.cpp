// norvik-window-on-virtual-drives.exe: the Windows window over virtual drives on the real clock,
// for pictures of it (scripts/screenshots-windows). Its package is the program's own with a
// synthetic firmware in its image area, without the notice and the restart; each argument is
// one drive in the text form of sim/README.md (none: one drive "rev=RN05"), which starts, as the
// demo's drives do, from realistic timing. The message boxes are the system's.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "frontends/demo/DemoOptions.h"
#include "frontends/win32/ProgramEntry.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"

namespace {

void Set(payload::PackageBlock& block, SettingKey key, char digit)
{
    const payload::EntryLocation& entry = payload::kConfigurationEntries[static_cast<int>(key)];
    reinterpret_cast<uint8_t*>(&block)[entry.offset + entry.key.size()] = static_cast<uint8_t>(digit);
}

}  // namespace

int main(int argc, char* argv[])
{
    auto block = std::make_unique<payload::PackageBlock>();
    std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
    for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
        block->imageArea[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
    Set(*block, SettingKey::WARNING, '0');
    Set(*block, SettingKey::REBOOT, '0');

    sim::VirtualSystem system(sim::ClockMode::Real);
    const char* const defaultDrives[] = {"rev=RN05"};
    const int driveCount = argc > 1 ? argc - 1 : 1;
    const char* const* drives = argc > 1 ? argv + 1 : defaultDrives;
    for (int i = 0; i < driveCount; ++i) {
        const std::string text = std::string(kDemoDriveBase) + drives[i];
        std::string reason;
        if (system.AddDrive(text, reason) == nullptr) {
            std::fprintf(stderr, "drive \"%s\": %s\n", text.c_str(), reason.c_str());
            return 2;
        }
    }
    return RunNorvikWindow(
        [&] { return std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(block.get())); });
}
