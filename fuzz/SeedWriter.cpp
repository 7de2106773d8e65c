// Writes the seeds that follow the program's own block, so that they always match the layout
// being fuzzed:
//   package/delivered       four drives and the block as delivered (image placeholder in place)
//   package/image-filled    the same with image bytes in place of the placeholder
//   block_locator/landmarks the block's fields alone, found by their landmarks
//   block_locator/elf       a small ELF file whose package and profile sections start in it
// Usage: fuzz_seeds <directory>  (its package/ and block_locator/ folders must exist)

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/PackageInput.h"
#include "payload/PackageBlock.h"
#include "payload/ProfileLayout.h"

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

// ELF64 little-endian: header, the block's fields, the section names, then the section table
// (null, package, profiles, names). The package and profile sections reach past the end of
// this file; the fuzzer's zero padding makes them fit.
Bytes ElfSeed()
{
    constexpr std::size_t kHeaderSize = 64;
    constexpr std::size_t kSectionHeaderSize = 64;
    static constexpr char kNames[] = "\0.norvik_package\0.norvik_profiles\0.shstrtab";
    constexpr uint32_t kPackageName = 1, kProfilesName = 17, kNamesName = 34;

    Bytes file(kHeaderSize, 0);
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::memcpy(file.data(), ident, sizeof ident);
    PutLittleEndian(file, 0x10, 1, 2);   // relocatable
    PutLittleEndian(file, 0x12, 62, 2);  // x86-64
    PutLittleEndian(file, 0x14, 1, 4);
    PutLittleEndian(file, 0x34, kHeaderSize, 2);
    PutLittleEndian(file, 0x3A, kSectionHeaderSize, 2);
    PutLittleEndian(file, 0x3C, 4, 2);
    PutLittleEndian(file, 0x3E, 3, 2);

    const Bytes block = BlockFields();
    const std::size_t blockOffset = file.size();
    Append(file, block.data(), block.size());
    const std::size_t namesOffset = file.size();
    Append(file, kNames, sizeof kNames);
    file.resize((file.size() + 7) / 8 * 8, 0);
    const std::size_t tableOffset = file.size();
    PutLittleEndian(file, 0x28, tableOffset, 8);
    file.resize(tableOffset + 4 * kSectionHeaderSize, 0);

    auto section = [&](int index, uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        const std::size_t at = tableOffset + static_cast<std::size_t>(index) * kSectionHeaderSize;
        PutLittleEndian(file, at + 0, name, 4);
        PutLittleEndian(file, at + 4, type, 4);
        PutLittleEndian(file, at + 24, offset, 8);
        PutLittleEndian(file, at + 32, size, 8);
    };
    section(1, kPackageName, 1, blockOffset, payload::kPackageSize);
    section(2, kProfilesName, 1, blockOffset + block.size(), payload::kProfileStoreSize);
    section(3, kNamesName, 3, namesOffset, sizeof kNames);
    return file;
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
                         WriteFile(directory + "/block_locator/elf", ElfSeed());
    if (!written) {
        std::fprintf(stderr, "fuzz_seeds: cannot write the seeds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
