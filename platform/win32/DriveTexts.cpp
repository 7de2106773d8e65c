// The names and texts of the Windows drive operations.

#include "platform/win32/DriveTexts.h"

#include <cstdio>
#include <cstring>

namespace platform::win32 {

namespace {

constexpr const char* kRunAsAdministrator =
    "Run Norvik as an administrator: right-click the program, or the command prompt that starts it, and choose "
    "\"Run as administrator\".";
constexpr const char* kRunFromAdministratorPrompt =
    "run norvik-cli from an administrator's command prompt (right-click Command Prompt, \"Run as administrator\").";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

char DriveLetterOfRoot(const char* root)
{
    if (root == nullptr || !IsLetter(root[0]) || root[1] != ':') return 0;
    if (root[2] != '\0' && !(root[2] == '\\' && root[3] == '\0')) return 0;
    return UpperLetter(root[0]);
}

bool VolumePathOfRoot(const char* root, char (&path)[kVolumePathSize])
{
    const char letter = DriveLetterOfRoot(root);
    path[0] = '\0';
    if (letter == 0) return false;
    std::snprintf(path, sizeof path, "\\\\.\\%c:", letter);
    return true;
}

void FormatNotOpticalRefusal(const char* root, char (&refusal)[kRefusalSize])
{
    std::snprintf(refusal, sizeof refusal, "%s is not an optical drive", root != nullptr ? root : "(no drive)");
}

void FormatInUseRefusal(char letter, char (&refusal)[kRefusalSize], const char* owner)
{
    if (owner != nullptr && owner[0] != '\0')
        std::snprintf(refusal, sizeof refusal, "The drive %c: is in use by another program (%s)", letter, owner);
    else
        std::snprintf(refusal, sizeof refusal, "The drive %c: is in use by another program", letter);
}

void FormatTakeRefusal(char letter, const char* reason, char (&refusal)[kRefusalSize])
{
    std::snprintf(refusal, sizeof refusal, "The drive %c: could not be taken for this program alone: %s", letter,
                  reason != nullptr && reason[0] != '\0' ? reason : "unknown error");
}

void FormatOpenRefusal(char letter, const char* reason, char (&refusal)[kRefusalSize])
{
    std::snprintf(refusal, sizeof refusal, "The drive %c: could not be opened: %s", letter,
                  reason != nullptr && reason[0] != '\0' ? reason : "unknown error");
}

void FormatInUseNote(char letter, char (&note)[kAdviceSize])
{
    std::snprintf(note, sizeof note,
                  "The drive %c: is in use by another program, so it is not listed; it can be updated once that "
                  "program has let it go",
                  letter);
}

namespace {

// One line for a console: its line breaks become spaces.
void JoinLines(char (&advice)[kAdviceSize])
{
    for (char& c : advice)
        if (c == '\n') c = ' ';
}

void FormatConsoleAdvice(RefusedStep step, const char* drive, char (&advice)[kAdviceSize])
{
    if (step == RefusedStep::Open)
        std::snprintf(advice, sizeof advice, "No permission to open %s for drive commands; %s", drive,
                      kRunFromAdministratorPrompt);
    else
        std::snprintf(advice, sizeof advice, "Windows refused a drive command sent to %s; %s", drive,
                      kRunFromAdministratorPrompt);
}

void FormatWindowAdvice(RefusedStep step, const char* drive, char letter, AdviceHost host, char (&advice)[kAdviceSize])
{
    if (host == AdviceHost::Windows) {
        if (step == RefusedStep::Open)
            std::snprintf(advice, sizeof advice, "No permission to open %s for drive commands.\n%s", drive,
                          kRunAsAdministrator);
        else
            std::snprintf(advice, sizeof advice, "Windows refused a drive command sent to %s.\n%s", drive,
                          kRunAsAdministrator);
        return;
    }
    // Under Wine the volume is the Linux node that the prefix's dosdevices entry "x::" leads to,
    // and Linux's rights decide.
    char entry[48] = "the drive letter's entry in dosdevices";
    if (letter != 0) std::snprintf(entry, sizeof entry, "dosdevices/%c::", static_cast<char>(letter - 'A' + 'a'));
    if (step == RefusedStep::Open)
        std::snprintf(advice, sizeof advice,
                      "No permission to open %s for drive commands.\n"
                      "Under Wine it is the Linux node that the prefix's %s leads to: add your user to that node's "
                      "group (udev gives optical drives the group \"cdrom\") and log in again.",
                      drive, entry);
    else
        std::snprintf(advice, sizeof advice,
                      "Linux refused a drive command sent to %s.\n"
                      "Under Wine, let the prefix's %s lead to the drive's SCSI generic node (/dev/sgN), which "
                      "passes firmware commands to the members of its group; the block node (/dev/srN) passes them "
                      "to root only.",
                      drive, entry);
}

}  // namespace

void FormatPermissionAdvice(RefusedStep step, char letter, AdviceHost host, char (&advice)[kAdviceSize],
                            AdviceReader reader)
{
    char drive[16] = "a drive";
    if (letter != 0) std::snprintf(drive, sizeof drive, "the drive %c:", letter);
    if (host == AdviceHost::Windows && reader == AdviceReader::Console) {
        FormatConsoleAdvice(step, drive, advice);
        return;
    }
    FormatWindowAdvice(step, drive, letter, host, advice);
    if (reader == AdviceReader::Console) JoinLines(advice);
}

void TrimSystemMessage(char* text)
{
    if (text == nullptr) return;
    std::size_t length = std::strlen(text);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' || text[length - 1] == '.'))
        text[--length] = '\0';
}

}  // namespace platform::win32

namespace platform::win32 {

bool FirstNote::Note(const char* noted)
{
    uint8_t expected = kEmpty;
    if (!state.compare_exchange_strong(expected, kWriting, std::memory_order_acquire)) return false;
    std::snprintf(text, sizeof text, "%s", noted != nullptr ? noted : "");
    state.store(kReady, std::memory_order_release);
    return true;
}

const char* FirstNote::Text() const { return state.load(std::memory_order_acquire) == kReady ? text : nullptr; }

}  // namespace platform::win32
