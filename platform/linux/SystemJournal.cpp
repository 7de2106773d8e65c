#include "platform/linux/SystemJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <systemd/sd-journal.h>

#include "platform/linux/SysfsDrives.h"

namespace platform::linux_sys {

namespace {

// A failure is filed as an error, a success as a notice, in the journal and in syslog alike.
constexpr int kFailurePriority = LOG_ERR;
constexpr int kSuccessPriority = LOG_NOTICE;
// VPD page 80h: four header bytes, the serial's length big-endian in bytes 2 and 3.
constexpr int kVpdHeaderSize = 4;

void AddField(JournalFieldList& list, const char* name, const char* value)
{
    if (value[0] == '\0' || list.count == kMaxJournalFields) return;
    std::snprintf(list.fields[list.count], kJournalFieldSize, "%s=%s", name, value);
    ++list.count;
}

}  // namespace

void MakeJournalFields(const JournalRecord& record, JournalFieldList& list)
{
    list.count = 0;
    AddField(list, "MESSAGE_ID", kJournalMessageId);
    const char priority[2] = {static_cast<char>('0' + (record.failure ? kFailurePriority : kSuccessPriority)), '\0'};
    AddField(list, "PRIORITY", priority);
    for (const JournalTextField& field : kJournalTextFields) {
        const char* text = reinterpret_cast<const char*>(&record) + field.offset;
        char value[kJournalMessageSize];
        std::snprintf(value, sizeof value, "%.*s", static_cast<int>(strnlen(text, field.size)), text);
        AddField(list, field.name, value);
    }
    if (record.bank >= 1 && record.bank <= 4) {
        const char bank[2] = {static_cast<char>('0' + record.bank), '\0'};
        AddField(list, kJournalBankField, bank);
    }
}

bool JournalRuns(const char* socketPath)
{
    struct stat status {};
    return stat(socketPath, &status) == 0 && S_ISSOCK(status.st_mode);
}

bool ReadUnitSerial(const char* sysfsRoot, const char* root, char (&serial)[sizeof(JournalRecord::serial)])
{
    serial[0] = '\0';
    const char* name = std::strrchr(root, '/');
    if (name == nullptr || std::strncmp(root, "/dev/sr", 7) != 0) return false;
    char path[256];
    std::snprintf(path, sizeof path, "%s/class/block/%s/device/vpd_pg80", sysfsRoot, name + 1);
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    unsigned char page[kVpdHeaderSize + sizeof serial];
    const ssize_t length = read(file, page, sizeof page);
    close(file);
    if (length < kVpdHeaderSize || page[1] != 0x80) return false;
    std::size_t end = kVpdHeaderSize + (static_cast<std::size_t>(page[2]) << 8 | page[3]);
    if (end > static_cast<std::size_t>(length)) end = static_cast<std::size_t>(length);
    std::size_t begin = kVpdHeaderSize;
    while (begin < end && page[begin] == ' ') ++begin;
    while (end > begin && (page[end - 1] == ' ' || page[end - 1] == '\0')) --end;
    std::size_t out = 0;
    for (std::size_t i = begin; i < end && out + 1 < sizeof serial; ++i)
        serial[out++] = page[i] >= 0x20 && page[i] < 0x7F ? static_cast<char>(page[i]) : '?';
    serial[out] = '\0';
    return out != 0;
}

void RecordInSystemJournal(const JournalRecord& given)
{
    JournalRecord record = given;
    if (record.serial[0] == '\0' && record.node[0] != '\0') ReadUnitSerial(kSysfsRoot, record.node, record.serial);
    if (JournalRuns(kJournalSocket)) {
        JournalFieldList list;
        MakeJournalFields(record, list);
        // Named as syslog names it, so that journalctl -t finds the record under the program.
        AddField(list, "SYSLOG_IDENTIFIER", program_invocation_short_name);
        iovec fields[kMaxJournalFields];
        for (int i = 0; i < list.count; ++i) fields[i] = {list.fields[i], std::strlen(list.fields[i])};
        if (sd_journal_sendv(fields, list.count) >= 0) return;
    }
    // The identity is the program's name as invoked, with the process id, as journald shows it.
    openlog(nullptr, LOG_PID, LOG_USER);
    syslog(record.failure ? kFailurePriority : kSuccessPriority, "%s", record.message);
    closelog();
}

}  // namespace platform::linux_sys
