#pragma once
// The update package a run uses, chosen once at start-up before any command is sent: the
// program's own, or one read from a file a person names. Either way its image digests are
// checked, its flash profile store becomes the one every profile is read from, and its identity
// (the SHA-256 of the file it came from) is known for the record of each update.

#include <cstdint>
#include <memory>
#include <string>

#include "package/PackageFromFile.h"

class PackageInUse {
public:
    PackageInUse();
    ~PackageInUse();
    PackageInUse(const PackageInUse&) = delete;
    PackageInUse& operator=(const PackageInUse&) = delete;

    // The program's own package (path empty or null) or the one in the file; false, with the
    // reason for people, when it must not be used: then nothing is chosen, the program's own
    // store stays in use, and no command may be sent. ownFile names the running program's own
    // file, whose digest is the identity of its own package (null: none).
    bool Choose(const char* path, const char* ownFile, std::string& reason);

    const uint8_t* Block() const;
    DigestState Digests() const { return digests; }
    // 64 hexadecimal digits; empty when the file could not be read to compute them.
    const char* IdentityHex() const { return identity; }
    bool FromFile() const { return fromFile != nullptr; }

private:
    bool ChooseOwn(const char* ownFile, std::string& reason);

    std::unique_ptr<PackageFromFile> fromFile;
    DigestState digests = DigestState::NotApplicable;
    char identity[65] = {};
};

// The sentence a front end shows once when the package in use has no image digests; empty when
// it has them or needs none.
std::string MissingDigestsNote(const PackageInUse& package, const char* path);
