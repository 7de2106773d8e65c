#pragma once
// The --help text, in two parts for the translators' catalogue: the cut after "10 %" keeps the
// percent sign from reading as a printf conversion, which a translation must keep.

#include <string_view>

#include "update/Translatable.h"

namespace cli::console {

inline constexpr std::string_view kHelpHead = NORVIK_TRANSLATABLE("Norvik", R"(usage: norvik-cli [options] list
       norvik-cli [options] update [--drive N]
       norvik-cli [--json] history
       norvik-cli --help | --version

The console front end of Norvik: the same update package (carried in this
program, packed with norvik-pack), drive discovery, eligibility check, download
and update sequence as the window.

commands:
  list          find the drives and judge them; one line per drive: the
                drive-list entry as the window shows it, two spaces, then
                "updatable bank=B current=C new=REV" (B the firmware bank, 1
                to 4, C 1 when the drive already carries that bank's
                revision), "not allowed: REASON", or, on the machine's drives,
                "not updatable from here: REASON" when this process could not
                send the update's commands through the drive's node. Without
                any optical drive it says so on standard error (status 0)
  update        the start-up and update sequence with the window's texts: the
                refusals, the notice, the already-current question, the disc
                and tray check, the progress and the outcome. The package's
                AUTOMODE updates every updatable drive; otherwise one drive is
                updated: the first updatable one, as the window selects it, or
                the one given with --drive
  history       the journal's records of updates of the machine's drives,
                newest first

options (short ones may be bundled, -yv; "--" ends the options):
  --package FILE
                the update package from FILE instead of the one this program
                carries: a packed Norvik program or a package file
  --drive N     (update, manual mode) update the drive of list line N,
                counted from 0
  --yes, -y     answer Yes to every question and OK to every message. A
                message of the disc and tray check is answered OK at most 3
                times per drive; the next one gives the drive up (it counts as
                failed)
  --virtual DRIVE
                a virtual drive instead of the machine's drives (repeatable, up
                to 24), in the text form of sim/README.md: comma-separated
                key=value entries, e.g.
                "rev=RN05,chip=BFD60001,disc=0,tray=closed,timing=realistic".
                Keys: vendor product rev newrev deadrev vspec serial chip disc
                tray lock profile image polls timing latency rate commit host
                path target lun address root open inuse fault. When any drive
                has timing=realistic (or latency, rate, commit), the run takes
                real time; otherwise it runs in virtual time and waits pass at
                once. A drive the virtual system does not take (its root
                taken, no room) is a usage error
  --no-restart  (update) when the package restarts the system after a
                successful update, end without the restart and say that one
                is still due
  --aspi        the system answers that it is not of the NT family, so the
                drives are found and reached through the ASPI manager (on
                Linux, which has none, only with --virtual)
  --trace FILE  write every command to FILE as it ends: one line per command,
                "<root> <24 hex digits of the command block> <in|out|none>
                <length> <good|short N|sense K/ASC/ASCQ|failed>" (short N: it
                ended good but moved only N bytes). Virtual drives write what
                they received; on the machine's drives the line is what was
                sent and how it came back
  --verbose, -v every command sent and how it ended, by name, on standard
                error, the sense also in words; twice (-vv) the --trace line
                instead, with the command block and the data length
  --json        list: standard output is one JSON object, {"drives": [...],
                "not_listed": [roots past the drive table], "permission_advice":
                text or null, "error"}; per drive: index, root, command_node
                (the SCSI generic node; null on virtual drives or without one),
                host, path, target, lun, vendor, product, revision, verdict
                ("updatable", "not allowed" or "not updatable from here"),
                bank (counted from 1) and new_revision (null when not
                updatable), already_current, reason (why not, in words; else
                null).
                update: the texts for people go to standard error, and
                standard output is one JSON object at the end: exit_status,
                error, outcome (a name such as "updated", "restarted",
                "restart_not_made" (the drives are updated, the restart is
                still due), "update_failed", "notice_declined",
                "usage_error") and drives:
                per drive of the update its index, root, bank (from 1),
                verdict ("updated", "not_started", "given_up",
                "download_failed", "no_answer", "wrong_revision"),
                reported_revision (null when unknown) and expected_revision.
                Every end prints one document: "error" is null on success,
                else {"code", "message"}; a usage error, or a refusal before
                the drives are listed, prints {"exit_status", "error"}.
                Texts from drives and the package: one character per byte
                (Latin-1), control characters as \u00XX
  --help, -h    this text
  --version     the program's version, the package it carries (its version
                text and drives), whether a firmware and real flash profiles
                are packed in

Questions are asked on the terminal (y/N). Without a terminal on standard input
and without --yes, every question is answered No and a message of the disc and
tray check gives the drive up, so nothing is flashed unasked. On a terminal the
progress is one line updated in place; otherwise a line per phase and per 10 %)");
inline constexpr std::string_view kHelpTail = NORVIK_TRANSLATABLE("Norvik", R"(
of the image data written to the drives and read back. The sequence's messages
go to standard output with their kind ("Error: ..."); errors of the command line
go to standard error, each starting with the program's name as invoked. Texts
from drives and the package are shown with control bytes and bytes from 7Fh on
as \xNN. On a virtual system a restart is recorded and reported, never
performed; a restart the system does not make is said on standard error.

Signals that would end the program (interrupt, terminate, hang-up, quit, user,
alarm, ...) are held off while the firmware is being written: no further drive
is started, and once the outcome is printed the program ends with that signal.

exit status: 0 success (also a list), 1 update failed, 2 usage error (also a
               --drive N past the list, found before anything is asked),
             3 refused or declined (no firmware, no matching drive, drive not
               allowed, notice or question answered No),
             4 no permission to reach a drive (or one held by another
               program; the advice says what to do): list, or an update
               that found no drive it may update;
             standard output that could not be written turns 0 into 1 (a
             closed one: 1 before anything runs); a held signal ends the
             program with that signal
)");

}  // namespace cli::console
