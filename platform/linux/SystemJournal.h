#pragma once
// Writing an update record into the system's journal: structured, through journald's native
// protocol, when journald runs; else as one line to syslog, the program's name and process id
// before it.

#include <cstddef>

#include "platform/JournalRecord.h"

namespace platform::linux_sys {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// Every field of a record as journald takes them, "NAME=value", empty fields left out.
constexpr int kMaxJournalFields = 20;
constexpr int kJournalFieldSize = 32 + kJournalMessageSize;
struct JournalFieldList {
    char fields[kMaxJournalFields][kJournalFieldSize];
    int count;
};
void MakeJournalFields(const JournalRecord& record, JournalFieldList& list);

// True when journald listens on socketPath.
bool JournalRuns(const char* socketPath);

// The unit serial number the kernel read from the drive at root (/dev/srN) when it was found
// (its VPD page 80h under sysfs), blanks trimmed; false when sysfs has none.
bool ReadUnitSerial(const char* sysfsRoot, const char* root, char (&serial)[sizeof(JournalRecord::serial)]);

// The record into the journal, or to syslog when no journal runs or journald refused it.
void RecordInSystemJournal(const JournalRecord& record);

}  // namespace platform::linux_sys
