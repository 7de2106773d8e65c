#pragma once
// The readable form of an update package and of a flash profile store, as `norvik-pack show`
// prints them.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// The text in double quotes, with quotes, backslashes and bytes outside printable ASCII escaped.
std::string Quoted(std::string_view text);

// block: payload::kPackageSize bytes.
void PrintPackage(std::ostream& out, const uint8_t* block);

// store: payload::kProfileStoreSize bytes. Tells whether it is the synthetic store of a program
// built from source or a replaced one, with its first bytes and a checksum of the whole store.
void PrintProfileStore(std::ostream& out, const uint8_t* store);

// FNV-1a over the bytes: the checksum that PrintProfileStore shows.
uint32_t StoreChecksum(const uint8_t* bytes, std::size_t size);
