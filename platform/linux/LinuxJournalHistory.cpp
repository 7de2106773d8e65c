#include "platform/linux/LinuxJournalHistory.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include <systemd/sd-journal.h>

#include "platform/linux/SystemJournal.h"

namespace platform {

namespace {

constexpr char kMessageIdMatch[] = "MESSAGE_ID=9b84905842604916b83ce4850b342ebc";
static_assert(std::string_view(kMessageIdMatch).substr(11) == kJournalMessageId);

// The value of field NAME of the current entry into a text field of size bytes; empty when the
// entry has no such field.
void CopyField(sd_journal* journal, const char* name, char* text, std::size_t size)
{
    text[0] = '\0';
    const void* data = nullptr;
    std::size_t length = 0;
    if (sd_journal_get_data(journal, name, &data, &length) < 0) return;
    const std::size_t prefix = std::strlen(name) + 1;  // "NAME="
    if (length < prefix) return;
    std::size_t copied = length - prefix;
    if (copied > size - 1) copied = size - 1;
    std::memcpy(text, static_cast<const char*>(data) + prefix, copied);
    text[copied] = '\0';
}

}  // namespace

LinuxJournalHistory::LinuxJournalHistory(const char* directory) : directory(directory) {}

LinuxJournalHistory::~LinuxJournalHistory()
{
    if (journal != nullptr) sd_journal_close(journal);
}

HistoryOpening LinuxJournalHistory::Open(char (&reason)[kHistoryReasonSize])
{
    reason[0] = '\0';
    if (directory == nullptr && !linux_sys::JournalRuns(linux_sys::kJournalSocket)) return HistoryOpening::NoJournal;
    const int opened = directory != nullptr ? sd_journal_open_directory(&journal, directory, 0)
                                            : sd_journal_open(&journal, SD_JOURNAL_LOCAL_ONLY);
    if (opened < 0) {
        journal = nullptr;
        std::snprintf(reason, sizeof reason, "the journal%s%s could not be opened: %s",
                      directory != nullptr ? " in " : "", directory != nullptr ? directory : "",
                      std::strerror(-opened));
        return HistoryOpening::Failed;
    }
    const int matched = sd_journal_add_match(journal, kMessageIdMatch, 0);
    const int sought = matched < 0 ? matched : sd_journal_seek_tail(journal);
    if (sought < 0) {
        std::snprintf(reason, sizeof reason, "the journal could not be searched: %s", std::strerror(-sought));
        return HistoryOpening::Failed;
    }
    return HistoryOpening::Opened;
}

bool LinuxJournalHistory::NextOlder(JournalEntry& entry)
{
    if (journal == nullptr || sd_journal_previous(journal) <= 0) return false;
    entry = JournalEntry{};
    uint64_t microseconds = 0;
    if (sd_journal_get_realtime_usec(journal, &microseconds) >= 0)
        entry.realtimeMicroseconds = static_cast<int64_t>(microseconds);
    ReadFields(entry.record);
    return true;
}

void LinuxJournalHistory::ReadFields(JournalRecord& record)
{
    for (const JournalTextField& field : kJournalTextFields)
        CopyField(journal, field.name, reinterpret_cast<char*>(&record) + field.offset, field.size);
    char number[4];
    CopyField(journal, "PRIORITY", number, sizeof number);
    record.failure = number[0] != '\0' && number[0] <= '3';
    CopyField(journal, kJournalBankField, number, sizeof number);
    record.bank = number[0] >= '1' && number[0] <= '4' && number[1] == '\0' ? static_cast<uint8_t>(number[0] - '0') : 0;
}

}  // namespace platform
