// The packaging step's locator on any file: the ELF and PE header readers, the landmark search
// and the two lookups built on them, with their checks of where a section lies. A refusal
// (PackError) is an expected answer; anything else thrown, any read outside the file and any
// location whose bytes do not lie inside the file is a fault.
//
// Each input is read as a file of its own. An input that could hold a block (ELF or PE magic at
// its start, or the constraint label somewhere) is read a second time with zeros behind it to the
// size of a block more, so that a section or landmark block in the input's bytes fits in the
// file and the paths that accept a block are reached too.

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include "fuzz/Check.h"
#include "package/BlockLocator.h"
#include "package/PackError.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileLayout.h"

namespace {

bool Inside(uint64_t offset, uint64_t length, std::size_t total) { return offset <= total && length <= total - offset; }

void CheckSection(std::span<const uint8_t> file, std::string_view name)
{
    if (const auto section = FindElfSection(file, name))
        FUZZ_CHECK(Inside(section->offset, section->size, file.size()));
    if (const auto section = FindPeSection(file, name)) FUZZ_CHECK(Inside(section->offset, section->size, file.size()));
}

void Locate(std::span<const uint8_t> file)
{
    CheckSection(file, payload::kElfPackageSectionName);
    CheckSection(file, payload::kElfProfileSectionName);
    CheckSection(file, payload::kPePackageSectionName);
    CheckSection(file, payload::kPeProfileSectionName);
    CheckSection(file, "");

    const auto blocks = FindBlocksByLandmarks(file);
    FUZZ_CHECK(std::is_sorted(blocks.begin(), blocks.end()));
    FUZZ_CHECK(std::adjacent_find(blocks.begin(), blocks.end()) == blocks.end());
    for (std::size_t offset : blocks) FUZZ_CHECK(Inside(offset, payload::kPackageSize, file.size()));

    try {
        const BlockLocation block = LocatePackageBlock(file);
        FUZZ_CHECK(Inside(block.offset, payload::kPackageSize, file.size()));
        // Found by section or by landmarks, the block is the only one the landmarks find.
        FUZZ_CHECK(blocks == std::vector<std::size_t>{block.offset});
    } catch (const PackError&) {
    }
    try {
        const std::size_t store = LocateProfileStore(file);
        FUZZ_CHECK(Inside(store, payload::kProfileStoreSize, file.size()));
        FUZZ_CHECK(HasProfileStoreSection(file));
        for (std::size_t offset : blocks) {
            FUZZ_CHECK(store >= offset + payload::kPackageSize || offset >= store + payload::kProfileStoreSize);
        }
    } catch (const PackError&) {
    }
}

bool MayHoldBlock(std::span<const uint8_t> input)
{
    static constexpr uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
    if (input.size() >= sizeof kElfMagic && std::memcmp(input.data(), kElfMagic, sizeof kElfMagic) == 0) return true;
    if (input.size() >= 2 && input[0] == 'M' && input[1] == 'Z') return true;
    const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    return text.find(payload::kConstraintLabel) != std::string_view::npos;
}

// Room for the padded file of any input up to this size; a larger one gets a buffer of its own.
constexpr std::size_t kPaddedRoom = payload::kPackageSize + 65536;

// The padded file, placed so that it ends where a heap buffer ends: the sanitizer sees any read
// past the file's end, and the megabyte of zeros is not written again for every input.
std::span<const uint8_t> PaddedFile(std::span<const uint8_t> input, std::unique_ptr<uint8_t[]>& own)
{
    static uint8_t* const room = new uint8_t[kPaddedRoom]();
    static std::size_t dirtyFrom = kPaddedRoom;  // bytes before the zeros that an input wrote
    const std::size_t paddedSize = input.size() + payload::kPackageSize;
    if (paddedSize > kPaddedRoom) {
        own.reset(new uint8_t[paddedSize]());
        std::memcpy(own.get(), input.data(), input.size());
        return {own.get(), paddedSize};
    }
    const std::size_t zerosFrom = kPaddedRoom - payload::kPackageSize;
    if (dirtyFrom < zerosFrom) std::memset(room + dirtyFrom, 0, zerosFrom - dirtyFrom);
    dirtyFrom = kPaddedRoom - paddedSize;
    std::memcpy(room + dirtyFrom, input.data(), input.size());
    return {room + dirtyFrom, paddedSize};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    Locate(input);
    if (!MayHoldBlock(input)) return 0;
    std::unique_ptr<uint8_t[]> own;
    Locate(PaddedFile(input, own));
    return 0;
}
