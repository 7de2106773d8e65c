// norvik-cli run as a process: a copy of the built program with a synthetic firmware packed in
// by norvik-pack, on virtual drives given on its command line. Its standard output, its exit
// status and the trace of the commands the drives received are checked; a pseudo-terminal
// plays the user where questions are asked and the progress line is rewritten in place.
// The copies are named "packed..." (not norvik-cli), and every message names them so.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

using testing::HasSubstr;
using testing::Not;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFirmwareSize = 1048576;

struct Outcome {
    int exitCode = -1;  // -1 when the program did not exit by itself
    int signal = 0;     // the signal that ended it, if one did
    std::string out;
    std::string err;
};

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& bytes)
{
    std::ofstream stream(path, std::ios::binary);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Firmware()
{
    std::string bytes(kFirmwareSize, '\0');
    uint32_t seed = 2024;
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// Trace lines of one drive ("/dev/sr0 <command> ..."), without the root.
std::vector<std::string> TraceOf(const std::string& trace, const std::string& root)
{
    std::vector<std::string> lines;
    for (const std::string& line : Lines(trace)) {
        if (line.rfind(root + " ", 0) == 0) lines.push_back(line.substr(root.size() + 1));
    }
    return lines;
}

int CountWriteBuffers(const std::vector<std::string>& trace)
{
    return static_cast<int>(
        std::count_if(trace.begin(), trace.end(), [](const std::string& line) { return line.rfind("3B", 0) == 0; }));
}

// The commit: WRITE BUFFER with control byte 80h or A0h (byte 9 of the command block).
int CountCommits(const std::vector<std::string>& trace)
{
    return static_cast<int>(std::count_if(trace.begin(), trace.end(), [](const std::string& line) {
        return line.rfind("3B", 0) == 0 && line.size() > 20 &&
               (line.substr(18, 2) == "80" || line.substr(18, 2) == "A0");
    }));
}

std::string Entry(int target, const char* root, const char* revision)
{
    char entry[96];
    std::snprintf(entry, sizeof entry, " 0-0-%d-0 %sTALVORE DVDRW KRX-407T   %s", target, root, revision);
    return entry;
}

constexpr char kCaption[] = "Flash Program for TALVORE DVDRW KRX-407T\n";
constexpr char kNotice[] =
    "Warning: This flash utility only supports TALVORE DVDRW KRX-407T drive.\n\n"
    "NOTICE : \n\n"
    "1> Please REMOVE disc and close all applications before running this utility !\n"
    "2> Don't turn off the system while flash is in progress. \n"
    "\nDo you wish to continue ? [y/N] ";
constexpr char kUpdateFailed[] = "Error: Unable to flash firmware. Please contact with your vendor !\n";
constexpr char kRestartRecorded[] = "Restart requested (virtual system: recorded, not performed).\n";

// One step of a dialogue on the terminal: when the output shows waitFor, type send, or send
// the program a signal.
struct Step {
    std::string waitFor;
    std::string send;
    int signal = 0;
};

class NorvikCliProcess : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string pattern = (fs::temp_directory_path() / "norvik-cli-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        suiteDirectory = pattern;
        WriteText(suiteDirectory / "firmware.bin", Firmware());
    }
    static void TearDownTestSuite()
    {
        fs::remove_all(suiteDirectory);
        programs.clear();
    }

    void SetUp() override
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        directory = suiteDirectory / name;
        fs::create_directories(directory);
        tracePath = directory / "trace.txt";
    }

    // A copy of norvik-cli with the firmware packed into bank 1 and the given settings
    // ("AUTOMODE=1", ...). Made once per set of settings.
    static fs::path Packed(const std::vector<std::string>& settings = {})
    {
        std::string key = "packed";
        for (const std::string& setting : settings) key += "_" + setting;
        if (const auto found = programs.find(key); found != programs.end()) return found->second;
        const fs::path program = suiteDirectory / key;
        fs::copy_file(NORVIK_CLI, program);
        std::string command = ShellQuote(NORVIK_PACK) + " set " + ShellQuote(program.string()) +
                              " --image 1=" + ShellQuote((suiteDirectory / "firmware.bin").string());
        for (const std::string& setting : settings) command += " --setting " + ShellQuote(setting);
        EXPECT_EQ(std::system((command + " >/dev/null").c_str()), 0) << command;
        programs[key] = program;
        return program;
    }

    // The program as built: no firmware in its image area.
    static fs::path Unpacked() { return NORVIK_CLI; }

    // A packed copy whose package says it holds no firmware bank at all (HOW_MANY_BIN=0), which
    // norvik-pack refuses to write: the byte is changed in the file.
    static fs::path WithoutBanks()
    {
        const fs::path program = suiteDirectory / "no-banks";
        if (fs::exists(program)) return program;
        std::string bytes = ReadText(Packed());
        const std::string key = "HOW_MANY_BIN=1";
        const std::size_t at = bytes.find(key);
        EXPECT_NE(at, std::string::npos);
        EXPECT_EQ(bytes.find(key, at + 1), std::string::npos) << "the entry must be unique";
        bytes[at + key.size() - 1] = '0';
        WriteText(program, bytes);
        fs::permissions(program, fs::perms(0755));
        return program;
    }

    Outcome Run(const fs::path& program, const std::vector<std::string>& arguments) const
    {
        std::string line = ShellQuote(program.string());
        for (const auto& argument : arguments) line += " " + ShellQuote(argument);
        const fs::path errors = directory / "stderr.txt";
        FILE* pipe = popen((line + " </dev/null 2>" + ShellQuote(errors.string())).c_str(), "r");
        Outcome outcome;
        if (pipe == nullptr) return outcome;
        char buffer[4096];
        while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) outcome.out.append(buffer, read);
        const int status = pclose(pipe);
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.err = ReadText(errors);
        return outcome;
    }

    // Runs the program on a pseudo-terminal (its input, output and error output), playing the
    // steps in order. The output is as the terminal received it, its line ends as "\r\n". The
    // program starts with the signals in ignored ignored, as nohup or trap '' leave them.
    Outcome RunOnTerminal(const fs::path& program, const std::vector<std::string>& arguments,
                          const std::vector<Step>& steps, const std::vector<int>& ignored = {}) const
    {
        std::vector<std::string> words = {program.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);

        int terminal = -1;
        const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0) {
            for (const int signal : ignored) ::signal(signal, SIG_IGN);
            execv(argv[0], argv.data());
            _exit(127);
        }
        Outcome outcome;
        if (child < 0) return outcome;
        std::size_t next = 0;
        std::size_t searchFrom = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            pollfd ready{terminal, POLLIN, 0};
            if (poll(&ready, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t count = read(terminal, buffer, sizeof buffer);
                if (count <= 0) break;  // the program has ended: the terminal reports EIO
                outcome.out.append(buffer, static_cast<std::size_t>(count));
            }
            while (next < steps.size()) {
                const std::size_t at = outcome.out.find(steps[next].waitFor, searchFrom);
                if (at == std::string::npos) break;
                searchFrom = at + steps[next].waitFor.size();
                if (!steps[next].send.empty()) {
                    EXPECT_GT(write(terminal, steps[next].send.data(), steps[next].send.size()), 0);
                }
                if (steps[next].signal != 0) kill(child, steps[next].signal);
                ++next;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                ADD_FAILURE() << "the program did not end within a minute";
                break;
            }
        }
        int status = 0;
        waitpid(child, &status, 0);
        close(terminal);
        EXPECT_EQ(next, steps.size()) << "not every step of the dialogue was reached";
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return outcome;
    }

    // The usual arguments for a run on virtual drives with a trace.
    std::vector<std::string> On(const std::vector<std::string>& drives, std::vector<std::string> arguments) const
    {
        std::vector<std::string> all = {"--trace", tracePath.string()};
        for (const std::string& drive : drives) {
            all.push_back("--virtual");
            all.push_back(drive);
        }
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }

    std::vector<std::string> Trace(const std::string& root = "/dev/sr0") const
    {
        return TraceOf(ReadText(tracePath), root);
    }

    static inline fs::path suiteDirectory;
    static inline std::map<std::string, fs::path> programs;
    fs::path directory;
    fs::path tracePath;
};

// ---- list ----------------------------------------------------------------------------------

TEST_F(NorvikCliProcess, ListPrintsEachDrivesEntryAndVerdict)
{
    const Outcome listed = Run(Packed(), On({"rev=RN05", "rev=RN09", "vendor=OTHER,rev=RN05",
                                             "host=1,target=2,lun=0,rev=RN01,root=/dev/sr7"},
                                            {"list"}));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    // Banks are counted from 1, as norvik-pack and the JSON document count them.
    EXPECT_EQ(listed.out,
              Entry(0, "sr0", "RN05") + "  updatable bank=1 current=0 new=RN08\n" + Entry(1, "sr1", "RN09") +
                  "  not allowed: no bank accepts vendor/product/revision\n" +
                  " 0-0-2-0 sr2OTHER   DVDRW KRX-407T   RN05  not allowed: no bank accepts vendor/product/revision\n" +
                  " 1-0-2-0 sr7TALVORE DVDRW KRX-407T   RN01  updatable bank=1 current=0 new=RN08\n");
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(CountWriteBuffers(Trace()), 0) << "list writes nothing to a drive";
    EXPECT_FALSE(Trace().empty()) << "the drives were asked who they are";
}

TEST_F(NorvikCliProcess, ListMarksADriveThatAlreadyCarriesTheNewRevision)
{
    const Outcome listed = Run(Packed({"N2OMESSAGE=1"}), On({"rev=RN08", "rev=RN07"}, {"list"}));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out, Entry(0, "sr0", "RN08") + "  updatable bank=1 current=1 new=RN08\n" +
                              Entry(1, "sr1", "RN07") + "  updatable bank=1 current=0 new=RN08\n");
}

TEST_F(NorvikCliProcess, ProgramAsBuiltUpdatesNoDrive)
{
    const Outcome listed = Run(Unpacked(), On({"rev=RN05"}, {"list"}));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out, Entry(0, "sr0", "RN05") + "  not allowed: the program carries no firmware\n");

    // The no-match box, then how to give the program a firmware.
    const Outcome update = Run(Unpacked(), On({"rev=RN05"}, {"--yes", "update"}));
    EXPECT_EQ(update.exitCode, 3);
    EXPECT_THAT(update.out, HasSubstr("Error: No matched drive detected !\n"));
    EXPECT_THAT(update.out, testing::EndsWith("RN05\nnorvik-cli carries no firmware: give one with --package FILE.\n"));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);
}

TEST_F(NorvikCliProcess, ListOnTheAspiRouteShowsNoRoot)
{
    const Outcome listed = Run(Packed(), On({"rev=RN05", "rev=RN09,target=4"}, {"--aspi", "list"}));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out,
              " 0-0-0-0 TALVORE DVDRW KRX-407T   RN05  updatable bank=1 current=0 new=RN08\n"
              " 0-0-4-0 TALVORE DVDRW KRX-407T   RN09  not allowed: no bank accepts vendor/product/revision\n");
}

// ---- update: success -----------------------------------------------------------------------

TEST_F(NorvikCliProcess, UpdateWithYesFlashesTheDriveAndRequestsTheRestart)
{
    const Outcome updated = Run(Packed(), On({"rev=RN05"}, {"--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_EQ(updated.out.rfind(std::string(kCaption) + "Drives:\n>  0 " + Entry(0, "sr0", "RN05") +
                                    "\nIt will be updated from RN05 to RN08\n" + kNotice + "y (--yes)\n",
                                0),
              0u)
        << updated.out;
    // Piped, the progress is one line per phase and per 10 % of the image data moved: no leaps.
    std::string steps;
    for (int step = 0; step <= 100; step += 10) {
        char line[64];
        std::snprintf(line, sizeof line, "[%-30s] %3d %%  Programming\n", std::string(step * 30 / 100, '#').c_str(),
                      step);
        steps += line;
    }
    EXPECT_THAT(updated.out, HasSubstr("y (--yes)\n" + steps + "[##############################] 100 %  Inquiry\n" +
                                       "Drives:\n>  0 " + Entry(0, "sr0", "RN08") + "\n" + kRestartRecorded));
    EXPECT_THAT(updated.out, Not(HasSubstr("Information:")));
    EXPECT_EQ(updated.err, "");

    const auto trace = Trace();
    EXPECT_EQ(CountCommits(trace), 1);
    EXPECT_EQ(CountWriteBuffers(trace), 1 + 1 + 64) << "profile, 64 blocks of 16 KiB, commit";
    EXPECT_THAT(trace.back(), testing::StartsWith("12")) << "the drive is read again after the update";
}

TEST_F(NorvikCliProcess, UpdateWithoutRestartShowsTheSuccessMessage)
{
    const Outcome updated = Run(Packed({"REBOOT=0"}), On({"rev=RN05"}, {"--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_THAT(updated.out, HasSubstr("Drives:\n>  0 " + Entry(0, "sr0", "RN08") +
                                       "\n"
                                       "[##############################] 100 %  Done\n"
                                       "Information: Firmware has been updated successfully !\n"));
    EXPECT_THAT(updated.out, Not(HasSubstr("Restart")));
    EXPECT_EQ(CountCommits(Trace()), 1);
}

TEST_F(NorvikCliProcess, UpdateThatClosesAfterSuccessEndsSilently)
{
    const Outcome updated = Run(Packed({"REBOOT=0", "CLOSEAP=1"}), On({"rev=RN05"}, {"--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_THAT(updated.out, testing::EndsWith("Drives:\n>  0 " + Entry(0, "sr0", "RN08") + "\n"));
    EXPECT_THAT(updated.out, Not(HasSubstr("Information:")));
    EXPECT_EQ(CountCommits(Trace()), 1);
}

TEST_F(NorvikCliProcess, NoRestartSkipsThePackagesRestartAndSaysItIsDue)
{
    const Outcome updated = Run(Packed(), On({"rev=RN05"}, {"--yes", "--no-restart", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_THAT(updated.out, testing::EndsWith("it was skipped (--no-restart) and is still due.\n"));
    EXPECT_THAT(updated.out, Not(HasSubstr(kRestartRecorded)));
    EXPECT_EQ(CountCommits(Trace()), 1);
}

TEST_F(NorvikCliProcess, UpdateOnTheAspiRoute)
{
    const Outcome updated = Run(Packed(), On({"rev=RN05,target=2"}, {"--aspi", "--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_THAT(updated.out, HasSubstr("Drives:\n>  0  0-0-2-0 TALVORE DVDRW KRX-407T   RN08\n"));
    EXPECT_EQ(CountCommits(Trace()), 1);
}

// ---- update: refusals and failures ---------------------------------------------------------

TEST_F(NorvikCliProcess, PackageWithoutFirmwareLooksAtNoDrive)
{
    const Outcome updated = Run(WithoutBanks(), On({"rev=RN05"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 3);
    EXPECT_EQ(updated.out, std::string(kCaption) + "Error: No F/W in executable !\n");
    EXPECT_TRUE(Trace().empty()) << "no command reached the drive";

    const Outcome listed = Run(WithoutBanks(), On({"rev=RN05"}, {"list"}));
    EXPECT_EQ(listed.exitCode, 3);
    EXPECT_EQ(listed.out, "Error: No F/W in executable !\n");
}

// A package from a file: a packed program, or the package file exported from it, updates the drive
// through the program as built; an image damaged after packing, in the program's own package or
// in a file, is refused before any command reaches the drive.
TEST_F(NorvikCliProcess, PackageFromAFileAndDamagedImages)
{
    const fs::path file = directory / "update.nvpkg";
    ASSERT_EQ(Run(NORVIK_PACK, {"export", Packed().string(), file.string()}).exitCode, 0);
    for (const fs::path& source : {Packed(), file}) {
        const Outcome updated = Run(Unpacked(), On({"rev=RN05"}, {"--package", source.string(), "--yes", "update"}));
        EXPECT_EQ(updated.exitCode, 0) << source << updated.err;
        EXPECT_THAT(updated.out, HasSubstr("RN08\n"));
        EXPECT_THAT(updated.err, Not(HasSubstr("digests")));
    }

    std::string bytes = ReadText(Packed());
    const std::size_t image = bytes.find(Firmware().substr(0, 64));
    ASSERT_NE(image, std::string::npos);
    bytes[image + 70000] ^= 0x10;
    const fs::path damaged = directory / "damaged-image";
    WriteText(damaged, bytes);
    fs::permissions(damaged, fs::perms(0755));
    const std::string reason = "the image of bank 1 does not match the SHA-256 digest";
    for (const auto& [program, arguments] :
         {std::pair{damaged, std::vector<std::string>{"--yes", "update"}},
          std::pair{fs::path(Unpacked()),
                    std::vector<std::string>{"--package", damaged.string(), "--yes", "update"}}}) {
        fs::remove(tracePath);  // the updates above wrote theirs
        const Outcome refused = Run(program, On({"rev=RN05"}, arguments));
        EXPECT_EQ(refused.exitCode, 3);
        EXPECT_THAT(refused.err, HasSubstr(reason));
        EXPECT_TRUE(Trace().empty()) << "no command reached the drive";
    }
}

// A flash profile store with a profile of one byte value, written into the file by other means
// than norvik-pack (which refuses it): the program refuses it at start, before any drive.
TEST_F(NorvikCliProcess, DamagedProfileStoreLooksAtNoDrive)
{
    std::string bytes = ReadText(Packed());
    // The synthetic store's profile 7, 698 bytes; the last copy of it is the program's own store.
    const std::size_t at = bytes.rfind("NVPROF07");
    ASSERT_NE(at, std::string::npos);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 698, '\xFF');
    const fs::path program = directory / "damaged-profiles";
    WriteText(program, bytes);
    fs::permissions(program, fs::perms(0755));
    const std::string refusal = "Error: This program's flash profiles are damaged";
    const Outcome shown = Run(NORVIK_PACK, {"show", program.string()});
    ASSERT_THAT(shown.out, HasSubstr("flash profile 7 (store bytes 5814 to 6511) holds the byte FFh throughout"));

    const Outcome updated = Run(program, On({"rev=RN05"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 3);
    EXPECT_THAT(updated.out, HasSubstr(refusal));
    EXPECT_THAT(updated.out, Not(HasSubstr("NOTICE")));
    EXPECT_TRUE(Trace().empty()) << "no command reached the drive";
    const Outcome listed = Run(program, On({"rev=RN05"}, {"list"}));
    EXPECT_EQ(listed.exitCode, 3);
    EXPECT_THAT(listed.out, HasSubstr(refusal));
    EXPECT_THAT(Run(program, {"--version"}).out, HasSubstr(", damaged flash profiles\n"));
}

TEST_F(NorvikCliProcess, NoMatchingDriveIsRefusedWithTheDetectedDrives)
{
    const Outcome updated = Run(Packed(), On({"rev=RN09", "vendor=OTHER"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 3);
    EXPECT_THAT(updated.out, HasSubstr("Error: No matched drive detected !\n"
                                       "This utility is only for TALVORE DVDRW KRX-407T drive.\n\n"
                                       "Detected drives :\n" +
                                       Entry(0, "sr0", "RN09") + "\n 0-0-1-0 sr1OTHER   DVDRW KRX-407T   RN05\n"));
    EXPECT_THAT(updated.out, Not(HasSubstr("NOTICE")));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);
}

// A second bank left without constraints takes what the first refuses, but only drives of the
// package's model: drives of another make are refused with the reason and get no command that
// writes, while the model's drive is updated.
TEST_F(NorvikCliProcess, BankWithoutConstraintsLeavesDrivesOfAnotherMakeAlone)
{
    const fs::path half = directory / "half.bin";
    const fs::path program = directory / "any-revision";
    WriteText(half, Firmware().substr(0, 524288));
    fs::copy_file(NORVIK_CLI, program);
    const std::string pack = ShellQuote(NORVIK_PACK) + " set " + ShellQuote(program.string()) +
                             " --setting HOW_MANY_BIN=2 --setting REBOOT=0 --image 1=" + ShellQuote(half.string()) +
                             " --image 2=" + ShellQuote(half.string()) + " >/dev/null 2>&1";
    EXPECT_NE(std::system(pack.c_str()), 0) << "a bank without constraints must be asked for by name";
    ASSERT_EQ(std::system((pack + " --accept-every-drive-of-model").c_str()), 0);

    const std::vector<std::string> drives = {"vendor=OTHERCO,product=BLURAY XYZ", "vendor=ACME,product=DVD-ROM 16X",
                                             "rev=RN09"};
    const Outcome listed = Run(program, On(drives, {"list"}));
    EXPECT_THAT(listed.out,
                HasSubstr("sr0OTHERCO BLURAY XYZ       RN05  not allowed: another model than the package's"));
    EXPECT_THAT(listed.out,
                HasSubstr("sr1ACME    DVD-ROM 16X      RN05  not allowed: another model than the package's"));
    EXPECT_THAT(listed.out, HasSubstr(Entry(2, "sr2", "RN09") + "  updatable bank=2 current=0 new=N/A \n"));

    const Outcome updated = Run(program, On(drives, {"--yes", "update"}));
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr0")), 0);
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr1")), 0);
    EXPECT_GT(CountWriteBuffers(Trace("/dev/sr2")), 0) << updated.out << updated.err;
}

TEST_F(NorvikCliProcess, FailingDriveEndsWithTheFailureMessage)
{
    // The third WRITE BUFFER (an image block) ends in a medium error.
    const Outcome updated = Run(Packed(), On({"rev=RN05,fault=3B#3:sense:3/0C/00"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 1);
    EXPECT_THAT(updated.out, HasSubstr("Drives:\n>  0 " + Entry(0, "sr0", "RN05") + "\n" + kUpdateFailed));
    EXPECT_THAT(updated.out, Not(HasSubstr("Restart")));
    EXPECT_EQ(CountCommits(Trace()), 0) << "nothing unverified is committed";
    EXPECT_GT(CountWriteBuffers(Trace()), 0);
}

TEST_F(NorvikCliProcess, WithoutTerminalOrYesTheNoticeIsDeclined)
{
    const Outcome declined = Run(Packed(), On({"rev=RN05"}, {"update"}));
    EXPECT_EQ(declined.exitCode, 3);
    EXPECT_THAT(declined.out, testing::EndsWith(std::string(kNotice) + "n (no terminal to ask; --yes answers Yes)\n"));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0) << "nothing is flashed unasked";
}

TEST_F(NorvikCliProcess, AlreadyCurrentQuestion)
{
    const fs::path program = Packed({"N2OMESSAGE=1", "WARNING=0"});
    const Outcome declined = Run(program, On({"rev=RN08"}, {"update"}));
    EXPECT_EQ(declined.exitCode, 3);
    EXPECT_THAT(declined.out,
                HasSubstr("Warning: Your drive's Firmware is already the most updated !\n"
                          " Do you wish to continue ? [y/N] n (no terminal to ask; --yes answers Yes)\n"));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);

    const Outcome accepted = Run(program, On({"rev=RN08"}, {"update", "--yes"}));
    EXPECT_EQ(accepted.exitCode, 0) << accepted.out;
    EXPECT_EQ(CountCommits(Trace()), 1);
}

// ---- Choice of drives ----------------------------------------------------------------------

TEST_F(NorvikCliProcess, DriveOptionUpdatesThatDriveOnly)
{
    const Outcome updated = Run(Packed(), On({"rev=RN05", "rev=RN06"}, {"--yes", "update", "--drive", "1"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_THAT(updated.out, HasSubstr("Drives:\n   0 " + Entry(0, "sr0", "RN05") + "\n>  1 " +
                                       Entry(1, "sr1", "RN06") + "\nIt will be updated from RN06 to RN08\n"));
    EXPECT_THAT(updated.out,
                HasSubstr("Drives:\n   0 " + Entry(0, "sr0", "RN05") + "\n>  1 " + Entry(1, "sr1", "RN08")));
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr0")), 0);
    EXPECT_EQ(CountCommits(Trace("/dev/sr1")), 1);
}

TEST_F(NorvikCliProcess, WithoutDriveOptionTheFirstUpdatableDriveIsUpdated)
{
    const Outcome updated = Run(Packed(), On({"rev=RN09", "rev=RN06", "rev=RN05"}, {"--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr0")), 0);
    EXPECT_EQ(CountCommits(Trace("/dev/sr1")), 1);
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr2")), 0);
}

TEST_F(NorvikCliProcess, DriveThatMayNotBeUpdatedIsRefused)
{
    const Outcome refused = Run(Packed(), On({"rev=RN09", "rev=RN05"}, {"--yes", "update", "--drive=0"}));
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_THAT(refused.out, HasSubstr(">  0 " + Entry(0, "sr0", "RN09") + "\n   1 " + Entry(1, "sr1", "RN05") +
                                       "\nThis drive is not allowed to be updated.\n"));
    EXPECT_EQ(refused.err, "packed: drive 0 is not allowed to be updated by this package\n");
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr0")) + CountWriteBuffers(Trace("/dev/sr1")), 0);
}

// Found as soon as the drives are listed: neither the notice nor any other question is shown.
TEST_F(NorvikCliProcess, DriveBeyondTheListIsAUsageError)
{
    for (const char* drive : {"rev=RN05", "rev=RN09"}) {  // updatable, or refused by the package
        const Outcome refused = Run(Packed(), On({drive}, {"--yes", "update", "--drive", "1"}));
        EXPECT_EQ(refused.exitCode, 2) << drive;
        EXPECT_EQ(refused.err, "packed: --drive 1: no such drive (1 found; see packed list)\n");
        EXPECT_EQ(refused.out, kCaption) << drive;
        EXPECT_EQ(CountWriteBuffers(Trace()), 0);
    }
}

TEST_F(NorvikCliProcess, AutoModeUpdatesEveryUpdatableDrive)
{
    const fs::path program = Packed({"AUTOMODE=1"});
    const Outcome updated = Run(program, On({"rev=RN05", "rev=RN09", "rev=RN06"}, {"--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_EQ(CountCommits(Trace("/dev/sr0")), 1);
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr1")), 0);
    EXPECT_EQ(CountCommits(Trace("/dev/sr2")), 1);
    EXPECT_THAT(updated.out,
                HasSubstr("Drives:\n>  0 " + Entry(0, "sr0", "RN08") + "\n   1 " + Entry(1, "sr1", "RN09") + "\n   2 " +
                          Entry(2, "sr2", "RN08") + "\n" + kRestartRecorded));

    const Outcome oneFails = Run(program, On({"rev=RN05", "rev=RN06,fault=3C#1+:corrupt:7"}, {"--yes", "update"}));
    EXPECT_EQ(oneFails.exitCode, 1);
    EXPECT_THAT(oneFails.out, HasSubstr(kUpdateFailed));
    EXPECT_EQ(CountCommits(Trace("/dev/sr0")), 1);
    EXPECT_EQ(CountCommits(Trace("/dev/sr1")), 0) << "a block read back wrong is never committed";
}

TEST_F(NorvikCliProcess, AutoModeTakesNoDriveOption)
{
    const Outcome refused = Run(Packed({"AUTOMODE=1"}),
                                On({"rev=RN05", "rev=RN06"}, {"--yes", "update", "--drive", "1"}));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_THAT(refused.err, HasSubstr("--drive does not go with this package"));
    EXPECT_TRUE(Trace("/dev/sr0").empty());
    EXPECT_TRUE(Trace("/dev/sr1").empty());
}

// ---- The disc and tray check ---------------------------------------------------------------

TEST_F(NorvikCliProcess, OpenTrayIsClosedBeforeTheUpdate)
{
    const Outcome updated = Run(Packed({"CHKDISC=1"}), On({"rev=RN05,tray=open"}, {"--yes", "update"}));
    ASSERT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_THAT(updated.out, HasSubstr("[                              ]   0 %  Check Disc & Tray Status\n"
                                       "[                              ]   0 %  Tray In\n"
                                       "[                              ]   0 %  Waiting Drive Ready\n"));
    EXPECT_THAT(updated.out, Not(HasSubstr("Tray Out")));
    EXPECT_EQ(CountCommits(Trace()), 1);
}

TEST_F(NorvikCliProcess, DiscNobodyTakesOutGivesTheDriveUpAfterAFewAnswers)
{
    const Outcome updated = Run(Packed({"CHKDISC=1"}), On({"rev=RN05,disc=1"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 1);
    std::size_t shown = 0;
    for (std::size_t at = 0;
         (at = updated.out.find("Warning: Please remove the disc.\nOK (--yes)\n", at)) != std::string::npos; ++at)
        ++shown;
    EXPECT_EQ(shown, 3u) << updated.out;
    EXPECT_THAT(updated.out, HasSubstr("Warning: Please remove the disc.\n"
                                       "(--yes has answered OK 3 times for this drive: the drive is given up)\n"));
    EXPECT_THAT(updated.out, HasSubstr("  Tray Out\n"));
    EXPECT_THAT(updated.out, HasSubstr(kUpdateFailed));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);
}

// Another program holds the drive's door locked: every eject is refused, the check asks for the
// disc by hand each pass, and once --yes has answered enough boxes the drive is given up with
// nothing written to it.
TEST_F(NorvikCliProcess, DiscLockedInByAnotherProgramGivesTheDriveUpUnwritten)
{
    const Outcome updated = Run(Packed({"CHKDISC=1"}), On({"rev=RN05,disc=1,lock=prevented"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 1);
    const std::string locked =
        "Warning: Disc detected in drive. Unable to eject the disc , maybe locked by other "
        "program\n\nPlease remove the disc manually.\n";
    std::size_t answered = 0;
    for (std::size_t at = 0; (at = updated.out.find(locked + "OK (--yes)\n", at)) != std::string::npos; ++at)
        ++answered;
    EXPECT_EQ(answered, 3u) << updated.out;
    EXPECT_THAT(updated.out,
                HasSubstr(locked + "(--yes has answered OK 3 times for this drive: the drive is given up)\n"));
    EXPECT_THAT(updated.out, Not(HasSubstr("Please remove the disc.\n")));
    EXPECT_THAT(updated.out, HasSubstr(kUpdateFailed));
    const std::vector<std::string> trace = Trace();
    EXPECT_EQ(CountWriteBuffers(trace), 0);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "1B0000000200000000000000 none 0 sense 5/53/02"), 4)
        << "one refused eject per box";
}

// The drive has the last word: an update counts only when the drive, read again, reports its
// bank's new revision. A drive without a profile for its chip still gets the image and the
// commit, as designed; only one whose boot code needs no profile comes back with it.
struct DriveJudgement {
    const char* name;
    const char* drive;
    int exitCode;
    const char* detail;  // on standard error, "" for none
};

class NorvikCliJudgement : public NorvikCliProcess, public testing::WithParamInterface<DriveJudgement> {};

TEST_P(NorvikCliJudgement, SuccessOnlyWhenTheDriveReportsTheNewRevision)
{
    const DriveJudgement& judgement = GetParam();
    const Outcome updated = Run(Packed({"REBOOT=0"}), On({judgement.drive}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, judgement.exitCode) << updated.out << updated.err;
    EXPECT_EQ(updated.out.find("Firmware has been updated successfully !") != std::string::npos,
              judgement.exitCode == 0)
        << updated.out;
    EXPECT_THAT(updated.err, HasSubstr(judgement.detail));
    if (judgement.exitCode != 0) {
        EXPECT_THAT(updated.out, HasSubstr(kUpdateFailed));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NorvikCliJudgement,
    testing::Values(
        DriveJudgement{"NoChip", "chip=none", 1,
                       "drive 0: reports revision \"DEAD\" after the update, expected \"RN08\""},
        DriveJudgement{"ChipWithoutProfile", "chip=12345678", 1, "reports revision \"DEAD\""},
        DriveJudgement{"IdentificationAlwaysChanged", "fault=DF#1+:corrupt:3", 1, "reports revision \"DEAD\""},
        DriveJudgement{"BootCodeNeedsNoProfile", "chip=none,profile=unneeded", 0, ""},
        DriveJudgement{"OtherRevisionAfterwards", "newrev=RN07", 1, "reports revision \"RN07\" after the update"},
        DriveJudgement{"SilentAfterwards", "fault=12#2+:fail", 1,
                       "its identification could not be read after the update"}),
    [](const testing::TestParamInfo<DriveJudgement>& info) { return std::string(info.param.name); });

TEST_F(NorvikCliProcess, VanishedDriveDoesNotKeepTheCheckGoingForEver)
{
    // The drive leaves at its first eject: no pass of the check could end, so it is given up.
    const Outcome updated = Run(Packed({"CHKDISC=1"}), On({"rev=RN05,disc=1,fault=1B#1+:gone"}, {"--yes", "update"}));
    EXPECT_EQ(updated.exitCode, 1);
    EXPECT_THAT(updated.out, Not(HasSubstr("Disc detected in drive.")));
    EXPECT_THAT(updated.out, HasSubstr(kUpdateFailed));
    EXPECT_THAT(updated.err, HasSubstr("drive 0: given up during the disc and tray check"));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);
}

TEST_F(NorvikCliProcess, DiscWithoutAnyoneToAskGivesTheDriveUp)
{
    const Outcome updated = Run(Packed({"CHKDISC=1", "WARNING=0"}), On({"rev=RN05,disc=1"}, {"update"}));
    EXPECT_EQ(updated.exitCode, 1);
    EXPECT_THAT(updated.out, HasSubstr("Warning: Please remove the disc.\n"
                                       "(no terminal to answer: the drive is given up; --yes answers OK)\n"));
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);
}

// ---- Command line --------------------------------------------------------------------------

TEST_F(NorvikCliProcess, UsageErrorsAreOneLineOnStandardError)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--colour", "list"},
        {"list", "--drive", "1"},
        {"--virtual", "rev=RN0555", "list"},
        {"--aspi", "list"},
        {"list", "update"},
        {"--virtual", "rev=RN05", "--trace", "/nonexistent/dir/trace", "list"},
        // The second drive's automatic root is taken by the first: no drive is left out silently.
        {"--virtual", "root=/dev/sr1", "--virtual", "rev=RN06", "list"}};
    for (const auto& arguments : cases) {
        const Outcome refused = Run(Packed(), arguments);
        EXPECT_EQ(refused.exitCode, 2) << testing::PrintToString(arguments);
        EXPECT_EQ(refused.out, "");
        EXPECT_THAT(refused.err, testing::StartsWith("packed: "));
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    }
}

// ---- --json: every end is one document ----------------------------------------------------

enum class Program : uint8_t { Packed, Unpacked, WithoutBanks };

struct JsonEnd {
    const char* name;
    Program program;
    std::vector<std::string> drives;  // none: the arguments alone
    std::vector<std::string> arguments;
    int status;
    const char* code;
    const char* message;  // part of the error's message
};

void PrintTo(const JsonEnd& end, std::ostream* out) { *out << end.name; }

class NorvikCliJsonEnd : public NorvikCliProcess, public testing::WithParamInterface<JsonEnd> {};

// Standard output is the document alone, whatever ended the run: its status is the process's,
// its error says why (null only on success).
TEST_P(NorvikCliJsonEnd, IsOneDocumentWithTheError)
{
    const JsonEnd& end = GetParam();
    const fs::path program = end.program == Program::Packed     ? Packed()
                             : end.program == Program::Unpacked ? Unpacked()
                                                                : WithoutBanks();
    const Outcome outcome = Run(program, end.drives.empty() ? end.arguments : On(end.drives, end.arguments));
    EXPECT_EQ(outcome.exitCode, end.status) << outcome.err;
    QJsonParseError error{};
    const QJsonObject document = QJsonDocument::fromJson(QByteArray::fromStdString(outcome.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << outcome.out;
    EXPECT_EQ(document["exit_status"].toInt(-1), end.status) << outcome.out;
    const QJsonObject problem = document["error"].toObject();
    EXPECT_EQ(problem["code"].toString().toStdString(), end.code) << outcome.out;
    EXPECT_THAT(problem["message"].toString().toStdString(), HasSubstr(end.message)) << outcome.out;
    if (end.status != 1) {
        EXPECT_EQ(CountWriteBuffers(Trace()), 0) << "a refusal sends no firmware";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, NorvikCliJsonEnd,
    testing::Values(JsonEnd{"UnknownOption",
                            Program::Packed,
                            {},
                            {"--json", "--colour", "list"},
                            2,
                            "usage_error",
                            "unknown option --colour"},
                    JsonEnd{"JsonAfterTheBadOption",
                            Program::Packed,
                            {},
                            {"-yq", "--js", "update"},
                            2,
                            "usage_error",
                            "unknown option -q"},
                    JsonEnd{"DriveNotTaken",
                            Program::Packed,
                            {},
                            {"--json", "--virtual", "root=/dev/sr1", "--virtual", "polls=1", "list"},
                            2,
                            "usage_error",
                            "is taken by another drive"},
                    JsonEnd{"TraceNotWritable",
                            Program::Packed,
                            {},
                            {"--json", "--virtual", "rev=RN05", "--trace", "/nonexistent/t", "list"},
                            2,
                            "usage_error",
                            "cannot write the file"},
                    JsonEnd{"NoSuchDrive",
                            Program::Packed,
                            {"rev=RN05"},
                            {"--json", "--yes", "update", "--drive", "3"},
                            2,
                            "usage_error",
                            "--drive 3: no such drive"},
                    JsonEnd{"NoFirmwareCarried",
                            Program::Unpacked,
                            {"rev=RN05"},
                            {"--json", "--yes", "update"},
                            3,
                            "no_matched_drive",
                            "carries no firmware; give one with --package FILE"},
                    JsonEnd{"NoFirmwareBank",
                            Program::WithoutBanks,
                            {"rev=RN05"},
                            {"--json", "list"},
                            3,
                            "no_firmware",
                            "No F/W in executable !"},
                    JsonEnd{"NoMatchingDrive",
                            Program::Packed,
                            {"rev=RN09"},
                            {"--json", "--yes", "update"},
                            3,
                            "no_matched_drive",
                            "No matched drive detected !"},
                    JsonEnd{"NoticeDeclined",
                            Program::Packed,
                            {"rev=RN05"},
                            {"--json", "update"},
                            3,
                            "notice_declined",
                            "the notice was answered No"},
                    JsonEnd{"DriveNotAllowed",
                            Program::Packed,
                            {"rev=RN09", "rev=RN05"},
                            {"--json", "--yes", "update", "--drive=0"},
                            3,
                            "drive_not_allowed",
                            "drive 0 is not allowed"},
                    JsonEnd{"UpdateFailed",
                            Program::Packed,
                            {"rev=RN05,fault=3B#1:fail"},
                            {"--json", "--yes", "update"},
                            1,
                            "update_failed",
                            "Unable to flash firmware"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NorvikCliProcess, HelpAndVersion)
{
    const Outcome help = Run(Packed(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: packed [options] list\n       packed [options] update [--drive N]"));
    EXPECT_THAT(help.out, HasSubstr("--trace FILE"));

    // The program's own version, then the package's.
    const std::string version = Run(Packed(), {"--version"}).out;
    EXPECT_THAT(version, testing::MatchesRegex("packed [0-9]+\\.[0-9]+\\.[0-9]+\n.*"));
    EXPECT_THAT(version, HasSubstr("\npackage v2.0.0 for TALVORE DVDRW KRX-407T drives, firmware packed in, "
                                   "made-up flash profiles\nLicense: Apache-2.0\n"));
    EXPECT_THAT(Run(Unpacked(), {"--version"}).out, HasSubstr(", no firmware packed in, "));
}

// ---- On a terminal -------------------------------------------------------------------------

// A drive whose commit takes a second of real time, so that the progress timer ticks.
constexpr char kSlowDrive[] = "rev=RN05,commit=1";

TEST_F(NorvikCliProcess, QuestionIsAskedOnTheTerminalAndProgressIsOneLine)
{
    const Outcome updated = RunOnTerminal(Packed(), On({kSlowDrive}, {"update"}), {{"[y/N] ", "y\n"}});
    ASSERT_EQ(updated.exitCode, 0) << updated.out;
    const std::size_t first = updated.out.find("\r\033[K[");
    const std::size_t last = updated.out.rfind("\r\033[K[");
    ASSERT_NE(first, std::string::npos) << updated.out;
    ASSERT_LT(first, last) << "the progress line is rewritten";
    const std::string progress = updated.out.substr(first, last - first);
    EXPECT_EQ(progress.find('\n'), std::string::npos) << "no line end between progress updates";
    EXPECT_THAT(progress, HasSubstr("Programming ."));
    EXPECT_THAT(updated.out, HasSubstr("Restart requested (virtual system: recorded, not performed).\r\n"));
    EXPECT_EQ(CountCommits(Trace()), 1);
}

TEST_F(NorvikCliProcess, NoOnTheTerminalEndsTheProgram)
{
    const Outcome declined = RunOnTerminal(Packed(), On({"rev=RN05"}, {"update"}), {{"[y/N] ", "n\n"}});
    EXPECT_EQ(declined.exitCode, 3) << declined.out;
    EXPECT_EQ(CountWriteBuffers(Trace()), 0);
}

TEST_F(NorvikCliProcess, InterruptWhileTheFirmwareIsWrittenIsHeldOff)
{
    const Outcome updated = RunOnTerminal(Packed(), On({kSlowDrive}, {"--yes", "update"}),
                                          {{"Programming .", "", SIGINT}, {"held off", "", SIGTERM}});
    EXPECT_THAT(updated.out, HasSubstr("packed: the firmware is being written; the signal is held off until the "
                                       "update is over"));
    EXPECT_THAT(updated.out, HasSubstr("Restart requested (virtual system")) << "the outcome is shown first";
    EXPECT_EQ(CountCommits(Trace()), 1);
    EXPECT_EQ(updated.signal, SIGINT) << "the first signal held ends the program once the update is over";
}

// Any signal that would end the program is held while drives may be written: the drive being
// written is finished and read again, no further drive is started, the outcome is shown, and
// then the program ends with the signal. The second drive's disc check waits for the user, so
// the signal comes while the first drive's worker has been started and before the third drive.
class NorvikCliHeldSignal : public NorvikCliProcess, public testing::WithParamInterface<int> {};

TEST_P(NorvikCliHeldSignal, EndsTheProgramAfterTheOutcomeAndStartsNothingMore)
{
    const int signal = GetParam();
    const Outcome updated =
        RunOnTerminal(Packed({"AUTOMODE=1", "CHKDISC=1"}), On({"rev=RN05", "rev=RN05,disc=1", "rev=RN05"}, {"update"}),
                      {{"[y/N] ", "y\n"}, {"give this drive up: ", "", signal}, {"held off", "q\n"}});
    EXPECT_EQ(updated.signal, signal) << updated.out;
    EXPECT_THAT(updated.out, HasSubstr("Error: Unable to flash firmware.")) << "the outcome is shown before the end";
    const auto written = Trace("/dev/sr0");
    EXPECT_EQ(CountCommits(written), 1);
    ASSERT_FALSE(written.empty());
    EXPECT_THAT(written.back(), testing::StartsWith("12")) << "the drive is read again after the update";
    EXPECT_THAT(updated.out, HasSubstr("drive 0: updated: it reports revision \"RN08\""));
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr1")), 0);
    EXPECT_EQ(CountWriteBuffers(Trace("/dev/sr2")), 0) << "no drive is started once a stop was asked for";
}

INSTANTIATE_TEST_SUITE_P(Signals, NorvikCliHeldSignal, testing::Values(SIGTERM, SIGUSR1, SIGALRM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

// A signal the program was started with ignored (nohup, trap '' TERM) stays ignored: it is not
// held off and does not end the program after the update. One that ends it is the status that
// the --json document gives, as the caller sees it.
struct SignalDuringUpdate {
    const char* name;
    int ignored;  // ignored by the caller before the program starts; 0: none
    int sent;     // sent while the firmware is written
    int endingSignal;
    const char* exitStatus;  // as the document gives it
};

class NorvikCliSignalDuringUpdate : public NorvikCliProcess, public testing::WithParamInterface<SignalDuringUpdate> {};

TEST_P(NorvikCliSignalDuringUpdate, EndsAsTheJsonDocumentSays)
{
    const SignalDuringUpdate& run = GetParam();
    std::vector<int> ignored;
    if (run.ignored != 0) ignored.push_back(run.ignored);
    const Outcome updated = RunOnTerminal(Packed(), On({kSlowDrive}, {"--json", "--yes", "update"}),
                                          {{"Programming .", "", run.sent}}, ignored);
    EXPECT_EQ(updated.signal, run.endingSignal) << updated.out;
    if (run.endingSignal == 0) {
        EXPECT_EQ(updated.exitCode, 0) << updated.out;
    }
    EXPECT_THAT(updated.out, HasSubstr(std::string("\"exit_status\": ") + run.exitStatus + ",\r\n"));
    EXPECT_EQ(updated.out.find("held off") != std::string::npos, run.endingSignal != 0) << updated.out;
    EXPECT_EQ(CountCommits(Trace()), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, NorvikCliSignalDuringUpdate,
                         testing::Values(SignalDuringUpdate{"HangUpUnderNohup", SIGHUP, SIGHUP, 0, "0"},
                                         SignalDuringUpdate{"TerminateTrapped", SIGTERM, SIGTERM, 0, "0"},
                                         SignalDuringUpdate{"TerminateHeld", 0, SIGTERM, SIGTERM, "143"},
                                         SignalDuringUpdate{"TerminateUnderNohup", SIGHUP, SIGTERM, SIGTERM, "143"}),
                         [](const testing::TestParamInfo<SignalDuringUpdate>& info) {
                             return std::string(info.param.name);
                         });

// The trace is written as the drives answer: a run killed in the middle keeps what was sent.
TEST_F(NorvikCliProcess, KilledRunKeepsItsTrace)
{
    const Outcome killed = RunOnTerminal(Packed(), On({kSlowDrive}, {"--yes", "update"}),
                                         {{"Programming .", "", SIGKILL}});
    EXPECT_EQ(killed.signal, SIGKILL);
    const auto trace = Trace();
    ASSERT_FALSE(trace.empty());
    for (const std::string& line : trace)
        EXPECT_THAT(line, testing::MatchesRegex("[0-9A-F]{24} (in|out|none) [0-9]+ .+"));
}

// Output that does not reach standard output is no success.
struct LostOutput {
    const char* name;
    const char* redirection;
    const char* reason;
};

class NorvikCliLostOutput : public NorvikCliProcess, public testing::WithParamInterface<LostOutput> {};

TEST_P(NorvikCliLostOutput, IsAnErrorWithTheReason)
{
    const LostOutput& lost = GetParam();
    const fs::path errors = directory / "stderr.txt";
    for (const char* command : {"list", "update"}) {
        const std::string line = ShellQuote(Packed({"REBOOT=0"}).string()) + " --yes --virtual rev=RN05 " + command +
                                 " </dev/null " + lost.redirection + " 2>" + ShellQuote(errors.string());
        const int status = std::system(line.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1) << command;
        EXPECT_EQ(ReadText(errors), std::string("packed_REBOOT=0: standard output: ") + lost.reason + "\n") << command;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, NorvikCliLostOutput,
                         testing::Values(LostOutput{"Full", ">/dev/full", "No space left on device"},
                                         LostOutput{"Closed", ">&-", "Bad file descriptor"}),
                         [](const testing::TestParamInfo<LostOutput>& info) { return std::string(info.param.name); });

// The vendor's first byte, 'd' inverted in the reply, is 9Bh: a control sequence introducer.
TEST_F(NorvikCliProcess, InquiryBytesAreShownAsText)
{
    for (const char* command : {"list", "update"}) {
        const Outcome shown = Run(Packed(), On({"vendor=d[2J,fault=12#1+:corrupt:8"}, {command}));
        EXPECT_THAT(shown.out, HasSubstr(" 0-0-0-0 sr0\\x9B[2J    DVDRW KRX-407T   RN05")) << command;
        EXPECT_EQ(shown.out.find('\x9B'), std::string::npos) << command;
    }
}

TEST_F(NorvikCliProcess, InterruptAtAQuestionEndsTheProgramAsUsual)
{
    const Outcome interrupted = RunOnTerminal(Packed(), On({"rev=RN05"}, {"update"}), {{"[y/N] ", "", SIGINT}});
    EXPECT_EQ(interrupted.signal, SIGINT) << interrupted.out;
}

// ---- --json ------------------------------------------------------------------------------

// The documents are written by QJsonDocument, indented, keys in order; their parsed form is
// checked where the tests link Qt (CliOptionsTest).
TEST_F(NorvikCliProcess, ListAsJson)
{
    const Outcome listed = Run(Packed(), On({"rev=RN05", "rev=RN09,host=1,path=2,target=3,lun=4,root=/dev/sr9"},
                                            {"--json", "list"}));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    EXPECT_THAT(listed.out, testing::StartsWith("{\n    \"drives\": [\n"));
    EXPECT_THAT(listed.out, HasSubstr("            \"already_current\": false,\n"
                                      "            \"bank\": 1,\n"
                                      "            \"command_node\": null,\n"
                                      "            \"host\": 0,\n"
                                      "            \"index\": 0,\n"
                                      "            \"lun\": 0,\n"
                                      "            \"new_revision\": \"RN08\",\n"
                                      "            \"path\": 0,\n"
                                      "            \"product\": \"DVDRW KRX-407T  \",\n"
                                      "            \"reason\": null,\n"
                                      "            \"revision\": \"RN05\",\n"
                                      "            \"root\": \"/dev/sr0\",\n"
                                      "            \"target\": 0,\n"
                                      "            \"vendor\": \"TALVORE \",\n"
                                      "            \"verdict\": \"updatable\"\n"));
    EXPECT_THAT(listed.out, HasSubstr("            \"bank\": null,\n"
                                      "            \"command_node\": null,\n"
                                      "            \"host\": 1,\n"
                                      "            \"index\": 1,\n"
                                      "            \"lun\": 4,\n"
                                      "            \"new_revision\": null,\n"
                                      "            \"path\": 2,\n"));
    EXPECT_THAT(listed.out, HasSubstr("\"reason\": \"no bank accepts vendor/product/revision\",\n"
                                      "            \"revision\": \"RN09\",\n"
                                      "            \"root\": \"/dev/sr9\",\n"
                                      "            \"target\": 3,\n"));
    EXPECT_THAT(listed.out, testing::EndsWith("    \"error\": null,\n    \"not_listed\": [\n    ],\n"
                                              "    \"permission_advice\": null\n}\n"));
}

struct JsonUpdate {
    const char* name;
    const char* drive;
    int exitCode;
    const char* document;  // the drive and the outcome, as written
};

class NorvikCliJsonUpdate : public NorvikCliProcess, public testing::WithParamInterface<JsonUpdate> {};

// Standard output is the JSON document alone; the texts for people are on standard error.
TEST_P(NorvikCliJsonUpdate, EndsWithTheOutcome)
{
    const Outcome updated = Run(Packed(), On({GetParam().drive}, {"--json", "--yes", "update"}));
    EXPECT_EQ(updated.exitCode, GetParam().exitCode) << updated.err;
    EXPECT_EQ(updated.out, GetParam().document);
    EXPECT_THAT(updated.err, testing::StartsWith(kCaption));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NorvikCliJsonUpdate,
    testing::Values(
        JsonUpdate{"Restarted", "rev=RN05", 0,
                   "{\n    \"drives\": [\n        {\n            \"bank\": 1,\n"
                   "            \"expected_revision\": \"RN08\",\n            \"index\": 0,\n"
                   "            \"reported_revision\": \"RN08\",\n            \"root\": \"/dev/sr0\",\n"
                   "            \"verdict\": \"updated\"\n        }\n    ],\n"
                   "    \"error\": null,\n    \"exit_status\": 0,\n    \"outcome\": \"restarted\"\n}\n"},
        JsonUpdate{"WrongRevision", "rev=RN05,newrev=RN07", 1,
                   "{\n    \"drives\": [\n        {\n            \"bank\": 1,\n"
                   "            \"expected_revision\": \"RN08\",\n            \"index\": 0,\n"
                   "            \"reported_revision\": \"RN07\",\n            \"root\": \"/dev/sr0\",\n"
                   "            \"verdict\": \"wrong_revision\"\n        }\n    ],\n"
                   "    \"error\": {\n        \"code\": \"update_failed\",\n"
                   "        \"message\": \"Unable to flash firmware. Please contact with your vendor !\"\n    },\n"
                   "    \"exit_status\": 1,\n    \"outcome\": \"update_failed\"\n}\n"},
        JsonUpdate{
            "NoMatch", "rev=RN09", 3,
            "{\n    \"drives\": [\n    ],\n    \"error\": {\n        \"code\": \"no_matched_drive\",\n"
            "        \"message\": \"No matched drive detected !\\nThis utility is only for TALVORE DVDRW KRX-407T "
            "drive.\\n\\nDetected drives :\\n 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN09\\n\"\n    },\n"
            "    \"exit_status\": 3,\n    \"outcome\": \"no_matched_drive\"\n}\n"}),
    [](const testing::TestParamInfo<JsonUpdate>& info) { return std::string(info.param.name); });

// ---- --verbose ---------------------------------------------------------------------------

// What the program sent, line for line what the drive received (a sense also in words);
// standard output unchanged. One -v names each command and its outcome; -vv (bundled or
// repeated) shows the trace line, with the command block and the data length.
TEST_F(NorvikCliProcess, VerboseShowsEveryCommandOnStandardError)
{
    const Outcome plain = Run(Packed(), On({"rev=RN05"}, {"list"}));
    for (const std::vector<std::string>& verbosity :
         {std::vector<std::string>{"-v"}, std::vector<std::string>{"-vv"}, std::vector<std::string>{"-v", "-v"}}) {
        std::vector<std::string> arguments = verbosity;
        arguments.push_back("list");
        const Outcome verbose = Run(Packed(), On({"rev=RN05"}, arguments));
        ASSERT_EQ(verbose.exitCode, 0) << verbose.err;
        EXPECT_EQ(verbose.out, plain.out);
        const std::vector<std::string> trace = Lines(ReadText(tracePath));
        const std::vector<std::string> shown = Lines(verbose.err);
        ASSERT_EQ(shown.size(), trace.size()) << verbose.err;
        ASSERT_FALSE(trace.empty());
        const bool blocks = verbosity.size() == 2 || verbosity[0] == "-vv";
        for (std::size_t i = 0; i < trace.size(); ++i) {
            if (blocks) {
                EXPECT_EQ(shown[i].rfind("packed: " + trace[i], 0), 0u) << shown[i];
            }
            if (trace[i].find(" sense 2/3A/01") != std::string::npos) {
                EXPECT_THAT(shown[i], testing::EndsWith("sense 2/3A/01 (Not Ready: Medium not present - tray closed)"));
            }
        }
        if (!blocks) {
            EXPECT_EQ(shown[0],
                      "packed: /dev/sr0 TEST UNIT READY sense 2/3A/01 (Not Ready: Medium not present - tray "
                      "closed)");
            EXPECT_THAT(verbose.err, HasSubstr("packed: /dev/sr0 INQUIRY good\n"));
        }
    }
}

// ---- drives past the table ----------------------------------------------------------------

// The table holds 16 drives; list names each optical drive past them rather than drop it.
TEST_F(NorvikCliProcess, ListNamesTheDrivesPastTheTable)
{
    const Outcome listed = Run(Packed(), On(std::vector<std::string>(24, "rev=RN05"), {"list"}));
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(Lines(listed.out).size(), 16u) << listed.out;
    std::string named;
    for (int drive = 16; drive < 24; ++drive)
        named += "packed: /dev/sr" + std::to_string(drive) + ": not listed: one update takes at most 16 drives\n";
    EXPECT_EQ(listed.err, named);
}

}  // namespace
