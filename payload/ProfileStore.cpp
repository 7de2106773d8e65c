// The delivered flash profile store. Like the update package it lives in a section of its own,
// so that the packaging step finds and replaces it in a built program, and it is read only
// through OwnProfileStore(), which hides the object from the optimiser.

#include "payload/ProfileStore.h"

namespace payload {

// Not const and with external linkage: the compiler must assume the bytes can change, and
// "used" keeps the store even though nothing in this file reads it by name. Made when
// compiling, so the program carries the bytes themselves and builds nothing at start-up.
__attribute__((section(NORVIK_PROFILE_SECTION),
               used)) constinit ProfileStoreBytes norvikOwnProfiles = SyntheticProfileStore();

const uint8_t* OwnProfileStore()
{
    const uint8_t* store = norvikOwnProfiles.data();
    // An empty statement that claims to change the pointer: whatever the optimiser knows about
    // the object's initial bytes no longer applies to what the caller reads through it.
    asm volatile("" : "+r"(store));
    return store;
}

namespace {

// Chosen once at start-up, before any thread reads profiles; null: the program's own.
const uint8_t* chosenStore = nullptr;

bool HasNoBlankProfile(const uint8_t* store)
{
    BlankProfile blank{};
    return !FindBlankProfile(store, blank);
}

}  // namespace

const uint8_t* ProfileStoreInUse() { return chosenStore != nullptr ? chosenStore : OwnProfileStore(); }

void UseProfileStore(const uint8_t* store) { chosenStore = store; }

bool OwnProfileStoreIsSynthetic() { return IsSyntheticProfileStore(OwnProfileStore()); }
bool ProfileStoreInUseIsSynthetic() { return IsSyntheticProfileStore(ProfileStoreInUse()); }

bool OwnProfileStoreIsSound() { return HasNoBlankProfile(OwnProfileStore()); }
bool ProfileStoreInUseIsSound() { return HasNoBlankProfile(ProfileStoreInUse()); }

}  // namespace payload
