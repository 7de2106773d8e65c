#pragma once
// The image digests that travel with a package, and the package file: an update package on its
// own, outside any program. Both are fixed byte layouts, pinned by the checks below.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "payload/PackageLayout.h"
#include "payload/ProfileLayout.h"

namespace payload {

// Names of the section that holds a program's image digests, in a Linux (ELF) and in a Windows
// (PE) program; short in a PE program for the reason PackageLayout.h gives. The package block
// keeps its layout: the digests lie beside it, not in it.
#define NORVIK_ELF_DIGEST_SECTION ".norvik_digests"
#define NORVIK_PE_DIGEST_SECTION ".nvdgst"
#if defined(_WIN32)
#define NORVIK_DIGEST_SECTION NORVIK_PE_DIGEST_SECTION
#else
#define NORVIK_DIGEST_SECTION NORVIK_ELF_DIGEST_SECTION
#endif
inline constexpr std::string_view kElfDigestSectionName = NORVIK_ELF_DIGEST_SECTION;
inline constexpr std::string_view kPeDigestSectionName = NORVIK_PE_DIGEST_SECTION;
static_assert(kPeDigestSectionName.size() <= 8, "a PE section header holds 8 bytes of a name");

inline constexpr std::size_t kDigestSize = 32;  // SHA-256
inline constexpr std::string_view kDigestMagic = "NVDIGEST";

// The SHA-256 of each bank's image, as the packaging step recorded it. A bank's digest stands
// only where its `recorded` byte is 1; a record with every byte 0 there records nothing (a
// program as built, or packed before digests were recorded).
struct ImageDigests {
    char magic[8];  // kDigestMagic, no NUL
    uint8_t recorded[kBankCount];
    uint8_t sha256[kBankCount][kDigestSize];
};
static_assert(alignof(ImageDigests) == 1);
static_assert(offsetof(ImageDigests, recorded) == 8);
static_assert(offsetof(ImageDigests, sha256) == 12);
inline constexpr std::size_t kImageDigestsSize = 140;
static_assert(sizeof(ImageDigests) == kImageDigestsSize);

// A package file (.nvpkg): the magic string, the package block, the flash profile store and
// the image digests, back to back, and nothing else.
inline constexpr std::string_view kPackageFileMagic = "NORVIK-PACKAGE1\n";
inline constexpr std::size_t kPackageFileMagicSize = 16;
static_assert(kPackageFileMagic.size() == kPackageFileMagicSize);

struct PackageFileLayout {
    char magic[kPackageFileMagicSize];
    uint8_t package[kPackageSize];
    uint8_t profiles[kProfileStoreSize];
    uint8_t digests[kImageDigestsSize];
};
static_assert(alignof(PackageFileLayout) == 1);
static_assert(offsetof(PackageFileLayout, package) == 16);
static_assert(offsetof(PackageFileLayout, profiles) == 1050715);
static_assert(offsetof(PackageFileLayout, digests) == 1067763);
inline constexpr std::size_t kPackageFileSize = 1067903;
static_assert(sizeof(PackageFileLayout) == kPackageFileSize);

}  // namespace payload
