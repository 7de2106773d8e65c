// norvik-cli history: records written with the fields the Linux system sends to journald, kept
// in a private journal (systemd-journal-remote writes it), read back by the built program;
// and what the command says when there is no journal to read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontends/cli/CliHistory.h"
#include "platform/linux/SystemJournal.h"

using testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
};

Outcome RunCommand(const std::string& command)
{
    Outcome outcome;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.out.append(buffer, n);
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

template <std::size_t N>
void Put(char (&field)[N], const char* text)
{
    std::snprintf(field, N, "%s", text);
}

platform::JournalRecord Record(const char* message, const char* outcome, const char* sense)
{
    platform::JournalRecord record{};
    record.failure = sense[0] != '\0';
    Put(record.message, message);
    Put(record.version, "0.1.0");
    Put(record.packageSha256, "5f1e8b2a");
    Put(record.node, "/dev/sr0");
    Put(record.model, "TALVORE DVDRW KRX-407T");
    Put(record.serial, "K1234");
    record.bank = 2;
    Put(record.revisionBefore, "RN05");
    Put(record.revisionWanted, "RN08");
    Put(record.outcome, outcome);
    if (record.failure) Put(record.lastCommand, "3B0501004000004000000000");
    Put(record.sense, sense);
    return record;
}

// One entry of the journal's export format: the record's fields as journald gets them.
void WriteExportEntry(std::ofstream& out, const platform::JournalRecord& record, long long seconds)
{
    platform::linux_sys::JournalFieldList list;
    platform::linux_sys::MakeJournalFields(record, list);
    out << "__REALTIME_TIMESTAMP=" << seconds * 1000000 << "\n";
    for (int i = 0; i < list.count; ++i) out << list.fields[i] << "\n";
    out << "\n";
}

class HistoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/norvik-history-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    // The older update failed, the newer one succeeded; between them an entry of another program.
    void WriteJournal()
    {
        std::ofstream out(folder / "entries.export");
        WriteExportEntry(out, Record("older: the download failed", "download-failed", "4/00/00"), 1700000000);
        out << "__REALTIME_TIMESTAMP=1700000050000000\nMESSAGE=another program\n\n";
        WriteExportEntry(out, Record("newer: updated", "updated", ""), 1700000100);
        out.close();
        const std::string command = std::string(JOURNAL_REMOTE) + " --output=" + (folder / "private.journal").string() +
                                    " " + (folder / "entries.export").string() + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        fs::remove(folder / "entries.export");
    }

    Outcome History(const char* options)
    {
        return RunCommand("NORVIK_JOURNAL_DIRECTORY=" + folder.string() + " " NORVIK_CLI " " + options +
                          " history 2>&1");
    }

    fs::path folder;
};

// Newest first, only Norvik's records, every field as it was written.
TEST_F(HistoryTest, ReadsTheRecordsBackNewestFirst)
{
    WriteJournal();
    const Outcome lines = History("");
    EXPECT_EQ(lines.exitCode, 0);
    EXPECT_EQ(lines.out,
              "2023-11-14 22:15:00 UTC  newer: updated\n"
              "2023-11-14 22:13:20 UTC  older: the download failed\n");

    const Outcome json = History("--json");
    EXPECT_EQ(json.exitCode, 0);
    const std::size_t newer = json.out.find("\"message\": \"newer: updated\"");
    const std::size_t older = json.out.find("\"message\": \"older: the download failed\"");
    ASSERT_NE(newer, std::string::npos);
    ASSERT_NE(older, std::string::npos);
    EXPECT_LT(newer, older);
    const std::string olderRecord = json.out.substr(json.out.rfind('{', older));
    for (const char* field :
         {"\"bank\": 2", "\"failure\": true", "\"last_command\": \"3B0501004000004000000000\"",
          "\"model\": \"TALVORE DVDRW KRX-407T\"", "\"node\": \"/dev/sr0\"", "\"outcome\": \"download-failed\"",
          "\"package_sha256\": \"5f1e8b2a\"", "\"revision_before\": \"RN05\"", "\"revision_reported\": null",
          "\"revision_wanted\": \"RN08\"", "\"sense\": \"4/00/00\"", "\"serial\": \"K1234\"",
          "\"time\": \"2023-11-14T22:13:20Z\"", "\"version\": \"0.1.0\""})
        EXPECT_THAT(olderRecord, HasSubstr(field));
    EXPECT_THAT(json.out, testing::Not(HasSubstr("another program")));
}

TEST_F(HistoryTest, AJournalThatCannotBeOpenedIsAFailure)
{
    fs::remove(folder);
    const Outcome outcome = History("");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_THAT(outcome.out, HasSubstr("history: the journal in " + folder.string() + " could not be opened"));
}

// A stand-in of the journal for what the command says without one, or without any record.
class StandInHistory final : public platform::JournalHistory {
public:
    explicit StandInHistory(platform::HistoryOpening opening) : opening(opening) {}
    platform::HistoryOpening Open(char (&reason)[platform::kHistoryReasonSize]) override
    {
        std::snprintf(reason, sizeof reason, "%s", "it is locked");
        return opening;
    }
    bool NextOlder(platform::JournalEntry&) override { return false; }

private:
    platform::HistoryOpening opening;
};

TEST(HistoryWithoutRecords, SaysWhyAndEndsWithItsStatus)
{
    struct Case {
        bool hasHistory;
        platform::HistoryOpening opening;
        bool json;
        int status;
        const char* said;     // on standard error
        const char* written;  // on standard output: all of it, or (a JSON error) a part
    } const cases[] = {
        {false, {}, false, cli::kExitNoJournal, "history: not available on Windows", ""},
        {true, platform::HistoryOpening::NoJournal, false, cli::kExitNoJournal, "this system has no journal", ""},
        {true, platform::HistoryOpening::Failed, false, 1, "history: it is locked", ""},
        {true, platform::HistoryOpening::Opened, false, 0, "the journal holds no update record", ""},
        {true, platform::HistoryOpening::Opened, true, 0, "",
         "{\n    \"error\": null,\n    \"records\": [\n    ]\n}\n"},
        {true, platform::HistoryOpening::NoJournal, true, cli::kExitNoJournal, "this system has no journal",
         "\"code\": \"no_journal\""},
        {true, platform::HistoryOpening::Failed, true, 1, "history: it is locked", "\"code\": \"journal_unreadable\""},
    };
    for (const Case& c : cases) {
        StandInHistory history(c.opening);
        char outText[512] = {}, errText[256] = {};
        std::FILE* out = fmemopen(outText, sizeof outText - 1, "w");
        std::FILE* err = fmemopen(errText, sizeof errText - 1, "w");
        EXPECT_EQ(cli::RunHistory(c.hasHistory ? &history : nullptr, c.json, out, err), c.status);
        std::fclose(out);
        std::fclose(err);
        EXPECT_THAT(std::string(errText), HasSubstr(c.said));
        if (c.written[0] == '\0')
            EXPECT_STREQ(outText, "");
        else
            EXPECT_THAT(std::string(outText), HasSubstr(c.written));
    }
}

}  // namespace
