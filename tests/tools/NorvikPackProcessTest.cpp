// norvik-pack run as a process on copies of a built program (the package probe), and the packed
// copies run in turn: a packed program must behave as packed, an unpacked one as delivered, and
// a refused packing must leave the file exactly as it was.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "payload/ProfileStore.h"

using testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Firmware(std::size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

// The same checksum as the probe prints for a bank.
uint32_t Checksum(const std::vector<uint8_t>& bytes)
{
    uint32_t hash = 2166136261u;
    for (uint8_t byte : bytes) hash = (hash ^ byte) * 16777619u;
    return hash;
}

std::string Hex(uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The first bytes as the probe and `show` print them: "4e 56 ...".
std::string HexBytes(const uint8_t* bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
        text += byte;
    }
    return text;
}

class NorvikPackProcess : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "norvik-pack-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        program = directory / "probe";
        fs::copy_file(PACKAGE_PROBE, program);
    }
    void TearDown() override { fs::remove_all(directory); }

    Outcome Run(const std::vector<std::string>& command) const
    {
        std::string line;
        for (const auto& part : command) line += ShellQuote(part) + " ";
        const fs::path errors = directory.parent_path() / (directory.filename().string() + ".stderr");
        FILE* pipe = popen((line + "2>" + ShellQuote(errors.string())).c_str(), "r");
        Outcome outcome{-1, "", ""};
        if (pipe == nullptr) return outcome;
        char buffer[4096];
        while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) outcome.out.append(buffer, read);
        const int status = pclose(pipe);
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const auto err = ReadBytes(errors);
        outcome.err.assign(err.begin(), err.end());
        fs::remove(errors);
        return outcome;
    }

    Outcome Pack(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), NORVIK_PACK);
        return Run(arguments);
    }

    std::vector<std::string> DirectoryEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path directory;
    fs::path program;
};

TEST_F(NorvikPackProcess, ShowPrintsTheDeliveredPackage)
{
    const Outcome shown = Pack({"show", program.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("found by section .norvik_package"));
    EXPECT_THAT(shown.out, HasSubstr("caption:      \"Flash Program for TALVORE DVDRW KRX-407T\"\n"));
    EXPECT_THAT(shown.out, HasSubstr("  HOW_MANY_BIN  1\n"));
    EXPECT_THAT(shown.out,
                HasSubstr("  bank 1  start 0  size 1048576  new revision \"RN08\"\n"
                          "    takes: vendor \"TALVORE \" product \"DVDRW KRX-407T  \" revisions \"RN01\" to "
                          "\"RN08\"; vendor \"TALVORE \" product \"DVDRW KRX-407T  \" revision \"0N03\"\n"));
    EXPECT_THAT(shown.out, HasSubstr("image area: no firmware"));
    EXPECT_TRUE(shown.err.empty());
}

TEST_F(NorvikPackProcess, UnpackedProgramRunsWithTheDeliveredPackage)
{
    const Outcome run = Run({program.string()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("caption: Flash Program for TALVORE DVDRW KRX-407T\n"));
    EXPECT_THAT(run.out, HasSubstr("setting REBOOT 1\n"));
    EXPECT_THAT(run.out, HasSubstr("setting HOW_MANY_BIN 1\n"));
    EXPECT_THAT(run.out, HasSubstr("image: placeholder\n"));
    EXPECT_THAT(run.out, HasSubstr("bank 1: start 0 size 1048576 revision \"RN08\" compared \"RN08\" first 42 41 4e"));
}

TEST_F(NorvikPackProcess, PackedProgramRunsAsPacked)
{
    const fs::path untouched = directory / "untouched";
    fs::copy_file(program, untouched);
    const auto first = Firmware(524288, 1);
    const auto second = Firmware(262144, 2);
    WriteBytes(directory / "first.bin", first);
    WriteBytes(directory / "second.bin", second);

    const Outcome packed = Pack({"set", program.string(), "--caption", "Packed Caption", "--setting", "AUTOMODE=2",
                                 "--setting", "WARNING=0", "--setting=HOW_MANY_BIN=2", "--image",
                                 "1=" + (directory / "first.bin").string(), "--image",
                                 "2=" + (directory / "second.bin").string(), "--new-revision", "2=RN09", "--constraint",
                                 "2.1=RN01,RN07,TALVORE ,DVDRW KRX-407T  "});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;

    const Outcome run = Run({program.string()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("caption: Packed Caption\n"));
    EXPECT_THAT(run.out, HasSubstr("setting AUTOMODE 2\n"));
    EXPECT_THAT(run.out, HasSubstr("setting WARNING 0\n"));
    EXPECT_THAT(run.out, HasSubstr("setting REBOOT 1\n"));
    EXPECT_THAT(run.out, HasSubstr("setting HOW_MANY_BIN 2\n"));
    EXPECT_THAT(run.out, HasSubstr("image: firmware\n"));
    EXPECT_THAT(run.out, HasSubstr("constraint 1.1: \"RN01\" \"RN08\" \"TALVORE \" \"DVDRW KRX-407T  \"\n"));
    EXPECT_THAT(run.out, HasSubstr("bank 1: start 0 size 524288 revision \"RN08\""));
    EXPECT_THAT(run.out, HasSubstr("checksum " + Hex(Checksum(first)) + "\n"));
    EXPECT_THAT(run.out, HasSubstr("bank 2: start 524288 size 262144 revision \"RN09\""));
    EXPECT_THAT(run.out, HasSubstr("checksum " + Hex(Checksum(second)) + "\n"));

    const Outcome delivered = Run({untouched.string()});
    EXPECT_THAT(delivered.out, HasSubstr("caption: Flash Program for TALVORE DVDRW KRX-407T\n"));
    EXPECT_THAT(delivered.out, HasSubstr("setting HOW_MANY_BIN 1\n"));
    EXPECT_THAT(delivered.out, HasSubstr("image: placeholder\n"));

    const Outcome shown = Pack({"show", program.string()});
    EXPECT_THAT(shown.out, HasSubstr("  bank 2 row 1  \"RN01\" \"RN07\" \"TALVORE \" \"DVDRW KRX-407T  \"\n"));
    EXPECT_THAT(shown.out, HasSubstr("image area: holds firmware"));
}

// export writes the packed program's package as a package file, which set edits like a program
// and show reads; an image damaged since it was packed stops both set and export.
TEST_F(NorvikPackProcess, ExportsAPackageFileThatSetAndShowTake)
{
    const fs::path file = directory / "update.nvpkg";
    EXPECT_THAT(Pack({"export", program.string(), file.string()}).err, HasSubstr("carries no firmware"));
    WriteBytes(directory / "firmware.bin", Firmware(1048576, 3));
    ASSERT_EQ(Pack({"set", program.string(), "--image", "1=" + (directory / "firmware.bin").string()}).exitCode, 0);
    const Outcome exported = Pack({"export", program.string(), file.string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(fs::file_size(file), 1067903u);
    EXPECT_EQ(Pack({"export", program.string(), file.string()}).exitCode, 1) << "an existing file is overwritten";

    ASSERT_EQ(Pack({"set", file.string(), "--caption", "From A File"}).exitCode, 0);
    const Outcome shown = Pack({"show", file.string()});
    EXPECT_THAT(shown.out, HasSubstr("caption:      \"From A File\""));
    EXPECT_THAT(shown.out, HasSubstr("digests:      recorded, every bank in use matches"));

    // One image byte changed after packing, in the file and in the program.
    const std::size_t imageByte = 16 + 2123 + 1000;
    auto bytes = ReadBytes(file);
    bytes[imageByte] ^= 0x01;
    WriteBytes(file, bytes);
    const Outcome damaged = Pack({"set", file.string(), "--caption", "Again"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_THAT(damaged.err, HasSubstr("the image of bank 1 does not match"));
    EXPECT_THAT(Pack({"show", file.string()}).out, HasSubstr("does NOT match"));
}

TEST_F(NorvikPackProcess, PackedProgramStopsOnAnInvalidPackageItCarries)
{
    // A package that norvik-pack refuses can still reach a program by other means; the program
    // must stop on it instead of reading outside its image area.
    auto bytes = ReadBytes(program);
    const std::string key = "BIN_SIZE1=0001048576";
    const auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
    ASSERT_NE(at, bytes.end());
    const std::string oversized = "BIN_SIZE1=0001048577";
    std::copy(oversized.begin(), oversized.end(), at);
    WriteBytes(program, bytes);

    const Outcome run = Run({program.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr("start-up: Invalid F/W package in executable !\n"));
    EXPECT_THAT(Pack({"show", program.string()}).out, HasSubstr("ends at 1048577, beyond the image area"));
}

TEST_F(NorvikPackProcess, PackingKeepsTheFileMode)
{
    fs::permissions(program, fs::perms(0751));
    const Outcome packed = Pack({"set", program.string(), "--caption", "Mode kept"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(fs::status(program).permissions(), fs::perms(0751));
    EXPECT_THAT(Run({program.string()}).out, HasSubstr("caption: Mode kept\n"));
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe"));
}

TEST_F(NorvikPackProcess, RefusesAFileWithSeveralHardLinks)
{
    fs::create_hard_link(program, directory / "probe-link");
    const auto before = ReadBytes(program);
    const Outcome refused = Pack({"set", program.string(), "--caption", "Split"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("has 2 hard links"));
    EXPECT_TRUE(ReadBytes(program) == before) << "the program file changed";
    EXPECT_TRUE(fs::equivalent(program, directory / "probe-link"));
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe", "probe-link"));
}

// Root packs a set-user-ID program of another user: it stays theirs, with every mode bit.
TEST_F(NorvikPackProcess, RootKeepsTheOwnerGroupAndSetUserIdBit)
{
    if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    ASSERT_EQ(chown(program.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(program.c_str(), 04755), 0);
    const Outcome packed = Pack({"set", program.string(), "--caption", "Owner kept"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    struct stat status {};
    ASSERT_EQ(stat(program.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
    EXPECT_EQ(status.st_mode & 07777, 04755u);
    EXPECT_THAT(Pack({"show", program.string()}).out, HasSubstr("Owner kept"));
}

// A writer who may not give the replacement to the file's owner is refused before writing.
TEST_F(NorvikPackProcess, WriterWhoCannotKeepTheOwnerIsRefused)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(chmod(directory.c_str(), 0777), 0);
    ASSERT_EQ(chmod(program.c_str(), 04777), 0);
    const auto before = ReadBytes(program);
    const Outcome refused = Run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", NORVIK_PACK, "set",
                                 program.string(), "--caption", "Taken over"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("cannot keep the owner (uid 0) and group (gid 0) of"));
    struct stat status {};
    ASSERT_EQ(stat(program.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u);
    EXPECT_EQ(status.st_mode & 07777, 04777u);
    EXPECT_TRUE(ReadBytes(program) == before) << "the program file changed";
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe"));
}

// The path a process has open as this descriptor.
std::string OpenPath(pid_t process, uint64_t descriptor)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%d/fd/%llu", static_cast<int>(process),
                  static_cast<unsigned long long>(descriptor));
    char target[4096];
    const ssize_t length = readlink(link, target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// Runs norvik-pack traced, stops it as it enters its first write to a file in `folder` (its copy
// of the program), sends it the signal and lets it go on untraced. Returns its wait status and
// the copy's path as the system names it, or -1 when this system does not allow tracing.
int PackSignalledInTheWrite(const std::vector<std::string>& arguments, const fs::path& folder, int signalNumber,
                            std::string& copySeen)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(NORVIK_PACK));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(126);
        execv(NORVIK_PACK, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);  // stopped by its exec
    if (!WIFSTOPPED(status)) return -1;
    ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    while (ptrace(PTRACE_SYSCALL, child, nullptr, nullptr) == 0 && waitpid(child, &status, 0) == child &&
           WIFSTOPPED(status)) {
        __ptrace_syscall_info call{};
        if (WSTOPSIG(status) != (SIGTRAP | 0x80) || ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof call, &call) <= 0 ||
            call.op != PTRACE_SYSCALL_INFO_ENTRY || call.entry.nr != SYS_write)
            continue;
        copySeen = OpenPath(child, call.entry.args[0]);
        if (copySeen.rfind(folder.string() + "/", 0) != 0) continue;
        kill(child, signalNumber);
        ptrace(PTRACE_DETACH, child, nullptr, nullptr);
        waitpid(child, &status, 0);
        break;
    }
    return status;
}

class NorvikPackSignalled : public NorvikPackProcess, public testing::WithParamInterface<int> {};

// Every signal that ends a process by default, as one arrives while the copy is written: the
// program stays as it was, and no copy is left beside it.
TEST_P(NorvikPackSignalled, InTheWriteLeavesNoCopyBehind)
{
    const auto before = ReadBytes(program);
    std::string copySeen;
    const int status = PackSignalledInTheWrite({"set", program.string(), "--caption", "Cut short"}, directory,
                                               GetParam(), copySeen);
    if (status == -1) GTEST_SKIP() << "this system does not allow tracing a child";
    ASSERT_THAT(copySeen, HasSubstr(directory.string() + "/")) << "no write to the copy seen";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) << "wait status " << status;
    EXPECT_TRUE(ReadBytes(program) == before) << "the program file changed";
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe"));
}

INSTANTIATE_TEST_SUITE_P(Signals, NorvikPackSignalled,
                         testing::Values(SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE,
                                         SIGVTALRM, SIGXFSZ, SIGPROF),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A user who may not write the file does not replace it, though the folder would let them.
TEST_F(NorvikPackProcess, FileItsUserMayNotWriteIsRefused)
{
    std::vector<std::string> asUser = {NORVIK_PACK};
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(directory.c_str(), 0777), 0);
        ASSERT_EQ(chown(program.c_str(), 65534, 65534), 0);
        asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", NORVIK_PACK};
    }
    ASSERT_EQ(chmod(program.c_str(), 0444), 0);
    const auto before = ReadBytes(program);
    asUser.insert(asUser.end(), {"set", program.string(), "--caption", "Not mine to write"});
    const Outcome refused = Run(asUser);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr(program.string() + " is not writable by this user"));
    EXPECT_TRUE(ReadBytes(program) == before) << "the program file changed";
    EXPECT_EQ(fs::status(program).permissions(), fs::perms(0444));
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe"));
    if (geteuid() != 0) return;
    // Root may write it, as with any other tool; the mode stays.
    const Outcome packed = Pack({"set", program.string(), "--caption", "Root packs it"});
    EXPECT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_EQ(fs::status(program).permissions(), fs::perms(0444));
}

TEST_F(NorvikPackProcess, FindsTheBlockByLandmarksWithoutASectionTable)
{
    // Clear the section table's offset, count and name index: the program still runs.
    auto bytes = ReadBytes(program);
    std::fill(bytes.begin() + 0x28, bytes.begin() + 0x30, 0);
    std::fill(bytes.begin() + 0x3C, bytes.begin() + 0x40, 0);
    WriteBytes(program, bytes);
    fs::permissions(program, fs::perms(0755));

    EXPECT_THAT(Pack({"show", program.string()}).out, HasSubstr("found by landmarks"));
    const Outcome packed = Pack({"set", program.string(), "--caption", "Found without sections"});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_THAT(Run({program.string()}).out, HasSubstr("caption: Found without sections\n"));
}

uint64_t LittleEndianAt(const std::vector<uint8_t>& bytes, std::size_t at, int width)
{
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

void PutLittleEndianAt(std::vector<uint8_t>& bytes, std::size_t at, uint64_t value)
{
    for (int i = 0; i < 8; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// File position of the offset field in the section header that points at this file offset.
std::size_t SectionOffsetField(const std::vector<uint8_t>& bytes, uint64_t sectionOffset)
{
    const uint64_t table = LittleEndianAt(bytes, 0x28, 8);
    const uint64_t entrySize = LittleEndianAt(bytes, 0x3A, 2);
    const uint64_t count = LittleEndianAt(bytes, 0x3C, 2);
    for (uint64_t index = 0; index < count; ++index) {
        const auto field = static_cast<std::size_t>(table + index * entrySize + 24);
        if (LittleEndianAt(bytes, field, 8) == sectionOffset) return field;
    }
    return 0;
}

// Where the probe's package block, its profile store (the last copy of the synthetic store's
// first profile tag: an earlier one is the program's own constant to compare with) and its code
// lie in the file.
std::size_t BlockOffset(const std::vector<uint8_t>& bytes)
{
    const std::string key = "BIN_SIZE1=0001048576";
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), key.begin(), key.end()) - bytes.begin()) -
           1975;
}

std::size_t StoreOffset(const std::vector<uint8_t>& bytes)
{
    const std::string tag = "NVPROF00";
    return static_cast<std::size_t>(std::find_end(bytes.begin(), bytes.end(), tag.begin(), tag.end()) - bytes.begin());
}

std::size_t CodeOffset(const std::vector<uint8_t>& bytes)
{
    for (uint64_t index = 0; index < LittleEndianAt(bytes, 0x38, 2); ++index) {
        const auto at = static_cast<std::size_t>(LittleEndianAt(bytes, 0x20, 8) + index * 56);
        if (LittleEndianAt(bytes, at, 4) == 1 && (LittleEndianAt(bytes, at + 4, 4) & 1) != 0)
            return static_cast<std::size_t>(LittleEndianAt(bytes, at + 8, 8));
    }
    return 0;
}

// A copy of the package behind the program's end, the section pointed at it or not.
void AppendSecondPackage(std::vector<uint8_t>& bytes, bool pointSectionAtIt)
{
    const std::size_t block = BlockOffset(bytes);
    const std::size_t copy = bytes.size();
    bytes.insert(bytes.end(), bytes.begin() + static_cast<std::ptrdiff_t>(block),
                 bytes.begin() + static_cast<std::ptrdiff_t>(block + 1050699));
    if (pointSectionAtIt) PutLittleEndianAt(bytes, SectionOffsetField(bytes, block), copy);
}

void PointStoreSectionAt(std::vector<uint8_t>& bytes, std::size_t offset)
{
    PutLittleEndianAt(bytes, SectionOffsetField(bytes, StoreOffset(bytes)), offset);
}

struct Refusal {
    std::string name;
    // "{fw}" stands for a firmware file of 6 blocks, "{odd}" for 1,000 bytes, "{zeros}" and
    // "{ffs}" for 6 blocks of 00h and of FFh, "{store}" for a profile store, "{zero-store}" for one
    // of zeros, "{blank-profile}" for one whose profile 7 holds only FFh.
    std::vector<std::string> options;
    std::string reason;
    std::function<void(std::vector<uint8_t>&)> alter = nullptr;  // changes the program file first
    bool lockedByAnother = false;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

class NorvikPackRefusal : public NorvikPackProcess, public testing::WithParamInterface<Refusal> {
protected:
    void WriteInputs() const
    {
        WriteBytes(directory / "fw.bin", Firmware(98304, 7));
        WriteBytes(directory / "odd.bin", Firmware(1000, 9));
        WriteBytes(directory / "zeros.bin", std::vector<uint8_t>(98304, 0x00));
        WriteBytes(directory / "ffs.bin", std::vector<uint8_t>(98304, 0xFF));
        auto store = Firmware(17048, 10);
        WriteBytes(directory / "store.bin", store);
        WriteBytes(directory / "zero-store.bin", std::vector<uint8_t>(17048, 0x00));
        std::fill_n(store.begin() + 5814, 698, 0xFF);
        WriteBytes(directory / "blank-profile.bin", store);
    }
};

TEST_P(NorvikPackRefusal, LeavesTheFileAsItWas)
{
    WriteInputs();
    std::vector<std::string> arguments = {"set", program.string()};
    for (std::string option : GetParam().options) {
        const auto open = option.find('{');
        if (open != std::string::npos) {
            const auto close = option.find('}', open);
            const std::string file = option.substr(open + 1, close - open - 1) + ".bin";
            option.replace(open, close - open + 1, (directory / file).string());
        }
        arguments.push_back(option);
    }
    if (GetParam().alter) {
        auto bytes = ReadBytes(program);
        GetParam().alter(bytes);
        WriteBytes(program, bytes);
    }
    const int lock = open(program.c_str(), O_RDONLY);
    ASSERT_GE(lock, 0);
    if (GetParam().lockedByAnother) {
        ASSERT_EQ(flock(lock, LOCK_EX), 0);
    }
    const auto before = ReadBytes(program);
    const auto entries = DirectoryEntries();

    const Outcome refused = Pack(arguments);
    close(lock);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, testing::StartsWith("norvik-pack: "));
    EXPECT_THAT(refused.err, HasSubstr(GetParam().reason));
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_TRUE(ReadBytes(program) == before) << "the program file changed";
    EXPECT_EQ(DirectoryEntries(), entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NorvikPackRefusal,
    testing::Values(
        Refusal{"CaptionTooLong", {"--caption", std::string(64, 'x')}, "at most 63"},
        Refusal{"ProductTooLong", {"--product", std::string(65, 'p')}, "at most 64"},
        Refusal{"ImageBeyondTheArea", {"--image", "1={fw}@1000000"}, "does not fit in the image area"},
        Refusal{"FifthBank", {"--image", "5={fw}"}, "bank 5 does not exist"},
        Refusal{"MoreThanFourBanks", {"--setting", "HOW_MANY_BIN=5"}, "room for 4 banks"},
        Refusal{"NoBank", {"--setting", "HOW_MANY_BIN=0"}, "No F/W in executable !"},
        Refusal{"SecondBankWithoutImage",
                {"--image", "1={fw}", "--setting", "HOW_MANY_BIN=2"},
                "bank 2 is in use but has the size 0"},
        Refusal{"TwoDigitSetting", {"--setting", "AUTOMODE=12"}, "one digit"},
        Refusal{"LongMinimum", {"--constraint", "1.1=RN001,RN08,TALVORE ,"}, "compares only 4"},
        Refusal{"LaterOptionRefused", {"--caption", "fine", "--new-revision", "1=RN08-long"}, "at most 7"},
        Refusal{"MissingImageFile", {"--image", "1=/nonexistent/fw.bin"}, "cannot read"},
        Refusal{"ProfileStoreTooLarge", {"--profiles", "{fw}"}, "more than the 17048 allowed"},
        Refusal{"MissingProfileStoreFile", {"--caption", "fine", "--profiles", "/nonexistent/p.bin"}, "cannot read"},
        // The image placeholder goes, and bank 1 would be sent as the zeros behind it.
        Refusal{"ZerosPackedAsFirmware",
                {"--image", "2={fw}@16384"},
                "bank 1 is in use (bytes 0 to 1048575), but no image given here covers its bytes 0 to 16383"},
        Refusal{"OverlappingBanks",
                {"--image", "1={fw}", "--image", "2={fw}@16384", "--setting", "HOW_MANY_BIN=2"},
                "bank 2 (bytes 16384 to 114687) overlaps bank 1 (bytes 0 to 98303)"},
        // A bank whose first row is the placeholder would take every drive of the model.
        Refusal{"BankWithoutConstraints",
                {"--image", "1={fw}", "--image", "2={fw}", "--setting", "HOW_MANY_BIN=2"},
                "bank 2 is in use and its first constraint row is the placeholder"},
        Refusal{"FirstRowCleared", {"--clear-constraint", "1.1"}, "--accept-every-drive-of-model to mean it"},
        Refusal{"ImageOfPartBlocks",
                {"--image", "1={odd}"},
                "bank 1: the image of 1000 bytes is not a whole number of 16384-byte blocks"},
        Refusal{"ImageOfZeros", {"--image", "1={zeros}"}, "bank 1: the image of 98304 bytes holds the byte 00h"},
        Refusal{"ImageOfFFh", {"--image", "1={ffs}"}, "bank 1: the image of 98304 bytes holds the byte FFh"},
        Refusal{"StoreOfZeros",
                {"--profiles", "{zero-store}"},
                "flash profile 0 (store bytes 0 to 313) holds the byte 00h throughout"},
        Refusal{"StoreWithABlankProfile",
                {"--profiles", "{blank-profile}"},
                "flash profile 7 (store bytes 5814 to 6511) holds the byte FFh throughout"},
        Refusal{"EmptyNewRevision", {"--new-revision", "1="}, "bank 1: the new revision is empty"},
        Refusal{"LongNewRevision", {"--new-revision", "1=RN08b"}, "\"RN08b\" has 5 characters"},
        Refusal{"SecondPackageTheSectionNames",
                {"--caption", "x"},
                "this file holds 2 update packages",
                [](auto& bytes) { AppendSecondPackage(bytes, true); }},
        Refusal{"StoreSectionAtTheCode",
                {"--profiles", "{store}"},
                "overlaps the program's code",
                [](auto& bytes) { PointStoreSectionAt(bytes, CodeOffset(bytes)); }},
        Refusal{"StoreSectionAtTheCodeNotReplaced",
                {"--caption", "x"},
                "overlaps the program's code",
                [](auto& bytes) { PointStoreSectionAt(bytes, CodeOffset(bytes)); }},
        Refusal{"StoreSectionInTheImageArea",
                {"--profiles", "{store}"},
                "overlaps section .norvik_profiles",
                [](auto& bytes) { PointStoreSectionAt(bytes, BlockOffset(bytes) + 2123 + 16384); }},
        Refusal{"CutInsideTheStore",
                {"--caption", "x"},
                "this file is cut short or damaged",
                [](auto& bytes) { bytes.resize(StoreOffset(bytes) + 100); }},
        Refusal{"CarriedStoreOfZeros",
                {"--caption", "x"},
                "its flash profile 0 (store bytes 0 to 313) holds the byte 00h",
                [](auto& bytes) {
                    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(StoreOffset(bytes)), 17048, 0);
                }},
        Refusal{"LockedByAnother", {"--caption", "x"}, "is being packed by another norvik-pack", nullptr, true}),
    [](const auto& info) { return info.param.name; });

// Packages that reach a program by other means than norvik-pack: the program refuses them at
// start-up, `show` says why, and `set` does not write them.
struct CarriedFault {
    std::string name;
    std::vector<std::pair<std::string, std::string>> patches;  // entry text in the file, and its replacement
    std::string verdict;
};

void PrintTo(const CarriedFault& fault, std::ostream* out) { *out << fault.name; }

class NorvikPackCarriedFault : public NorvikPackProcess, public testing::WithParamInterface<CarriedFault> {};

TEST_P(NorvikPackCarriedFault, ProgramAndPackRefuseIt)
{
    auto bytes = ReadBytes(program);
    for (const auto& [entry, replacement] : GetParam().patches) {
        const auto at = std::search(bytes.begin(), bytes.end(), entry.begin(), entry.end());
        ASSERT_NE(at, bytes.end()) << entry;
        std::copy(replacement.begin(), replacement.end(), at);
    }
    WriteBytes(program, bytes);

    const Outcome run = Run({program.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr("start-up: Invalid F/W package in executable !\n"));
    EXPECT_THAT(Pack({"show", program.string()}).out, HasSubstr("package check: " + GetParam().verdict));
    const Outcome refused = Pack({"set", program.string(), "--caption", "not written"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr(GetParam().verdict));
    EXPECT_TRUE(ReadBytes(program) == bytes) << "the program file changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NorvikPackCarriedFault,
    testing::Values(CarriedFault{"OneByteShort",
                                 {{"BIN_SIZE1=0001048576", "BIN_SIZE1=0001048575"}},
                                 "bank 1 has the size 1048575, not a whole number of 16384-byte blocks"},
                    CarriedFault{"MillionBytes",
                                 {{"BIN_SIZE1=0001048576", "BIN_SIZE1=0001000000"}},
                                 "bank 1 has the size 1000000, not a whole number of 16384-byte blocks"},
                    CarriedFault{"Overlapping",
                                 {{"HOW_MANY_BIN=1", "HOW_MANY_BIN=2"},
                                  {"BIN_SIZE2=0000000000", "BIN_SIZE2=0000016384"}},
                                 "bank 2 (bytes 0 to 16383) overlaps bank 1 (bytes 0 to 1048575)"}),
    [](const auto& info) { return info.param.name; });

class NorvikPackWrongSection : public NorvikPackProcess, public testing::WithParamInterface<int64_t> {};

// The section header says the package lies elsewhere (0: at the ELF header; -1: one byte low).
TEST_P(NorvikPackWrongSection, IsRefusedWithoutWritingAnything)
{
    auto bytes = ReadBytes(program);
    const std::string key = "BIN_SIZE1=0001048576";
    const auto entry = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
    ASSERT_NE(entry, bytes.end());
    const auto blockOffset = static_cast<uint64_t>(entry - bytes.begin()) - 1975;
    const std::size_t field = SectionOffsetField(bytes, blockOffset);
    ASSERT_NE(field, 0u);
    const uint64_t wrong = GetParam() == 0 ? 0 : blockOffset + static_cast<uint64_t>(GetParam());
    for (int i = 0; i < 8; ++i) bytes[field + static_cast<std::size_t>(i)] = static_cast<uint8_t>(wrong >> (8 * i));
    WriteBytes(program, bytes);

    char offset[32];
    std::snprintf(offset, sizeof offset, "0x%llX", static_cast<unsigned long long>(wrong));
    const std::string reason = std::string("section .norvik_package at file offset ") + offset +
                               " does not hold an update package";
    const Outcome shown = Pack({"show", program.string()});
    EXPECT_EQ(shown.exitCode, 1);
    EXPECT_THAT(shown.err, HasSubstr(reason));
    EXPECT_THAT(shown.out, testing::Not(HasSubstr("caption:")));
    const Outcome refused = Pack({"set", program.string(), "--caption", "not written"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr(reason));
    EXPECT_TRUE(ReadBytes(program) == bytes) << "the program file changed";
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe"));
}

INSTANTIATE_TEST_SUITE_P(Offsets, NorvikPackWrongSection, testing::Values(int64_t{0}, int64_t{-1}));

TEST_F(NorvikPackProcess, RefusesAFileWithoutABlock)
{
    WriteBytes(directory / "plain.bin", Firmware(200000, 3));
    const Outcome shown = Pack({"show", (directory / "plain.bin").string()});
    EXPECT_EQ(shown.exitCode, 1);
    EXPECT_THAT(shown.err, HasSubstr("no update package in this file"));
    const Outcome packed = Pack({"set", (directory / "plain.bin").string(), "--caption", "x"});
    EXPECT_EQ(packed.exitCode, 1);
    EXPECT_THAT(packed.err, HasSubstr("no update package in this file"));
    EXPECT_EQ(Pack({"show", NORVIK_PACK}).exitCode, 1);
}

TEST_F(NorvikPackProcess, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(Pack({}).exitCode, 2);
    EXPECT_EQ(Pack({"pack", program.string()}).exitCode, 2);
    EXPECT_EQ(Pack({"set", program.string()}).exitCode, 2);
    EXPECT_EQ(Pack({"set", program.string(), "--colour", "red"}).exitCode, 2);
    EXPECT_EQ(Pack({"set", program.string(), "--caption"}).exitCode, 2);
    EXPECT_EQ(Pack({"set", program.string(), "--setting", "AUTOMODE"}).exitCode, 2);
    const Outcome help = Pack({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: norvik-pack show FILE"));
    EXPECT_THAT(help.out, HasSubstr("two banks in use that share bytes"));
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    const Outcome version = Pack({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_THAT(version.out, testing::MatchesRegex("norvik-pack [0-9]+\\.[0-9]+\\.[0-9]+\nLicense: Apache-2.0\n"));
}

}  // namespace

// ---- Windows programs ------------------------------------------------------------------

#ifndef PE_PACKAGE_PROBE
#define PE_PACKAGE_PROBE ""
#endif

namespace {

// The probe built as a Windows program: what `set` writes, `show` reads back, and the firmware
// and the store stand whole in the file, whose headers stay as they were.
TEST_F(NorvikPackProcess, PacksAWindowsProgram)
{
    if (std::string_view(PE_PACKAGE_PROBE).empty()) GTEST_SKIP() << "no mingw-w64 compiler when configuring";
    const fs::path exe = directory / "probe.exe";
    fs::copy_file(PE_PACKAGE_PROBE, exe);
    const auto firmware = Firmware(98304, 11);
    const auto store = Firmware(17048, 12);
    WriteBytes(directory / "fw.bin", firmware);
    WriteBytes(directory / "profiles.bin", store);
    const auto before = ReadBytes(exe);

    const Outcome packed = Pack({"set", exe.string(), "--caption", "Packed for Windows", "--image",
                                 "1=" + (directory / "fw.bin").string(), "--new-revision", "1=RN09", "--profiles",
                                 (directory / "profiles.bin").string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    EXPECT_THAT(packed.out, HasSubstr("(found by section .nvpkg)"));

    const Outcome shown = Pack({"show", exe.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("caption:      \"Packed for Windows\"\n"));
    EXPECT_THAT(shown.out, HasSubstr("  bank 1  start 0  size 98304  new revision \"RN09\"\n"));
    EXPECT_THAT(shown.out, HasSubstr("profile store: replaced, checksum " + Hex(Checksum(store)) + ", first bytes " +
                                     HexBytes(store.data(), 8) + "\n"));

    const auto after = ReadBytes(exe);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 1024, after.begin())) << "the headers changed";
    EXPECT_NE(std::search(after.begin(), after.end(), firmware.begin(), firmware.end()), after.end());
    EXPECT_NE(std::search(after.begin(), after.end(), store.begin(), store.end()), after.end());
}

}  // namespace

// ---- The flash profile store ------------------------------------------------------------

namespace {

TEST_F(NorvikPackProcess, ShowAndTheProgramReportTheSyntheticProfileStore)
{
    const auto synthetic = payload::SyntheticProfileStore();
    const std::vector<uint8_t> store(synthetic.begin(), synthetic.end());
    const Outcome shown = Pack({"show", program.string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_THAT(shown.out,
                HasSubstr("profile store: synthetic (as built from source), checksum " + Hex(Checksum(store)) +
                          ", first bytes 4e 56 50 52 4f 46 30 30\n"
                          "  made up for the virtual drive: the program updates no real drive with it\n"));

    const Outcome run = Run({program.string()});
    EXPECT_THAT(run.out, HasSubstr("profile store: first 4e 56 50 52 4f 46 30 30 checksum " + Hex(Checksum(store))));
}

TEST_F(NorvikPackProcess, PackedProfileStoreIsWhatTheProgramReads)
{
    const auto store = Firmware(17048, 5);
    WriteBytes(directory / "profiles.bin", store);
    const auto before = ReadBytes(program);

    const Outcome packed = Pack({"set", program.string(), "--profiles", (directory / "profiles.bin").string()});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;

    const Outcome run = Run({program.string()});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("profile store: first " + HexBytes(store.data(), 8) + " checksum " +
                                   Hex(Checksum(store)) + "\n"));
    EXPECT_THAT(run.out, HasSubstr("caption: Flash Program for TALVORE DVDRW KRX-407T\n"));
    EXPECT_THAT(Pack({"show", program.string()}).out,
                HasSubstr("profile store: replaced, checksum " + Hex(Checksum(store)) + ", first bytes " +
                          HexBytes(store.data(), 8) + "\n"));

    // Only the store's own bytes changed.
    const auto after = ReadBytes(program);
    ASSERT_EQ(after.size(), before.size());
    const auto first = std::mismatch(before.begin(), before.end(), after.begin());
    ASSERT_NE(first.first, before.end());
    const auto last = std::mismatch(before.rbegin(), before.rend(), after.rbegin());
    EXPECT_LT(last.first.base() - first.first, 17048 + 1);
}

TEST_F(NorvikPackProcess, ProfileStoreOfAnotherSizeIsRefused)
{
    const auto before = ReadBytes(program);
    for (const std::size_t size : {std::size_t{0}, std::size_t{17047}, std::size_t{17049}}) {
        WriteBytes(directory / "profiles.bin", Firmware(size, 6));
        const Outcome refused = Pack(
            {"set", program.string(), "--caption", "not written", "--profiles", (directory / "profiles.bin").string()});
        EXPECT_EQ(refused.exitCode, 1) << size;
        EXPECT_THAT(refused.err, testing::StartsWith("norvik-pack: ")) << size;
        EXPECT_THAT(refused.err, HasSubstr(std::to_string(size) + " bytes")) << size;
        EXPECT_THAT(refused.err, HasSubstr("17048")) << size;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
        EXPECT_TRUE(ReadBytes(program) == before) << "the program file changed for size " << size;
    }
    EXPECT_THAT(DirectoryEntries(), testing::ElementsAre("probe", "profiles.bin"));
}

TEST_F(NorvikPackProcess, ProfileStoreNeedsItsSection)
{
    // Without the section table the package is still found by its landmarks; the store is not.
    auto bytes = ReadBytes(program);
    std::fill(bytes.begin() + 0x28, bytes.begin() + 0x30, 0);
    WriteBytes(program, bytes);
    WriteBytes(directory / "profiles.bin", Firmware(17048, 8));

    const Outcome refused = Pack({"set", program.string(), "--profiles", (directory / "profiles.bin").string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("no .norvik_profiles section"));
    EXPECT_TRUE(ReadBytes(program) == bytes) << "the program file changed";

    const Outcome shown = Pack({"show", program.string()});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_THAT(shown.out, HasSubstr("profile store: no flash profile store in this file"));
}

}  // namespace
