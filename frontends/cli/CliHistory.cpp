#include "frontends/cli/CliHistory.h"

#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

#include "frontends/cli/CliCommands.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/CliTexts.h"
#include "frontends/cli/JsonDocument.h"
#include "frontends/cli/TerminalView.h"

namespace cli {

namespace {

void PutDigits(char* at, int value, int count)
{
    for (int i = count - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
}

// When a record was written, in UTC: "2026-12-08 04:23:24 UTC" for a person, or
// "2026-12-08T04:23:24Z" for a program. Reckoned with the standard library's calendar, so that
// no C runtime's time functions are needed.
void FormatTime(int64_t microseconds, bool forJson, char (&text)[32])
{
    using namespace std::chrono;
    const sys_seconds time = floor<seconds>(
        sys_time<std::chrono::microseconds>(std::chrono::microseconds(microseconds)));
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss<seconds> clock(time - day);
    const int year = static_cast<int>(date.year());
    const std::string_view pattern = forJson ? "0000-00-00T00:00:00Z" : "0000-00-00 00:00:00 UTC";
    std::memcpy(text, pattern.data(), pattern.size() + 1);
    PutDigits(text, year < 0 ? 0 : year % 10000, 4);
    PutDigits(text + 5, static_cast<int>(static_cast<unsigned>(date.month())), 2);
    PutDigits(text + 8, static_cast<int>(static_cast<unsigned>(date.day())), 2);
    PutDigits(text + 11, static_cast<int>(clock.hours().count()), 2);
    PutDigits(text + 14, static_cast<int>(clock.minutes().count()), 2);
    PutDigits(text + 17, static_cast<int>(clock.seconds().count()), 2);
}

// Anyone may write a record with this MESSAGE_ID, so every field is untrusted text.
template <std::size_t N>
JsonValue TextOrNull(const char (&field)[N])
{
    const std::string_view text(field, strnlen(field, N));
    if (text.empty()) return JsonValue();
    return JsonValue(text, JsonValue::Encoding::Latin1);
}

JsonValue RecordObject(const platform::JournalEntry& entry)
{
    const platform::JournalRecord& record = entry.record;
    char time[32];
    FormatTime(entry.realtimeMicroseconds, true, time);
    JsonValue object = JsonValue::Object();
    object["time"] = time;
    object["outcome"] = TextOrNull(record.outcome);
    object["failure"] = record.failure;
    object["node"] = TextOrNull(record.node);
    object["model"] = TextOrNull(record.model);
    object["serial"] = TextOrNull(record.serial);
    object["bank"] = record.bank != 0 ? JsonValue(static_cast<int>(record.bank)) : JsonValue();
    object["revision_before"] = TextOrNull(record.revisionBefore);
    object["revision_wanted"] = TextOrNull(record.revisionWanted);
    object["revision_reported"] = TextOrNull(record.revisionReported);
    object["last_command"] = TextOrNull(record.lastCommand);
    object["sense"] = TextOrNull(record.sense);
    object["version"] = TextOrNull(record.version);
    object["package_sha256"] = TextOrNull(record.packageSha256);
    object["message"] = TextOrNull(record.message);
    return object;
}

// "TIME  MESSAGE", the message as the journal keeps it.
bool WriteRecordLine(std::FILE* out, const platform::JournalEntry& entry)
{
    char time[32];
    FormatTime(entry.realtimeMicroseconds, false, time);
    const platform::JournalRecord& record = entry.record;
    return std::fprintf(out, "%s  ", time) >= 0 &&
           WriteAsText(out, std::string_view(record.message, strnlen(record.message, sizeof record.message)),
                       LineFeeds::Escaped) &&
           std::fputc('\n', out) != EOF;
}

// The history's end without records to show: one line on err and, under --json, the error
// document (in English) on out.
int EndWithout(bool json, std::FILE* out, std::FILE* err, int status, std::string_view code, std::string_view message)
{
    const std::string_view shown = ConsoleText(message);
    std::fprintf(err, "%s: %.*s\n", ProgramName(), static_cast<int>(shown.size()), shown.data());
    if (json) WriteErrorDocument(out, status, code, message);
    return status;
}

}  // namespace

int RunHistory(platform::JournalHistory* history, bool json, std::FILE* out, std::FILE* err)
{
    if (history == nullptr)
        return EndWithout(json, out, err, kExitNoJournal, "no_journal", console::kHistoryNotOnWindows);
    char reason[platform::kHistoryReasonSize];
    switch (history->Open(reason)) {
    case platform::HistoryOpening::Opened: break;
    case platform::HistoryOpening::NoJournal:
        return EndWithout(json, out, err, kExitNoJournal, "no_journal", console::kHistoryNoJournal);
    case platform::HistoryOpening::Failed:
        return EndWithout(json, out, err, kExitUpdateFailed, "journal_unreadable", std::string("history: ") + reason);
    }
    JsonValue records = JsonValue::Array();
    bool written = true;
    int count = 0;
    platform::JournalEntry entry;
    while (history->NextOlder(entry)) {
        ++count;
        if (json)
            records.Append(RecordObject(entry));
        else
            written = WriteRecordLine(out, entry) && written;
    }
    if (json) {
        JsonValue document = JsonValue::Object();
        document["records"] = std::move(records);
        document["error"] = JsonValue();
        written = std::fputs(document.Indented().c_str(), out) != EOF;
    } else if (count == 0) {
        std::fprintf(err, ConsoleFormat(console::kNoHistoryRecordFormat), ProgramName());
    }
    return written ? kExitSuccess : kExitUpdateFailed;
}

}  // namespace cli
