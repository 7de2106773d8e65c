#pragma once
// The demo's update package: the program's own block copied into memory, a synthetic firmware
// image packed into bank 1, and the demo's settings written over the program's.

#include <memory>
#include <string>
#include <vector>

#include "frontends/demo/DemoOptions.h"
#include "payload/PackageLayout.h"

// Null with the reason when a setting is refused (unknown key, not one digit).
std::unique_ptr<payload::PackageBlock> MakeDemoPackage(const std::vector<PackageSetting>& settings,
                                                       std::string& reason);

// The nine settings of a package as "KEY=digit" separated by spaces.
std::string SettingsLine(const payload::PackageBlock& block);
