#pragma once
// The history command of norvik-cli: the journal's update records, newest first, one line each
// or (--json) one document.

#include <cstdio>

#include "platform/JournalHistory.h"

namespace cli {

// The history's own status when the system keeps no journal (or, on Windows, none that it
// reads): the records went to syslog or the event log.
constexpr int kExitNoJournal = 3;

// Reads every record from history (null: Windows, whose event log the program does not read)
// onto out; a reason on err. Returns the exit status: 0 (also with no record), 1 when the journal
// could not be read or out could not be written, kExitNoJournal.
int RunHistory(platform::JournalHistory* history, bool json, std::FILE* out, std::FILE* err);

}  // namespace cli
