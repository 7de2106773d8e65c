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

bool OwnProfileStoreIsSynthetic() { return IsSyntheticProfileStore(OwnProfileStore()); }

bool OwnProfileStoreIsSound()
{
    BlankProfile blank{};
    return !FindBlankProfile(OwnProfileStore(), blank);
}

}  // namespace payload
