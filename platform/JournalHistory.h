#pragma once
// The journal's update records read back, newest first: the history that norvik-cli shows. One
// implementation per system that has a journal (linux/LinuxJournalHistory.h); a stand-in in
// tests.

#include <cstdint>

#include "platform/JournalRecord.h"

namespace platform {

struct JournalEntry {
    int64_t realtimeMicroseconds;  // when the record was written, since 1970 in UTC
    JournalRecord record;
};

enum class HistoryOpening : uint8_t {
    Opened,     // the records can be read (there may be none)
    NoJournal,  // the system keeps no journal: its records went to syslog
    Failed,     // a journal is there but could not be read (the reason says why)
};

constexpr int kHistoryReasonSize = 160;

class JournalHistory {
public:
    virtual ~JournalHistory() = default;
    // Opens the history before its newest record.
    virtual HistoryOpening Open(char (&reason)[kHistoryReasonSize]) = 0;
    // The next older record; false when there is none left.
    virtual bool NextOlder(JournalEntry& entry) = 0;
};

}  // namespace platform
