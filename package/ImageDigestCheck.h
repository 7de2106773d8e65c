#pragma once
// The SHA-256 of each bank's image, recorded by the packaging step beside the package and checked
// before any command is sent, so that a package damaged on its way (a download cut or altered)
// is refused rather than written into a drive.

#include <cstdint>
#include <string>

// How a package's images compare with its recorded digests.
enum class DigestState : uint8_t {
    NotApplicable,  // no firmware (the image placeholder) or banks the program refuses anyway
    Matching,       // every bank in use has its digest, and each one matches
    NoneRecorded,   // no record, or a record with no digest (packed before digests were kept)
    Mismatch,       // a bank's image differs from its digest: the package is damaged
    Damaged,        // the record itself is not one the packaging step writes
};

struct DigestCheck {
    DigestState state;
    int bank = -1;  // 0-based bank at fault (Mismatch, or Damaged where a bank's entry is)
};

// Compares the block's banks in use with the record (payload::kImageDigestsSize bytes; null
// when the package has none).
DigestCheck CheckImageDigests(const uint8_t* block, const uint8_t* digests);

// Writes the record for the block: its magic and the digest of every bank in use; false when a
// digest could not be computed (the record is then left recording nothing) or the banks are
// such that the program would refuse them.
bool RecordImageDigests(const uint8_t* block, uint8_t* digests);

// Why a package with this check result must not be used, for people; empty when it may.
std::string DigestRefusal(const DigestCheck& check);
