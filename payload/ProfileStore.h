#pragma once
// The program's own flash profile store, read at run time from the program's data, and the
// synthetic store that a program built from source carries until real profiles are packed in.
// Every synthetic profile starts with a tag that names it ("NVPROF" and its number in two
// digits) followed by a pattern of its number and the byte's place, so whoever receives a
// profile can tell which one it was.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "payload/ProfileLayout.h"

namespace payload {

// The first byte of the program's own store (kProfileStoreSize bytes). The packaging step may
// have replaced the store in the program file, so its contents are never known when compiling.
const uint8_t* OwnProfileStore();

// The store the program prepares drives with: its own, unless another (kProfileStoreSize bytes,
// living for the rest of the run, such as one read from a package file) was chosen at start-up,
// before any drive is prepared. Everything that reads profiles reads them through this.
const uint8_t* ProfileStoreInUse();
void UseProfileStore(const uint8_t* store);

inline constexpr std::string_view kSyntheticTagPrefix = "NVPROF";
inline constexpr std::size_t kSyntheticTagSize = 8;  // the prefix and two digits

// Byte `index` of synthetic profile `profile`.
constexpr uint8_t SyntheticProfileByte(int profile, std::size_t index)
{
    if (index < kSyntheticTagPrefix.size()) return static_cast<uint8_t>(kSyntheticTagPrefix[index]);
    if (index == kSyntheticTagPrefix.size()) return static_cast<uint8_t>('0' + profile / 10);
    if (index == kSyntheticTagPrefix.size() + 1) return static_cast<uint8_t>('0' + profile % 10);
    uint32_t value = static_cast<uint32_t>(profile + 1) * 2654435761u + static_cast<uint32_t>(index) * 40503u;
    value ^= value >> 15;
    return static_cast<uint8_t>(value);
}

using ProfileStoreBytes = std::array<uint8_t, kProfileStoreSize>;

// The whole synthetic store: every profile at its place, as the profile tables lay them out.
constexpr ProfileStoreBytes SyntheticProfileStore()
{
    ProfileStoreBytes store{};
    for (int profile = 0; profile < kProfileCount; ++profile) {
        const int row = FirstRowOfProfile(profile);
        const uint32_t offset = ProfileStoreOffset(row);
        for (std::size_t i = 0; i < ProfileLength(row); ++i) store[offset + i] = SyntheticProfileByte(profile, i);
    }
    return store;
}

// Whether a store (kProfileStoreSize bytes) is the synthetic one: profiles made up for the
// drive model, which must never reach a real drive.
inline bool IsSyntheticProfileStore(const uint8_t* store)
{
    static constexpr ProfileStoreBytes kSynthetic = SyntheticProfileStore();
    return std::equal(kSynthetic.begin(), kSynthetic.end(), store);
}
bool OwnProfileStoreIsSynthetic();
bool ProfileStoreInUseIsSynthetic();

// A profile whose bytes all hold one value: erased (FFh) or cleared (00h) flash, or a fill,
// never a chip's profile. A store with one is damaged or was made from no real profiles.
struct BlankProfile {
    int profile;
    uint8_t value;
};

// Finds the first blank profile of a store (kProfileStoreSize bytes); false when every profile
// holds bytes of more than one value.
inline bool FindBlankProfile(const uint8_t* store, BlankProfile& blank)
{
    for (int profile = 0; profile < kProfileCount; ++profile) {
        const int row = FirstRowOfProfile(profile);
        const uint8_t* first = store + ProfileStoreOffset(row);
        const uint8_t* end = first + ProfileLength(row);
        if (std::all_of(first, end, [first](uint8_t byte) { return byte == *first; })) {
            blank = BlankProfile{profile, *first};
            return true;
        }
    }
    return false;
}
// Whether the program's own store, or the one in use, may prepare a drive's flash: it has no
// blank profile.
bool OwnProfileStoreIsSound();
bool ProfileStoreInUseIsSound();

}  // namespace payload
