#pragma once
// Which drives the update package may update, with which firmware bank, and whether a drive
// already carries that bank's revision. Writes the three marks into the drive records.

#include <cstdint>
#include <span>
#include <string_view>

#include "device/DriveRecord.h"
#include "package/PackageReader.h"

// Three-way comparison of two texts in plain character-code order over their whole length;
// a text that is a proper prefix of the other sorts first.
int CompareTexts(std::string_view first, std::string_view second);

// Whether a bank in use has no constraints (its first row is a placeholder) and the drive is
// not of the package's model, which such a bank alone would take: why it refused the drive.
bool RefusedAsAnotherModel(const PackageReader& package, const DriveRecord& drive);

// Judges every record below driveCount. Records at or above it are not touched.
void CheckEligibility(const PackageReader& package, const PackageSettings& settings,
                      std::span<DriveRecord, kMaxDrives> drives, int16_t driveCount);
