#include "package/PackageInUse.h"

#include "payload/PackageBlock.h"
#include "payload/ProfileStore.h"

PackageInUse::PackageInUse() = default;
PackageInUse::~PackageInUse() = default;

bool PackageInUse::Choose(const char* path, const char* ownFile, std::string& reason)
{
    if (path == nullptr || path[0] == '\0') return ChooseOwn(ownFile, reason);
    auto package = std::make_unique<PackageFromFile>();
    if (!ReadPackageFromFile(path, *package, reason)) return false;
    fromFile = std::move(package);
    digests = fromFile->digestState;
    sys::Sha256Hex(fromFile->fileDigest, identity);
    payload::UseProfileStore(fromFile->profiles);
    return true;
}

// The program's own images are checked like a file's: a program damaged on its way is refused.
// Its identity is its own file's digest, when the file can be read.
bool PackageInUse::ChooseOwn(const char* ownFile, std::string& reason)
{
    const DigestCheck check = CheckImageDigests(payload::OwnPackageBlock(), payload::OwnImageDigests());
    reason = DigestRefusal(check);
    if (!reason.empty()) return false;
    digests = check.state;
    sys::Sha256Digest own{};
    if (ownFile != nullptr && Sha256OfFile(ownFile, own)) sys::Sha256Hex(own, identity);
    return true;
}

const uint8_t* PackageInUse::Block() const
{
    return fromFile != nullptr ? fromFile->block : payload::OwnPackageBlock();
}

std::string MissingDigestsNote(const PackageInUse& package, const char* path)
{
    if (package.Digests() != DigestState::NoneRecorded) return "";
    const std::string what = package.FromFile() ? std::string(path) : std::string("this program's package");
    return what +
           " carries no image digests (packed before they were recorded): its firmware cannot be checked "
           "for damage";
}
