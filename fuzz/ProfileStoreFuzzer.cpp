// The flash profile store as the program reads it: the check at start (a profile of one byte
// value refuses the store), the synthetic store's recognition, the profile fetch of the flash
// profile step for the chip key the input gives and for every row's key, and norvik-pack's
// verdict and printout. Whatever the store's bytes, reads stay inside it (the store is a heap
// buffer of exactly its size) and every fetched profile is the store's bytes at the row's place.

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <streambuf>

#include "flash/FlashProfiles.h"
#include "fuzz/Check.h"
#include "package/PackageEditor.h"
#include "package/PackagePrinter.h"
#include "payload/ProfileLayout.h"
#include "payload/ProfileStore.h"

namespace {

using payload::kProfileStoreSize;

// Input: the four bytes of a flash identification reply's key, then the store, cut to or padded
// with zeros to its size.
constexpr std::size_t kKeySize = payload::kProfileKeySize;

uint8_t* Store()
{
    static uint8_t* store = new uint8_t[kProfileStoreSize]();
    return store;
}

bool IsProfileOfRow(const uint8_t* fetched, const uint8_t* store, int row)
{
    return std::equal(fetched, fetched + payload::ProfileLength(row), store + payload::ProfileStoreOffset(row));
}

void CheckFetch(const uint8_t* store, const uint8_t* key)
{
    static std::array<uint8_t, flash::kProfileClearedBytes> destination;
    const std::optional<int> row = flash::FindProfileRow(key[0], key[1], key[2], key[3]);
    const uint8_t* fetched = flash::FetchProfile(store, key[0], key[1], key[2], key[3], destination);
    FUZZ_CHECK((fetched != nullptr) == row.has_value());
    if (fetched == nullptr) return;
    FUZZ_CHECK(fetched == destination.data() && IsProfileOfRow(fetched, store, *row));
    // A destination one byte short of the profile receives nothing.
    const std::span<uint8_t> tooShort(destination.data(), payload::ProfileLength(*row) - 1);
    FUZZ_CHECK(flash::FetchProfile(store, key[0], key[1], key[2], key[3], tooShort) == nullptr);
}

bool ProfileIsBlank(const uint8_t* store, int profile)
{
    const int row = payload::FirstRowOfProfile(profile);
    const uint8_t* first = store + payload::ProfileStoreOffset(row);
    return std::all_of(first, first + payload::ProfileLength(row), [first](uint8_t b) { return b == *first; });
}

void CheckBlankProfile(const uint8_t* store)
{
    payload::BlankProfile blank{-1, 0};
    const bool found = payload::FindBlankProfile(store, blank);
    const int firstChecked = found ? blank.profile : payload::kProfileCount;
    for (int profile = 0; profile < firstChecked; ++profile) FUZZ_CHECK(!ProfileIsBlank(store, profile));
    if (found) {
        FUZZ_CHECK(ProfileIsBlank(store, blank.profile));
        FUZZ_CHECK(store[payload::ProfileStoreOffset(payload::FirstRowOfProfile(blank.profile))] == blank.value);
    }
    FUZZ_CHECK(ProfileStoreRefusal(store).empty() != found);
    FUZZ_CHECK(!(found && payload::IsSyntheticProfileStore(store)));
}

// Swallows what the printer writes.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t key[kKeySize] = {};
    std::memcpy(key, data, std::min(size, kKeySize));
    const std::size_t storeBytes = size > kKeySize ? std::min(size - kKeySize, kProfileStoreSize) : 0;
    uint8_t* store = Store();
    if (storeBytes != 0) std::memcpy(store, data + kKeySize, storeBytes);
    std::memset(store + storeBytes, 0, kProfileStoreSize - storeBytes);

    CheckFetch(store, key);
    for (const auto& row : payload::kFlashProfileTable) CheckFetch(store, row);
    CheckBlankProfile(store);
    NullBuffer nothing;
    std::ostream out(&nothing);
    PrintProfileStore(out, store);
    return 0;
}
