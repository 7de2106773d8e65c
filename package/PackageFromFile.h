#pragma once
// An update package read from a file that a person names: a Norvik program for Linux (ELF) or
// Windows (PE) that carries one, found by its sections as the packaging step finds it, or a
// package file (.nvpkg). The file is only read, with bounded reads, never executed or loaded;
// what it carries is copied out once, at start-up, and passes every check the program's own
// package passes before anything uses it.

#include <cstdint>
#include <string>

#include "package/ImageDigestCheck.h"
#include "payload/PackageFileLayout.h"
#include "sys/Sha256.h"

// Larger files are refused unread: no program that carries a package comes near it.
inline constexpr std::size_t kMostPackageSourceBytes = std::size_t{256} << 20;

struct PackageFromFile {
    uint8_t block[payload::kPackageSize];
    uint8_t profiles[payload::kProfileStoreSize];
    uint8_t digests[payload::kImageDigestsSize];
    bool digestsPresent;  // false: the file has no digest record (a program packed before them)
    DigestState digestState;
    bool isPackageFile;            // a package file, not a program
    sys::Sha256Digest fileDigest;  // of the whole file: the package's identity
};

// Fills `package` from the file; false, with the reason for people, when the file is a
// directory, a FIFO, a device or anything but a regular file, larger than
// kMostPackageSourceBytes, not a program that carries a package nor a package file, carries no
// firmware (the image placeholder), or carries a package, a flash profile store or image digests
// that the program would refuse.
bool ReadPackageFromFile(const char* path, PackageFromFile& package, std::string& reason);

// The SHA-256 of a regular file, read as above; false when it cannot be read.
bool Sha256OfFile(const char* path, sys::Sha256Digest& digest);
