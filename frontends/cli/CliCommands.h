#pragma once
// The two commands of norvik-cli over any system (the machine's, or a virtual one): list the
// drives with their verdicts, or run the start-up and update sequence through a terminal view.
// Both return the program's exit status.

#include <cstdint>
#include <cstdio>

#include "frontends/cli/CliOptions.h"
#include "frontends/cli/TerminalView.h"
#include "platform/System.h"
#include "update/UpdateSequence.h"

namespace cli {

constexpr int kExitSuccess = 0;
constexpr int kExitUpdateFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitNoPermission = 4;  // the system refused the right to reach a drive (list, or no drive)

// Widest command node path a lookup hands back, terminating zero included ("/dev/sg15").
constexpr int kCommandNodeSize = 32;
// The SCSI generic node that commands to the drive at root go to; false when the system cannot
// tell (a virtual system, a drive without one).
using CommandNodeLookup = bool (*)(const char* root, char (&node)[kCommandNodeSize]);

// The exit status for how the sequence ended: 0 success, 1 failure, 3 refused or declined.
// An end that is not decided is no success.
int ExitCodeFor(SequenceOutcome outcome);

// The verdict that list prints after a drive's entry: "updatable bank=B current=C new=REV" (B
// counted from 1) or "not allowed: REASON". Returns the text, written into verdict.
constexpr int kVerdictSize = 256;
std::string_view FormatVerdict(const DriveRecord& record, const PackageReader& package, bool placeholderProfiles,
                               char (&verdict)[kVerdictSize]);

// Why list judges a drive "not allowed", in words; empty for an updatable drive.
std::string_view RefusalReason(const DriveRecord& record, const PackageReader& package, bool placeholderProfiles);

// Why a drive's node cannot carry an update's commands from this process (no SCSI generic node,
// no right to open it for reading and writing): true with the reason, false when it can.
constexpr int kNodeRefusalSize = 160;
using NodeRefusalLookup = bool (*)(const char* root, char (&reason)[kNodeRefusalSize]);

// Under --json, an end that has no document of its own (a usage error, a refusal before the
// drives are listed): {"exit_status": N, "error": {"code": CODE, "message": MESSAGE}}.
void WriteErrorDocument(std::FILE* out, int status, std::string_view code, std::string_view message);

// Why the program carries nothing to update with, said after the no-match box.
void SayNoFirmwareCarried(std::FILE* out);

struct ListChoice {
    bool json = false;                        // one JSON document on out instead of lines
    CommandNodeLookup commandNode = nullptr;  // null: no drive's command node is known
    NodeRefusalLookup nodeRefusal = nullptr;  // null: every node can carry an update
    bool virtualSystem = false;               // the drives are models: made-up flash profiles may go
};

// Checks the package, finds and judges the drives, prints one line per drive on out (or the
// JSON document). A refusal is shown through the view. Advice about refused rights goes to err
// and makes the status kExitNoPermission.
int RunList(platform::System& system, const uint8_t* packageBlock, TerminalView& view, std::FILE* out, std::FILE* err,
            const ListChoice& choice = {});

struct UpdateChoice {
    int drive = kNoDriveChosen;  // manual mode: the list line to update; default: as selected
    // The drives are models: the restart is recorded, not performed, and made-up flash profiles
    // may be sent.
    bool virtualSystem = false;
    bool noRestart = false;            // the package's restart is skipped
    std::FILE* json = nullptr;         // where the outcome goes as one JSON object at the end; null: none
    const char* packageIdentity = "";  // the package's SHA-256 in hex, for the journal; "": unknown
};

// The whole start-up and update through the view, until the update is over or the program is
// told to end. Lines of its own (the restart, a drive that may not be updated) go to out or err;
// the JSON outcome, when asked for, to choice.json.
int RunUpdate(platform::System& system, const uint8_t* packageBlock, TerminalView& view, const UpdateChoice& choice,
              std::FILE* out, std::FILE* err);

}  // namespace cli
