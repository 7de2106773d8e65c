#pragma once
// The journal's record of one drive's update (or of a restart that was not made): a human line
// and the same facts as separate fields, so that the history can be read back by field. Fixed
// fields, each zero-terminated; an empty field is unknown or does not apply.

#include <cstddef>
#include <cstdint>

#include "platform/System.h"

namespace platform {

// The record's MESSAGE_ID in the journal: fixed for every Norvik update record, so that the
// history finds them among the journal's other entries.
inline constexpr char kJournalMessageId[] = "9b84905842604916b83ce4850b342ebc";

constexpr int kJournalMessageSize = 512;

struct JournalRecord {
    bool failure;  // the journal marks the record as an error
    char message[kJournalMessageSize];
    char version[16];          // the program's
    char packageSha256[65];    // the package's identity, lower-case hex
    char node[kRootPathSize];  // "/dev/sr0"
    char model[32];            // vendor and product, as the drive names itself
    char serial[32];
    uint8_t bank;  // 1 to 4; 0: none
    char revisionBefore[5];
    char revisionWanted[5];
    char revisionReported[5];
    char outcome[24];      // one word: updated, download-failed, ..., restart-not-made
    char lastCommand[25];  // the last command block in hex, for a failure
    char sense[8];         // its sense "K/AA/QQ" when it ended with sense data
};

// The record's text fields under their journal field names, for the system that writes them and
// the history that reads them back. The bank and the failure are fields of their own
// (NORVIK_BANK, PRIORITY).
struct JournalTextField {
    const char* name;
    std::size_t offset;
    std::size_t size;
};

#define NORVIK_JOURNAL_FIELD(name, member) \
    JournalTextField { name, offsetof(JournalRecord, member), sizeof(JournalRecord::member) }
inline constexpr JournalTextField kJournalTextFields[] = {
    NORVIK_JOURNAL_FIELD("MESSAGE", message),
    NORVIK_JOURNAL_FIELD("NORVIK_VERSION", version),
    NORVIK_JOURNAL_FIELD("NORVIK_PACKAGE_SHA256", packageSha256),
    NORVIK_JOURNAL_FIELD("NORVIK_DRIVE_NODE", node),
    NORVIK_JOURNAL_FIELD("NORVIK_DRIVE_MODEL", model),
    NORVIK_JOURNAL_FIELD("NORVIK_DRIVE_SERIAL", serial),
    NORVIK_JOURNAL_FIELD("NORVIK_REVISION_BEFORE", revisionBefore),
    NORVIK_JOURNAL_FIELD("NORVIK_REVISION_WANTED", revisionWanted),
    NORVIK_JOURNAL_FIELD("NORVIK_REVISION_REPORTED", revisionReported),
    NORVIK_JOURNAL_FIELD("NORVIK_OUTCOME", outcome),
    NORVIK_JOURNAL_FIELD("NORVIK_LAST_COMMAND", lastCommand),
    NORVIK_JOURNAL_FIELD("NORVIK_SENSE", sense),
};
#undef NORVIK_JOURNAL_FIELD

inline constexpr char kJournalBankField[] = "NORVIK_BANK";

}  // namespace platform
