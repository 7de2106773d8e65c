#pragma once
// Sense data in either format that a drive may answer with, fixed (70h/71h) or descriptor
// (72h/73h), read into one record: key, additional sense code and qualifier, the information
// field and the other fields that both formats carry. Every reader of sense goes through here,
// so that the program reads a drive alike whatever system carried its answer.

#include <cstdint>

namespace scsi {

// Response codes (byte 0 without its valid bit).
constexpr uint8_t kResponseCodeMask = 0x7F;
constexpr uint8_t kFixedSenseDeferred = 0x71;
constexpr uint8_t kDescriptorSenseCurrent = 0x72;
constexpr uint8_t kDescriptorSenseDeferred = 0x73;

// Fixed format written by RewriteSenseInFixedFormat: 18 bytes, up to the sense-key specific field.
constexpr uint32_t kFixedSenseSize = 18;

struct SenseFields {
    uint8_t responseCode = 0;  // 70h..73h; 0 when the bytes hold no sense of a known format
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    bool informationValid = false;
    uint64_t information = 0;
    bool hasCommandSpecific = false;
    uint64_t commandSpecific = 0;
    bool hasSenseKeySpecific = false;
    uint8_t senseKeySpecific[3] = {};
    uint8_t fieldReplaceableUnit = 0;

    bool IsDeferred() const { return responseCode == kFixedSenseDeferred || responseCode == kDescriptorSenseDeferred; }
};

// Reads the length bytes of sense at sense (null when length is 0). True when they hold sense of
// a known format; only the bytes within length and within the descriptors' own lengths are read.
// Bytes of an unknown format are read at the fixed-format places all the same (false): a key
// there still tells that the command failed, as the fixed layout has always been read.
bool NormaliseSense(const uint8_t* sense, uint32_t length, SenseFields& fields);

// The seam's sense layout: leaves in the size bytes at sense the sense that the drive wrote in
// its first written bytes, in fixed format. Descriptor sense is rewritten (an information or
// command-specific value wider than four bytes is left out); fixed sense and sense of an unknown
// format stay as written, and so does descriptor sense in a buffer shorter than kFixedSenseSize.
// The bytes past what was written, or past the rewrite, become zero.
void RewriteSenseInFixedFormat(uint8_t* sense, uint32_t size, uint32_t written);

}  // namespace scsi
