#pragma once
// The history of updates from the system's journal (sd-journal), or from the journal files of one
// folder (a journal copied from another machine, as journalctl --directory reads it).

#include "platform/JournalHistory.h"

typedef struct sd_journal sd_journal;

namespace platform {

class LinuxJournalHistory final : public JournalHistory {
public:
    // directory null: the machine's own journal, which counts as missing when journald does not
    // run (the records then went to syslog).
    explicit LinuxJournalHistory(const char* directory = nullptr);
    ~LinuxJournalHistory() override;
    LinuxJournalHistory(const LinuxJournalHistory&) = delete;
    LinuxJournalHistory& operator=(const LinuxJournalHistory&) = delete;

    HistoryOpening Open(char (&reason)[kHistoryReasonSize]) override;
    bool NextOlder(JournalEntry& entry) override;

private:
    void ReadFields(JournalRecord& record);

    const char* directory;
    sd_journal* journal = nullptr;
};

}  // namespace platform
