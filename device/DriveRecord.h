#pragma once
// One drive of the drive table: its identification, root, address, and the three marks that
// the eligibility check writes. All bytes zero until discovery fills the record.

#include <cstdint>

#include "platform/System.h"

constexpr int kMaxDrives = 16;

struct DriveRecord {
    uint8_t storageDescriptor[platform::kStorageDescriptorSize];
    char displayName[32];  // 8 vendor characters, then 16 product characters, then zeros
    char vendor[9];
    char product[17];
    char revision[5];
    char vendorSpecific[17];                 // inquiry bytes 36..51
    char rootPath[platform::kRootPathSize];  // empty for drives found through ASPI
    uint8_t flashId[4];
    int16_t host;
    int16_t target;
    int16_t lun;
    int16_t path;
    uint8_t present;
    uint8_t updatable;
    uint8_t viaAspi;
    uint8_t aspiCountsResidual;  // its ASPI adapter reports the bytes a request did not move
    uint16_t bankNumber;         // 0-based firmware bank that accepts the drive
    uint16_t alreadyCurrent;
};
