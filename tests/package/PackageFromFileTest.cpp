// A package read from a file a person names: the real probe programs (ELF and PE) packed here, a
// package file made from one, and the files that must be refused with their reason.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "package/BlockLocator.h"
#include "package/PackageEditor.h"
#include "package/PackageFromFile.h"
#include "package/PackageReader.h"
#include "package/ProgramFile.h"

#ifndef PE_PACKAGE_PROBE
#define PE_PACKAGE_PROBE ""
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes Image()
{
    Bytes image(payload::kImageAreaSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return image;
}

// A copy of the program with a firmware packed into bank 1 and its digest recorded, as
// norvik-pack set does.
Bytes PackedProgram(const char* program)
{
    Bytes bytes = ReadWholeFile(program, kMostPackageSourceBytes);
    const BlockLocation block = LocatePackageBlock(bytes);
    PackageEditor editor(std::span<uint8_t, payload::kPackageSize>(bytes.data() + block.offset, payload::kPackageSize));
    editor.PutImage(0, Image(), std::nullopt);
    editor.CheckPackage();
    EXPECT_TRUE(RecordImageDigests(bytes.data() + block.offset, bytes.data() + LocateImageDigests(bytes)));
    return bytes;
}

// A package file made from the packed ELF probe, as norvik-pack export writes it.
Bytes PackageFile()
{
    const Bytes program = PackedProgram(PACKAGE_PROBE);
    Bytes file(payload::kPackageFileSize);
    std::memcpy(file.data(), payload::kPackageFileMagic.data(), payload::kPackageFileMagicSize);
    std::memcpy(file.data() + offsetof(payload::PackageFileLayout, package),
                program.data() + LocatePackageBlock(program).offset, payload::kPackageSize);
    std::memcpy(file.data() + offsetof(payload::PackageFileLayout, profiles),
                program.data() + LocateProfileStore(program), payload::kProfileStoreSize);
    std::memcpy(file.data() + offsetof(payload::PackageFileLayout, digests),
                program.data() + LocateImageDigests(program), payload::kImageDigestsSize);
    return file;
}

constexpr std::size_t kFirstImageByte = offsetof(payload::PackageFileLayout, package) +
                                        offsetof(payload::PackageBlock, imageArea);

struct Row {
    const char* name;
    std::function<void(const fs::path&)> make;  // makes the file at the path
    bool accepted;
    const char* reasonOrState;  // a part of the reason, or the digest state's name when accepted
    bool needsPeProbe = false;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

void Write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string StateName(DigestState state)
{
    switch (state) {
    case DigestState::Matching: return "Matching";
    case DigestState::NoneRecorded: return "NoneRecorded";
    default: return "other";
    }
}

const Row kRows[] = {
    {"ElfProgram", [](const fs::path& p) { Write(p, PackedProgram(PACKAGE_PROBE)); }, true, "Matching"},
    {"PeProgram", [](const fs::path& p) { Write(p, PackedProgram(PE_PACKAGE_PROBE)); }, true, "Matching", true},
    {"PackageFile", [](const fs::path& p) { Write(p, PackageFile()); }, true, "Matching"},
    {"DamagedImage",
     [](const fs::path& p) {
         Bytes file = PackageFile();
         file[kFirstImageByte + 4096] ^= 0x01;
         Write(p, file);
     },
     false, "the image of bank 1 does not match"},
    {"DamagedDigest",
     [](const fs::path& p) {
         Bytes file = PackageFile();
         file[offsetof(payload::PackageFileLayout, digests) + offsetof(payload::ImageDigests, sha256) + 31] ^= 0x80;
         Write(p, file);
     },
     false, "the image of bank 1 does not match"},
    {"MissingDigest",
     [](const fs::path& p) {
         Bytes file = PackageFile();
         file[offsetof(payload::PackageFileLayout, digests) + offsetof(payload::ImageDigests, recorded)] = 0;
         Write(p, file);
     },
     true, "NoneRecorded"},
    {"ProgramCarryingNothing", [](const fs::path& p) { fs::copy_file(PACKAGE_PROBE, p); }, false,
     "carries no firmware"},
    {"NoPackageAtAll", [](const fs::path& p) { Write(p, Image()); }, false, "neither a package file nor a program"},
    {"CutShortPackageFile",
     [](const fs::path& p) {
         Bytes file = PackageFile();
         file.resize(file.size() - 1);
         Write(p, file);
     },
     false, "cut short"},
    {"Directory", [](const fs::path& p) { fs::create_directory(p); }, false, "is a directory"},
    {"Fifo", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, false, "is a FIFO"},
    {"TooLarge", [](const fs::path& p) { fs::resize_file((Write(p, {}), p), kMostPackageSourceBytes + 1); }, false,
     "more than the"},
};

class PackageFromFileTest : public testing::TestWithParam<Row> {};

TEST_P(PackageFromFileTest, TakesOrRefusesWithTheReason)
{
    const Row& row = GetParam();
    if (row.needsPeProbe && std::string(PE_PACKAGE_PROBE).empty()) GTEST_SKIP() << "no mingw-w64 to build the probe";
    const fs::path path = fs::path(testing::TempDir()) /
                          ("norvik-package-from-file-" + std::to_string(getpid()) + "-" + row.name);
    fs::remove_all(path);
    row.make(path);
    auto package = std::make_unique<PackageFromFile>();
    std::string reason;
    const bool accepted = ReadPackageFromFile(path.c_str(), *package, reason);
    fs::remove_all(path);

    EXPECT_EQ(accepted, row.accepted) << reason;
    if (!row.accepted) {
        EXPECT_THAT(reason, testing::HasSubstr(row.reasonOrState));
        return;
    }
    EXPECT_EQ(StateName(package->digestState), row.reasonOrState);
    const PackageReader reader(package->block);
    EXPECT_EQ(reader.NewRevisionForComparison(0), "RN08");
    EXPECT_EQ(std::memcmp(reader.ImageArea(), Image().data(), payload::kImageAreaSize), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, PackageFromFileTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
