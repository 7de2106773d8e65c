// norvik-cli history: records written with the fields the Linux system sends to journald, kept
// in a private journal (systemd-journal-remote writes it), read back by the built program;
// and what the command says when there is no journal to read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontends/cli/CliHistory.h"
#include "platform/linux/SystemJournal.h"

using testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

// The program's exit status and its output, standard error included.
std::pair<int, std::string> RunShell(const std::string& command)
{
    std::string out;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {-1, out};
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
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

// Newest first, only Norvik's records, every field as it was written; a journal that cannot be
// opened is a failure.
TEST(History, ReadsTheRecordsBackNewestFirst)
{
    char pattern[] = "/tmp/norvik-history-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    {
        std::ofstream out(folder / "entries.export");
        WriteExportEntry(out,
                         {true, "older: the download failed", "0.1.0", "5f1e8b2a", "/dev/sr0", "TALVORE DVDRW KRX-407T",
                          "K1234", 2, "RN05", "RN08", "", "download-failed", "3B0501004000004000000000", "4/00/00"},
                         1700000000);
        out << "__REALTIME_TIMESTAMP=1700000050000000\nMESSAGE=another program\n\n";
        WriteExportEntry(out, {false, "newer: updated", "", "", "", "", "", 1, "", "", "RN08", "updated", "", ""},
                         1700000100);
    }
    ASSERT_EQ(std::system((std::string(JOURNAL_REMOTE) + " --output=" + (folder / "private.journal").string() + " " +
                           (folder / "entries.export").string() + " 2>/dev/null")
                              .c_str()),
              0);
    const std::string history = "NORVIK_JOURNAL_DIRECTORY=" + folder.string() + " " NORVIK_CLI " ";

    EXPECT_EQ(RunShell(history + "history"),
              std::make_pair(0, std::string("2023-11-14 22:15:00 UTC  newer: updated\n"
                                            "2023-11-14 22:13:20 UTC  older: the download "
                                            "failed\n")));
    const auto [status, json] = RunShell(history + "--json history");
    EXPECT_EQ(status, 0);
    const std::size_t newer = json.find("\"message\": \"newer: updated\"");
    const std::size_t older = json.find("{", newer);
    ASSERT_LT(newer, older);
    for (const char* field : {"\"bank\": 2", "\"failure\": true", "\"last_command\": \"3B0501004000004000000000\"",
                              "\"message\": \"older: the download failed\"", "\"model\": \"TALVORE DVDRW KRX-407T\"",
                              "\"node\": \"/dev/sr0\"", "\"outcome\": \"download-failed\"",
                              "\"package_sha256\": \"5f1e8b2a\"", "\"revision_before\": \"RN05\"",
                              "\"revision_reported\": null", "\"revision_wanted\": \"RN08\"", "\"sense\": \"4/00/00\"",
                              "\"serial\": \"K1234\"", "\"time\": \"2023-11-14T22:13:20Z\"", "\"version\": \"0.1.0\""})
        EXPECT_THAT(json.substr(older), HasSubstr(field));
    EXPECT_THAT(json, testing::Not(HasSubstr("another program")));

    EXPECT_EQ(RunShell(history + "--virtual rev=RN05 history").first, 2) << "virtual updates leave no record";
    fs::remove_all(folder);
    EXPECT_EQ(RunShell(history + "history"),
              std::make_pair(1, "norvik-cli: history: the journal in " + folder.string() +
                                    " could not be opened: No such file or directory\n"));
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

TEST(History, WithoutRecordsSaysWhyAndEndsWithItsStatus)
{
    using platform::HistoryOpening;
    struct Case {
        bool hasHistory;
        HistoryOpening opening;
        bool json;
        int status;
        const char* said;     // on standard error
        const char* written;  // on standard output: all of it, or (a JSON error) a part
    } const cases[] = {
        {false, {}, false, cli::kExitNoJournal, "history: not available on Windows", ""},
        {true, HistoryOpening::NoJournal, false, cli::kExitNoJournal, "this system has no journal", ""},
        {true, HistoryOpening::NoJournal, true, cli::kExitNoJournal, "no journal", "\"code\": \"no_journal\""},
        {true, HistoryOpening::Failed, true, 1, "history: it is locked", "\"code\": \"journal_unreadable\""},
        {true, HistoryOpening::Opened, false, 0, "the journal holds no update record", ""},
        {true, HistoryOpening::Opened, true, 0, "", "{\n    \"error\": null,\n    \"records\": [\n    ]\n}\n"},
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
        using Text = testing::Matcher<std::string>;
        EXPECT_THAT(std::string(outText), c.written[0] == '\0' ? Text(testing::IsEmpty()) : Text(HasSubstr(c.written)));
    }
}

}  // namespace
