// Writes the seeds that follow the program's own block, so that they always match the layout
// being fuzzed:
//   package/delivered       four drives and the block as delivered (image placeholder in place)
//   package/image-filled    the same with image bytes in place of the placeholder
//   block_locator/landmarks the block's fields alone, found by their landmarks
//   block_locator/elf       a small ELF program whose package section starts in it
//   profile_store/synthetic the key of a chip in the profile table, then the synthetic store
//   profile_store/blank-profile  the same with one profile of zeros
// Usage: fuzz_seeds <directory>  (its package/, block_locator/ and profile_store/ folders must
// exist)

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/PackageInput.h"
#include "payload/PackageBlock.h"
#include "payload/ProfileLayout.h"
#include "payload/ProfileStore.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool WriteFile(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

void Append(Bytes& bytes, const void* data, std::size_t size)
{
    const auto* first = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), first, first + size);
}

void PutLittleEndian(Bytes& bytes, std::size_t at, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

fuzz::DriveBytes Drive(const char* vendor, const char* product, const char* revision, uint8_t present)
{
    fuzz::DriveBytes drive{};
    std::memcpy(drive.vendor, vendor, sizeof drive.vendor);
    std::memcpy(drive.product, product, sizeof drive.product);
    std::memcpy(drive.revision, revision, sizeof drive.revision);
    drive.present = present;
    return drive;
}

Bytes BlockFields()
{
    const uint8_t* block = payload::OwnPackageBlock();
    return Bytes(block, block + fuzz::kSeedBlockBytes);
}

Bytes PackageSeed(bool fillImage)
{
    const fuzz::DriveBytes drives[fuzz::kInputDrives] = {
        Drive("TALVORE ", "DVDRW KRX-407T  ", "RN05", 1),  // accepted by the first row
        Drive("TALVORE ", "DVDRW KRX-407T  ", "RN08", 1),  // already at the new revision
        Drive("OTHERCO ", "DVD-ROM 16X     ", "1.00", 1),  // no row accepts it
        Drive("TALVORE ", "DVDRW KRX-407T  ", "0N03", 0),  // not present
    };
    Bytes seed;
    Append(seed, drives, sizeof drives);
    Bytes block = BlockFields();
    if (fillImage) std::memset(block.data() + offsetof(payload::PackageBlock, imageArea), 0x5A, 64);
    Append(seed, block.data(), block.size());
    return seed;
}

// ELF64 little-endian program: header, one loaded data segment, the section names, the section
// table (null, package, profiles, names), then the block's fields. The package section and its
// segment reach past the end of this file, and the fuzzer's zero padding makes them fit; the
// profile section lies behind the package, beyond even the padding.
Bytes ElfSeed()
{
    constexpr std::size_t kHeaderSize = 64;
    constexpr std::size_t kProgramHeaderSize = 56;
    constexpr std::size_t kSectionHeaderSize = 64;
    constexpr uint64_t kLoadAddress = 0x10000;
    constexpr uint64_t kWritableData = 3;  // SHF_WRITE | SHF_ALLOC
    static constexpr char kNames[] = "\0.norvik_package\0.norvik_profiles\0.shstrtab";
    constexpr uint32_t kPackageName = 1, kProfilesName = 17, kNamesName = 34;

    Bytes file(kHeaderSize + kProgramHeaderSize, 0);
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::memcpy(file.data(), ident, sizeof ident);
    PutLittleEndian(file, 0x10, 3, 2);   // position-independent executable
    PutLittleEndian(file, 0x12, 62, 2);  // x86-64
    PutLittleEndian(file, 0x14, 1, 4);
    PutLittleEndian(file, 0x20, kHeaderSize, 8);
    PutLittleEndian(file, 0x34, kHeaderSize, 2);
    PutLittleEndian(file, 0x36, kProgramHeaderSize, 2);
    PutLittleEndian(file, 0x38, 1, 2);
    PutLittleEndian(file, 0x3A, kSectionHeaderSize, 2);
    PutLittleEndian(file, 0x3C, 4, 2);
    PutLittleEndian(file, 0x3E, 3, 2);

    const std::size_t namesOffset = file.size();
    Append(file, kNames, sizeof kNames);
    file.resize((file.size() + 7) / 8 * 8, 0);
    const std::size_t tableOffset = file.size();
    PutLittleEndian(file, 0x28, tableOffset, 8);
    file.resize(tableOffset + 4 * kSectionHeaderSize, 0);
    const Bytes block = BlockFields();
    const std::size_t blockOffset = file.size();
    Append(file, block.data(), block.size());
    PutLittleEndian(file, kHeaderSize + 0, 1, 4);  // PT_LOAD
    PutLittleEndian(file, kHeaderSize + 4, 6, 4);  // read, write
    PutLittleEndian(file, kHeaderSize + 8, blockOffset, 8);
    PutLittleEndian(file, kHeaderSize + 16, kLoadAddress + blockOffset, 8);
    PutLittleEndian(file, kHeaderSize + 32, payload::kPackageSize, 8);
    PutLittleEndian(file, kHeaderSize + 40, payload::kPackageSize, 8);

    auto section = [&](int index, uint32_t name, uint32_t type, uint64_t offset, uint64_t size, uint64_t flags) {
        const std::size_t at = tableOffset + static_cast<std::size_t>(index) * kSectionHeaderSize;
        PutLittleEndian(file, at + 0, name, 4);
        PutLittleEndian(file, at + 4, type, 4);
        PutLittleEndian(file, at + 8, flags, 8);
        PutLittleEndian(file, at + 16, flags != 0 ? kLoadAddress + offset : 0, 8);
        PutLittleEndian(file, at + 24, offset, 8);
        PutLittleEndian(file, at + 32, size, 8);
    };
    section(1, kPackageName, 1, blockOffset, payload::kPackageSize, kWritableData);
    section(2, kProfilesName, 1, blockOffset + payload::kPackageSize, payload::kProfileStoreSize, kWritableData);
    section(3, kNamesName, 3, namesOffset, sizeof kNames, 0);
    return file;
}

Bytes ProfileStoreSeed(bool blankProfile)
{
    Bytes seed(payload::kFlashProfileTable[2], payload::kFlashProfileTable[2] + payload::kProfileKeySize);
    const payload::ProfileStoreBytes store = payload::SyntheticProfileStore();
    Append(seed, store.data(), store.size());
    if (blankProfile) {
        const int row = payload::FirstRowOfProfile(7);
        std::memset(seed.data() + payload::kProfileKeySize + payload::ProfileStoreOffset(row), 0,
                    payload::ProfileLength(row));
    }
    return seed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <directory>\n");
        return 2;
    }
    const std::string directory = argv[1];
    const bool written = WriteFile(directory + "/package/delivered", PackageSeed(false)) &&
                         WriteFile(directory + "/package/image-filled", PackageSeed(true)) &&
                         WriteFile(directory + "/block_locator/landmarks", BlockFields()) &&
                         WriteFile(directory + "/block_locator/elf", ElfSeed()) &&
                         WriteFile(directory + "/profile_store/synthetic", ProfileStoreSeed(false)) &&
                         WriteFile(directory + "/profile_store/blank-profile", ProfileStoreSeed(true));
    if (!written) {
        std::fprintf(stderr, "fuzz_seeds: cannot write the seeds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
