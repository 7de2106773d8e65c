// The delivered flash profile store as it lies in the program's own data: its size, the tag
// that opens every profile at the offsets written out here, and profiles that cannot be
// mistaken for each other.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string>

#include "payload/ProfileLayout.h"
#include "payload/ProfileStore.h"

namespace {

struct Extent {
    uint32_t offset;
    uint32_t length;
};

// Profiles 0..18 in store order.
constexpr Extent kProfiles[] = {
    {0, 314},     {314, 452},   {766, 1280},   {2046, 1280},  {3326, 998},   {4324, 796},  {5120, 694},
    {5814, 698},  {6512, 1280}, {7792, 854},   {8646, 830},   {9476, 742},   {10218, 946}, {11164, 798},
    {11962, 710}, {12672, 942}, {13614, 1234}, {14848, 1078}, {15926, 1122},
};

TEST(ProfileStore, ProfilesFillTheStoreBackToBack)
{
    uint32_t next = 0;
    for (const Extent& profile : kProfiles) {
        EXPECT_EQ(profile.offset, next);
        next = profile.offset + profile.length;
    }
    EXPECT_EQ(next, payload::kProfileStoreSize);
}

TEST(ProfileStore, DeliveredStoreIsTheSyntheticOne)
{
    const auto synthetic = payload::SyntheticProfileStore();
    EXPECT_TRUE(std::equal(synthetic.begin(), synthetic.end(), payload::OwnProfileStore()));
}

TEST(ProfileStore, EveryProfileOpensWithItsTag)
{
    const uint8_t* store = payload::OwnProfileStore();
    for (int profile = 0; profile < payload::kProfileCount; ++profile) {
        char tag[9];
        std::snprintf(tag, sizeof tag, "NVPROF%02d", profile);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(store + kProfiles[profile].offset), 8), tag);
    }
}

// A stretch of any profile, tag left aside, differs from the same stretch of every other: a
// packet that carries part of a profile still tells which one it was.
TEST(ProfileStore, NoTwoProfilesShareTheirBytes)
{
    const uint8_t* store = payload::OwnProfileStore();
    for (int a = 0; a < payload::kProfileCount; ++a) {
        for (int b = a + 1; b < payload::kProfileCount; ++b) {
            const uint8_t* first = store + kProfiles[a].offset + 8;
            const uint8_t* second = store + kProfiles[b].offset + 8;
            const std::size_t differing = static_cast<std::size_t>(
                std::inner_product(first, first + 64, second, 0, std::plus<>(), std::not_equal_to<>()));
            EXPECT_GT(differing, 32u) << "profiles " << a << " and " << b;
        }
    }
}

}  // namespace
