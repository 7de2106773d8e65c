// The command line of norvik-cli, the exit status for each end of the sequence, and the
// verdict that list prints after a drive's entry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include "frontends/cli/CliCommands.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/JsonDocument.h"
#include "frontends/cli/RecordingSystem.h"
#include "frontends/cli/TerminalView.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"

namespace {

using cli::Command;
using cli::Request;

struct Parsed {
    Request request;
    cli::CliOptions options;
    std::string error;
};

std::unique_ptr<Parsed> Parse(const std::vector<const char*>& arguments)
{
    auto parsed = std::make_unique<Parsed>();
    parsed->request = cli::ParseCliOptions(static_cast<int>(arguments.size()), arguments.data(), parsed->options,
                                           parsed->error);
    return parsed;
}

// ---- Commands and options ------------------------------------------------------------------

TEST(CliOptions, ListAndUpdateWithTheirOptions)
{
    const auto list = Parse({"list"});
    ASSERT_EQ(list->request, Request::Run) << list->error;
    EXPECT_EQ(list->options.command, Command::List);
    EXPECT_FALSE(list->options.Virtual());
    EXPECT_FALSE(list->options.assumeYes);

    const auto update = Parse({"--yes", "update", "--drive", "2", "--virtual", "rev=RN06", "--virtual=rev=RN07,disc=1",
                               "--aspi", "--trace=/tmp/t", "--json", "-v"});
    ASSERT_EQ(update->request, Request::Run) << update->error;
    EXPECT_EQ(update->options.command, Command::Update);
    EXPECT_TRUE(update->options.assumeYes);
    EXPECT_TRUE(update->options.aspi);
    EXPECT_EQ(update->options.drive, 2);
    EXPECT_EQ(update->options.traceFile, "/tmp/t");
    EXPECT_TRUE(update->options.json);
    EXPECT_EQ(update->options.verbosity, 1);
    EXPECT_FALSE(list->options.json);
    EXPECT_EQ(list->options.verbosity, 0);
    EXPECT_TRUE(list->options.packageFile.empty());
    ASSERT_EQ(update->options.virtualCount, 2);
    EXPECT_STREQ(update->options.virtualDrives[0].drive.revision, "RN06");
    EXPECT_STREQ(update->options.virtualDrives[1].drive.revision, "RN07");
    EXPECT_TRUE(update->options.virtualDrives[1].drive.discPresent);
    EXPECT_FALSE(update->options.virtualDrives[0].drive.discPresent) << "each drive starts from the defaults";
}

TEST(CliOptions, HelpAndVersionWinOverEverythingElse)
{
    EXPECT_EQ(Parse({"--help"})->request, Request::Help);
    EXPECT_EQ(Parse({"update", "-h"})->request, Request::Help);
    EXPECT_EQ(Parse({"--bogus", "--help"})->request, Request::Usage) << "read in order: the bad option first";
    EXPECT_EQ(Parse({"--version"})->request, Request::Version);
    EXPECT_NE(cli::HelpText().find("usage: norvik-cli [options] list"), std::string_view::npos);
    EXPECT_NE(cli::HelpText().find("--virtual DRIVE"), std::string_view::npos);
}

TEST(CliOptions, HelpFitsEightyColumns)
{
    const std::string text = cli::HelpText();
    std::string_view help = text;
    for (std::size_t end = 0; !help.empty(); help.remove_prefix(end + 1)) {
        end = std::min(help.find('\n'), help.size() - 1);
        EXPECT_LE(help.substr(0, end).size(), 80u) << help.substr(0, end);
    }
}

TEST(CliOptions, RealClockOnlyForDrivesWithModelledDurations)
{
    EXPECT_FALSE(Parse({"list", "--virtual", "rev=RN05", "--virtual", "polls=5"})->options.NeedsRealClock());
    EXPECT_TRUE(Parse({"list", "--virtual", "rev=RN05", "--virtual", "timing=realistic"})->options.NeedsRealClock());
    EXPECT_TRUE(Parse({"list", "--virtual", "commit=2"})->options.NeedsRealClock());
    EXPECT_FALSE(Parse({"list", "--virtual", "timing=realistic,timing=instant"})->options.NeedsRealClock());
}

// getopt_long's conventions: bundled short options, counted -v, "--" ending the options, a
// value joined or apart; a second parse in the same process reads only its own arguments.
struct ConventionCase {
    const char* name;
    std::vector<const char*> arguments;
    Command command;
    bool assumeYes;
    int verbosity;
    const char* packageFile;
};

void PrintTo(const ConventionCase& convention, std::ostream* out) { *out << convention.name; }

class CliConventions : public testing::TestWithParam<ConventionCase> {};

TEST_P(CliConventions, ReadAsGetoptLongReadsThem)
{
    const ConventionCase& c = GetParam();
    for (int round = 0; round < 2; ++round) {
        const auto parsed = Parse(c.arguments);
        ASSERT_EQ(parsed->request, Request::Run) << parsed->error;
        EXPECT_EQ(parsed->options.command, c.command);
        EXPECT_EQ(parsed->options.assumeYes, c.assumeYes);
        EXPECT_EQ(parsed->options.verbosity, c.verbosity);
        EXPECT_EQ(parsed->options.packageFile, c.packageFile);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliConventions,
    testing::Values(
        ConventionCase{"Bundled", {"-yv", "update"}, Command::Update, true, 1, ""},
        ConventionCase{"CountedV", {"-vv", "list", "-v", "--verbose"}, Command::List, false, 4, ""},
        ConventionCase{
            "OptionsAfterCommand", {"update", "-y", "--package", "a.nvpkg"}, Command::Update, true, 0, "a.nvpkg"},
        ConventionCase{"JoinedValue", {"--package=-y", "update"}, Command::Update, false, 0, "-y"},
        ConventionCase{"DashDashEndsOptions", {"-v", "--", "history"}, Command::History, false, 1, ""},
        ConventionCase{"History", {"history", "--json"}, Command::History, false, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct UsageCase {
    const char* name;
    std::vector<const char*> arguments;
    const char* reason;
};

void PrintTo(const UsageCase& usage, std::ostream* out) { *out << usage.name; }

class CliUsageError : public testing::TestWithParam<UsageCase> {};

TEST_P(CliUsageError, IsOneLineThatSaysWhy)
{
    const auto parsed = Parse(GetParam().arguments);
    EXPECT_EQ(parsed->request, Request::Usage);
    EXPECT_NE(parsed->error.find(GetParam().reason), std::string::npos) << parsed->error;
    EXPECT_EQ(parsed->error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUsageError,
    testing::Values(
        UsageCase{"NoCommand", {}, "no command"}, UsageCase{"OptionsOnly", {"--yes"}, "no command"},
        UsageCase{"UnknownCommand", {"flash"}, "unknown command \"flash\""},
        UsageCase{"TwoCommands", {"list", "update"}, "more than one command"},
        UsageCase{"UnknownOption", {"list", "--colour"}, "unknown option --colour"},
        UsageCase{"DriveWithList", {"list", "--drive", "1"}, "--drive goes with the update command"},
        UsageCase{"DriveWithoutNumber", {"update", "--drive"}, "--drive needs a number"},
        UsageCase{"DriveNotANumber", {"update", "--drive", "one"}, "is not a list line number"},
        UsageCase{"NegativeDrive", {"update", "--drive=-1"}, "is not a list line number"},
        UsageCase{"DriveWithTrailingText", {"update", "--drive", "1x"}, "is not a list line number"},
        UsageCase{"VirtualWithoutSpec", {"list", "--virtual"}, "--virtual needs a drive"},
        UsageCase{"BadVirtualDrive", {"list", "--virtual", "rev=RN0555"}, "rev: \"RN0555\" has more than 4 characters"},
        UsageCase{"UnknownVirtualKey", {"list", "--virtual", "colour=red"}, "--virtual \"colour=red\""},
        UsageCase{"AspiWithoutVirtual", {"list", "--aspi"}, "--aspi goes with --virtual"},
        UsageCase{"TraceWithoutFile", {"list", "--virtual", "rev=RN05", "--trace="}, "--trace needs a file name"},
        UsageCase{"PackageWithoutFile", {"update", "--package"}, "--package needs a file name"},
        UsageCase{"UnknownShortInBundle", {"-yq", "list"}, "unknown option -q"},
        UsageCase{"ValueForAFlag", {"list", "--json=1"}, "--json takes no value"},
        UsageCase{"ValueForAShortsLongForm", {"list", "--yes=1"}, "--yes takes no value"},
        UsageCase{"UnknownLongWithValue", {"list", "--colour=red"}, "unknown option --colour"},
        UsageCase{"AmbiguousAbbreviation", {"list", "--ver"}, "ambiguous option --ver (--version, --verbose)"},
        UsageCase{"OptionAfterDashDash", {"list", "--", "-v"}, "more than one command (\"-v\")"},
        UsageCase{"WordAfterDashDash", {"--", "flash"}, "unknown command \"flash\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliOptions, AtMostAsManyVirtualDrivesAsTheSystemHolds)
{
    std::vector<const char*> arguments = {"list"};
    for (int i = 0; i < cli::kMaxVirtualDrives; ++i) {
        arguments.push_back("--virtual");
        arguments.push_back("rev=RN05");
    }
    EXPECT_EQ(Parse(arguments)->request, Request::Run);
    arguments.push_back("--virtual");
    arguments.push_back("rev=RN05");
    const auto parsed = Parse(arguments);
    EXPECT_EQ(parsed->request, Request::Usage);
    EXPECT_NE(parsed->error.find("at most 24"), std::string::npos) << parsed->error;
}

// ---- Exit status ---------------------------------------------------------------------------

struct ExitCase {
    SequenceOutcome outcome;
    int status;
};

class CliExitStatus : public testing::TestWithParam<ExitCase> {};

TEST_P(CliExitStatus, FollowsHowTheSequenceEnded)
{
    EXPECT_EQ(cli::ExitCodeFor(GetParam().outcome), GetParam().status) << static_cast<int>(GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CliExitStatus,
    testing::Values(ExitCase{SequenceOutcome::Updated, 0}, ExitCase{SequenceOutcome::Restarted, 0},
                    ExitCase{SequenceOutcome::ClosedAfterSuccess, 0}, ExitCase{SequenceOutcome::UpdateFailed, 1},
                    ExitCase{SequenceOutcome::DeviceFailed, 1}, ExitCase{SequenceOutcome::Undecided, 1},
                    ExitCase{SequenceOutcome::NoFirmware, 3}, ExitCase{SequenceOutcome::InvalidPackage, 3},
                    ExitCase{SequenceOutcome::NoMatchedDrive, 3}, ExitCase{SequenceOutcome::NoticeDeclined, 3},
                    ExitCase{SequenceOutcome::QuestionDeclined, 3}));

// ---- The verdict of list -------------------------------------------------------------------

TEST(CliVerdict, UpdatableDriveShowsBankFromOneAndNewRevisionRefusedOneItsReason)
{
    const PackageReader package(payload::OwnPackageBlock());
    DriveRecord record{};
    char verdict[cli::kVerdictSize];
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "not allowed: drive not present");
    record.present = 1;
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "not allowed: the program carries no firmware");
    record.updatable = 1;
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "updatable bank=1 current=0 new=RN08");
    record.alreadyCurrent = 1;
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict), "updatable bank=1 current=1 new=RN08");
    record.bankNumber = 3;  // a bank without a new revision in the delivered package
    EXPECT_EQ(cli::FormatVerdict(record, package, false, verdict).substr(0, 29), "updatable bank=4 current=1 ne");
}

// ---- list --json ---------------------------------------------------------------------------

std::string ReadAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    return text;
}

// The program as built carries no firmware: every drive is refused for that. The first drive's
// vendor starts with 9Bh (the model's corrupt fault inverts 'd'), a control character that the
// document carries escaped, never as it is.
TEST(CliListJson, OneDocumentWithEveryDrive)
{
    sim::VirtualSystem system;
    std::string reason;
    ASSERT_NE(system.AddDrive("vendor=d[2J,fault=12#1+:corrupt:8", reason), nullptr) << reason;
    ASSERT_NE(system.AddDrive("rev=RN05,host=1,path=2,target=3,lun=4", reason), nullptr) << reason;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int status = -1;
    {
        cli::TerminalView view(err, nullptr, cli::TerminalSettings{false, false, false, false});
        cli::ListChoice choice;
        choice.json = true;
        choice.virtualSystem = true;
        status = cli::RunList(system, payload::OwnPackageBlock(), view, out, err, choice);
    }
    const std::string text = ReadAll(out);
    EXPECT_EQ(ReadAll(err), "");
    std::fclose(out);
    std::fclose(err);
    EXPECT_EQ(status, cli::kExitSuccess);

    EXPECT_NE(text.find("\\u009B[2J"), std::string::npos) << text;
    EXPECT_EQ(text.find("\xC2\x9B"), std::string::npos) << text;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    const QJsonArray drives = document.object()["drives"].toArray();
    ASSERT_EQ(drives.size(), 2);
    EXPECT_EQ(drives[0].toObject()["vendor"].toString(), QString(QChar(0x9B)) + "[2J    ");
    const QJsonObject second = drives[1].toObject();
    EXPECT_EQ(second["index"].toInt(), 1);
    EXPECT_EQ(second["root"].toString(), "/dev/sr1");
    EXPECT_TRUE(second["command_node"].isNull());
    EXPECT_EQ(second["host"].toInt(), 1);
    EXPECT_EQ(second["path"].toInt(), 2);
    EXPECT_EQ(second["target"].toInt(), 3);
    EXPECT_EQ(second["lun"].toInt(), 4);
    EXPECT_EQ(second["product"].toString(), "DVDRW KRX-407T  ");
    EXPECT_EQ(second["revision"].toString(), "RN05");
    EXPECT_EQ(second["verdict"].toString(), "not allowed");
    EXPECT_TRUE(second["bank"].isNull());
    EXPECT_TRUE(second["new_revision"].isNull());
    EXPECT_FALSE(second["already_current"].toBool(true));
    EXPECT_EQ(second["reason"].toString(), "the program carries no firmware");
    EXPECT_TRUE(document.object()["not_listed"].toArray().isEmpty());
    EXPECT_TRUE(document.object()["permission_advice"].isNull());
}

// A drive the package may update, on a node that cannot carry the update from this process:
// the line and the document say so instead of "updatable".
TEST(CliList, NodeThatCannotCarryTheUpdateIsSaidInTheVerdict)
{
    std::vector<uint8_t> block(payload::OwnPackageBlock(), payload::OwnPackageBlock() + payload::kPackageSize);
    block[offsetof(payload::PackageBlock, imageArea)] = 0x5A;  // firmware in place of the placeholder
    sim::VirtualSystem system;
    std::string reason;
    ASSERT_NE(system.AddDrive("rev=RN05", reason), nullptr) << reason;
    for (const bool json : {false, true}) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        {
            cli::TerminalView view(err, nullptr, cli::TerminalSettings{false, false, false, false});
            cli::ListChoice choice;
            choice.json = json;
            choice.virtualSystem = true;
            choice.nodeRefusal = [](const char*, char(&why)[cli::kNodeRefusalSize]) {
                std::snprintf(why, sizeof why, "no permission to open /dev/sg9 for reading and writing");
                return true;
            };
            EXPECT_EQ(cli::RunList(system, block.data(), view, out, err, choice), cli::kExitSuccess);
        }
        const std::string text = ReadAll(out);
        std::fclose(out);
        std::fclose(err);
        if (!json) {
            EXPECT_NE(text.find("RN05  not updatable from here: no permission to open /dev/sg9 for reading and "
                                "writing\n"),
                      std::string::npos)
                << text;
            continue;
        }
        const QJsonObject drive =
            QJsonDocument::fromJson(QByteArray::fromStdString(text)).object()["drives"][0].toObject();
        EXPECT_EQ(drive["verdict"].toString(), "not updatable from here") << text;
        EXPECT_EQ(drive["reason"].toString(), "no permission to open /dev/sg9 for reading and writing");
    }
}

TEST(CliListJson, ReasonForADriveThatIsNotThere)
{
    const PackageReader package(payload::OwnPackageBlock());
    DriveRecord record{};
    EXPECT_EQ(cli::RefusalReason(record, package, false), "drive not present");
    record.present = 1;
    EXPECT_EQ(cli::RefusalReason(record, package, true), "the program carries no firmware");
    record.updatable = 1;
    EXPECT_EQ(cli::RefusalReason(record, package, true), "");
}

// A machine without an optical drive: list says so, and the status stays that of a list made.
TEST(CliList, NoOpticalDriveIsSaidOnStandardError)
{
    sim::VirtualSystem system;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    cli::TerminalView view(err, nullptr, cli::TerminalSettings{false, false, false, false});
    EXPECT_EQ(cli::RunList(system, payload::OwnPackageBlock(), view, out, err,
                           cli::ListChoice{.json = true, .virtualSystem = true}),
              cli::kExitSuccess);
    EXPECT_EQ(ReadAll(err), "norvik-cli: no optical drive found\n");
    const QJsonObject error =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadAll(out))).object()["error"].toObject();
    EXPECT_EQ(error["code"].toString(), "no_drive");
    std::fclose(out);
    std::fclose(err);
}

// A system that has refused a right: list still lists, and says so in its exit status.
class RefusingSystem : public sim::VirtualSystem {
public:
    const char* PermissionAdvice() const override { return "no right to open /dev/sg0: join the cdrom group"; }
};

TEST(CliList, RefusedPermissionHasItsOwnExitStatus)
{
    for (const bool json : {false, true}) {
        RefusingSystem system;
        system.AddDrive();
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        int status = -1;
        {
            cli::TerminalView view(err, nullptr, cli::TerminalSettings{false, false, false, false});
            cli::ListChoice choice;
            choice.json = json;
            choice.virtualSystem = true;
            status = cli::RunList(system, payload::OwnPackageBlock(), view, out, err, choice);
        }
        EXPECT_EQ(status, cli::kExitNoPermission);
        EXPECT_EQ(ReadAll(err), "norvik-cli: no right to open /dev/sg0: join the cdrom group\n");
        EXPECT_NE(ReadAll(out).find(json ? "join the cdrom group" : "not allowed"), std::string::npos);
        std::fclose(out);
        std::fclose(err);
    }
    // An update that finds no drive it may update says the same with the same status.
    RefusingSystem empty;
    std::FILE* shown = std::tmpfile();
    cli::TerminalView view(shown, nullptr, cli::TerminalSettings{true, false, false, true});
    EXPECT_EQ(cli::RunUpdate(empty, payload::OwnPackageBlock(), view, cli::UpdateChoice{.virtualSystem = true}, shown,
                             shown),
              cli::kExitNoPermission);
    std::fclose(shown);
}

// A restart the package asks for, requested or not made (no privilege, or refused): the console
// says which, --json and the journal say when it was not made; the drive holds the new firmware
// all the same, so the status stays 0.
TEST(CliUpdate, RestartIsReportedAsTheSystemAnswered)
{
    const struct {
        bool privilege, accepted;
        const char* shown;  // standard output when requested, else standard error
        const char* outcome;
    } cases[] = {{true, true, "Restart requested (virtual system", "restarted"},
                 {false, true, "not made: this process may not restart the system", "restart_not_made"},
                 {true, false, "not made: the system refused the request", "restart_not_made"}};
    std::vector<uint8_t> block(payload::OwnPackageBlock(), payload::OwnPackageBlock() + payload::kPackageSize);
    block[offsetof(payload::PackageBlock, imageArea)] = 0x5A;  // firmware in place of the placeholder
    for (const auto& c : cases) {
        sim::VirtualSystem system;
        system.SetShutdownPrivilege(c.privilege);
        system.SetRestartAccepted(c.accepted);
        std::string reason;
        ASSERT_NE(system.AddDrive("rev=RN05", reason), nullptr) << reason;
        std::FILE* streams[3] = {std::tmpfile(), std::tmpfile(), std::tmpfile()};  // out, err, json
        cli::TerminalView view(streams[1], nullptr, cli::TerminalSettings{true, false, false, true});
        cli::UpdateChoice choice;
        choice.virtualSystem = true;
        choice.json = streams[2];
        // The package's identity reaches every record of the update.
        const std::string identity(64, c.privilege ? 'a' : 'b');
        choice.packageIdentity = identity.c_str();
        EXPECT_EQ(cli::RunUpdate(system, block.data(), view, choice, streams[0], streams[1]), cli::kExitSuccess);
        EXPECT_FALSE(system.journalRecords().empty());
        for (const platform::JournalRecord& record : system.journalRecords())
            EXPECT_EQ(std::string(record.packageSha256), identity);
        EXPECT_NE(ReadAll(streams[c.privilege && c.accepted ? 0 : 1]).find(c.shown), std::string::npos) << c.shown;
        EXPECT_NE(ReadAll(streams[2]).find(std::string("\"outcome\": \"") + c.outcome + "\""), std::string::npos);
        EXPECT_EQ(system.journal().back().ends_with("it is still due"), !(c.privilege && c.accepted));
        for (std::FILE* stream : streams) std::fclose(stream);
    }
}

// ---- The recording system ---------------------------------------------------------------

// What the system would show in a message box (the ASPI loader's errors under --aspi) is one line
// on the console's stream, and never reaches the system.
TEST(CliRecordingSystem, MessageBoxesBecomeLinesOnTheMessagesStream)
{
    const std::pair<sim::AspiPresence, const char*> cases[] = {
        {sim::AspiPresence::Absent, "norvik-cli: Error FS 002: LoadLibrary: WNASPI32.DLL not found.\n"},
        {sim::AspiPresence::Present, "norvik-cli: GetASPISupportInfo: Error initializing ASPI.\n"}};
    for (const auto& [presence, line] : cases) {
        sim::VirtualSystem system;
        system.SetPlatformId(sim::VirtualSystem::kPlatformWindows);
        system.SetAspiManager(sim::AspiSettings{.presence = presence, .supportStatus = platform::SS_ERR});
        std::FILE* shown = std::tmpfile();
        std::FILE* messages = std::tmpfile();
        cli::RecordingSystem recording(system, nullptr, nullptr, messages);
        cli::TerminalView view(shown, nullptr, cli::TerminalSettings{false, false, false, false});
        cli::RunList(recording, payload::OwnPackageBlock(), view, shown, shown, cli::ListChoice{.virtualSystem = true});
        EXPECT_EQ(ReadAll(messages), line);
        EXPECT_TRUE(system.messages().empty());
        std::fclose(shown);
        std::fclose(messages);
    }
}

// In front of a virtual system the recorder's trace is the drive's own, line for line: every
// command forwarded, its outcome read back as the drive gave it.
TEST(CliRecordingSystem, TracesWhatTheDrivesAnswer)
{
    sim::VirtualSystem system;
    std::string reason;
    ASSERT_NE(system.AddDrive("rev=RN05,fault=12#1:sense:2/3A/01", reason), nullptr) << reason;
    ASSERT_NE(system.AddDrive("rev=RN06,fault=12#1:fail", reason), nullptr) << reason;
    std::FILE* drives = std::tmpfile();
    std::FILE* recorded = std::tmpfile();
    std::FILE* verbose = std::tmpfile();
    for (int i = 0; i < system.driveCount(); ++i) system.drive(i).SetTraceFile(drives, system.rootOf(i));
    cli::RecordingSystem recording(system, recorded, verbose, nullptr);
    {
        std::FILE* shown = std::tmpfile();
        cli::TerminalView view(shown, nullptr, cli::TerminalSettings{false, false, false, false});
        cli::ListChoice choice;
        choice.virtualSystem = true;
        cli::RunList(recording, payload::OwnPackageBlock(), view, shown, shown, choice);
        std::fclose(shown);
    }
    for (int i = 0; i < system.driveCount(); ++i) system.drive(i).SetTraceFile(nullptr, "");
    const std::string trace = ReadAll(recorded);
    EXPECT_EQ(trace, ReadAll(drives));
    EXPECT_NE(trace.find(" in 96 sense 2/3A/01\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("/dev/sr1 120000006000000000000000 in 96 failed\n"), std::string::npos) << trace;
    const std::string shown = ReadAll(verbose);
    EXPECT_NE(shown.find(" in 96 sense 2/3A/01 (Not Ready: Medium not present"), std::string::npos) << shown;
    EXPECT_EQ(shown.rfind("norvik-cli: /dev/sr", 0), 0u) << shown;
    for (std::FILE* file : {drives, recorded, verbose}) std::fclose(file);
}

// Drives answer in either sense format.
TEST(CliRecordingSystem, DescriptorSenseReadsLikeFixedSense)
{
    platform::PassThroughRequest request{};
    request.cdb[0] = 0x3B;
    request.direction = platform::DataDirection::Out;
    request.length = 16;
    request.transferred = 16;
    char line[256];
    cli::FormatCommandLine("/dev/sr3", request, true, false, line, sizeof line);
    EXPECT_STREQ(line, "/dev/sr3 3B0000000000000000000000 out 16 good");
    request.transferred = 8;
    cli::FormatCommandLine("/dev/sr3", request, true, false, line, sizeof line);
    EXPECT_STREQ(line, "/dev/sr3 3B0000000000000000000000 out 16 short 8");
    const uint8_t descriptor[] = {0x72, 0x05, 0x24, 0x00};
    std::memcpy(request.sense, descriptor, sizeof descriptor);
    cli::FormatCommandLine("/dev/sr3", request, true, false, line, sizeof line);
    EXPECT_STREQ(line, "/dev/sr3 3B0000000000000000000000 out 16 sense 5/24/00");
    cli::FormatCommandLine("/dev/sr3", request, false, false, line, sizeof line);
    EXPECT_STREQ(line, "/dev/sr3 3B0000000000000000000000 out 16 failed");
}

}  // namespace

// ---- The JSON writer -----------------------------------------------------------------------

// Random documents of the shapes --json writes, with texts of random bytes: each reads back as
// the same document, holds no raw control character, and is byte for byte what QJsonDocument
// writes wherever the texts hold none of the characters it would leave raw (DEL, 80h-9Fh).
TEST(CliJsonDocument, ReadsBackAndMatchesQtsIndentedForm)
{
    std::mt19937 random(20261207);
    const auto randomBytes = [&random] {
        std::string bytes(random() % 12, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random() % 4 == 0 ? random() % 0x30 : random() % 0x100);
        return bytes;
    };
    for (int round = 0; round < 400; ++round) {
        cli::JsonValue document = cli::JsonValue::Object();
        QJsonObject expected;
        cli::JsonValue drives = cli::JsonValue::Array();
        QJsonArray expectedDrives;
        bool qtLeavesRaw = false;
        for (int drive = 0; drive < static_cast<int>(random() % 3); ++drive) {
            cli::JsonValue entry = cli::JsonValue::Object();
            QJsonObject expectedEntry;
            for (const char* key : {"vendor", "root", "bank", "already_current", "reason"}) {
                const std::string bytes = randomBytes();
                qtLeavesRaw = qtLeavesRaw || std::any_of(bytes.begin(), bytes.end(), [](char c) {
                                  return static_cast<unsigned char>(c) >= 0x7F && static_cast<unsigned char>(c) <= 0x9F;
                              });
                switch (random() % 4) {
                case 0:
                    entry[key] = cli::JsonText(bytes);
                    expectedEntry[key] = QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
                    break;
                case 1: {
                    const int number = static_cast<int>(random() % 2000) - 1000;
                    entry[key] = number;
                    expectedEntry[key] = number;
                    break;
                }
                case 2: {
                    const bool flag = random() % 2 == 0;
                    entry[key] = flag;
                    expectedEntry[key] = flag;
                    break;
                }
                default: entry[key] = cli::JsonValue(); expectedEntry[key] = QJsonValue();
                }
            }
            drives.Append(std::move(entry));
            expectedDrives.append(expectedEntry);
        }
        document["drives"] = std::move(drives);
        document["exit_status"] = round;
        expected["drives"] = expectedDrives;
        expected["exit_status"] = round;

        const std::string json = document.Indented();
        QJsonParseError error{};
        const QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
        EXPECT_EQ(parsed.object(), expected) << json;
        for (std::size_t i = 0; i < json.size(); ++i) {
            const auto byte = static_cast<unsigned char>(json[i]);
            EXPECT_TRUE((byte >= 0x20 && byte != 0x7F) || byte == '\n') << "raw control at " << i << ": " << json;
            if (byte == 0xC2 && i + 1 < json.size()) {
                EXPECT_FALSE(static_cast<unsigned char>(json[i + 1]) <= 0x9F) << "raw C1 control: " << json;
            }
        }
        if (!qtLeavesRaw) {
            EXPECT_EQ(json, QJsonDocument(expected).toJson(QJsonDocument::Indented).toStdString());
        }
    }
}
