#include "sys/Sha256.h"

#if defined(_WIN32)
#include <windows.h>

#include <bcrypt.h>
#else
#include <nettle/sha2.h>
#endif

#include <limits>

namespace sys {

#if defined(_WIN32)

namespace {

// The provider, the hash and the digest, each released whatever step fails.
class BcryptSha256 {
public:
    BcryptSha256()
    {
        opened = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0;
        created = opened && BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    }
    ~BcryptSha256()
    {
        if (created) BCryptDestroyHash(hash);
        if (opened) BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    BcryptSha256(const BcryptSha256&) = delete;
    BcryptSha256& operator=(const BcryptSha256&) = delete;

    // BCryptHashData takes at most 4 GiB less one byte at a time.
    bool Digest(std::span<const uint8_t> bytes, Sha256Digest& digest)
    {
        if (!created) return false;
        constexpr std::size_t kMostAtOnce = std::numeric_limits<ULONG>::max();
        while (!bytes.empty()) {
            const std::size_t part = bytes.size() < kMostAtOnce ? bytes.size() : kMostAtOnce;
            if (BCryptHashData(hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(part), 0) < 0) return false;
            bytes = bytes.subspan(part);
        }
        Sha256Digest result{};
        if (BCryptFinishHash(hash, result.data(), static_cast<ULONG>(result.size()), 0) < 0) return false;
        digest = result;
        return true;
    }

private:
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool opened = false;
    bool created = false;
};

}  // namespace

bool Sha256(std::span<const uint8_t> bytes, Sha256Digest& digest) { return BcryptSha256().Digest(bytes, digest); }

#else

bool Sha256(std::span<const uint8_t> bytes, Sha256Digest& digest)
{
    sha256_ctx context;
    sha256_init(&context);
    // nettle's length is a size_t: one update takes any span.
    sha256_update(&context, bytes.size(), bytes.data());
    sha256_digest(&context, digest.size(), digest.data());
    return true;
}

#endif

void Sha256Hex(const Sha256Digest& digest, char (&out)[65])
{
    constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < digest.size(); ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    out[64] = '\0';
}

}  // namespace sys
