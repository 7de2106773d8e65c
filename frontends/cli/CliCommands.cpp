#include "frontends/cli/CliCommands.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "device/DriveRecord.h"
#include "frontends/cli/CliOptions.h"
#include "frontends/cli/CliTexts.h"
#include "frontends/cli/JsonDocument.h"
#include "payload/PackageLayout.h"
#include "platform/ProcessSignals.h"
#include "sys/OSInfo.h"
#include "update/DriveEntry.h"
#include "update/Eligibility.h"
#include "update/QueuedWorkerThreads.h"
#include "update/SequenceTexts.h"

namespace cli {

namespace {

// Only drives that are models of the drive may be sent the made-up flash profiles.
MadeUpProfiles MadeUpProfilesFor(bool virtualSystem)
{
    return virtualSystem ? MadeUpProfiles::Allowed : MadeUpProfiles::Refused;
}

// ---- JSON ----------------------------------------------------------------------------------

// A fixed text field of a drive record, up to its first zero.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}

bool UpdateUnderway(const UpdateSequence& sequence)
{
    const UpdateSequence::Phase phase = sequence.CurrentPhase();
    return phase == UpdateSequence::Phase::Preparing || phase == UpdateSequence::Phase::Programming ||
           phase == UpdateSequence::Phase::Finishing;
}

// The workers' ends and the progress timer's ticks, on this thread, until the update is over.
void WaitUntilUpdateOver(const UpdateSequence& sequence, QueuedWorkerThreads& threads, TerminalView& view)
{
    using Clock = QueuedWorkerThreads::Clock;
    constexpr auto kIdleWait = std::chrono::seconds(1);
    while (UpdateUnderway(sequence)) {
        threads.WaitForEnds(view.TimerRunning() ? view.NextTick() : Clock::now() + kIdleWait);
        view.RunDueTick(Clock::now());
    }
}

// The reason goes to err and into problem (for the JSON error).
void ReportMissingDrive(const TerminalView& view, int drive, std::FILE* err, char (&problem)[128])
{
    std::snprintf(problem, sizeof problem, "--drive %d: no such drive (%d found; see %s list)", drive,
                  view.DriveEntryCount(), ProgramName());
    std::fprintf(err, "%s: %s\n", ProgramName(), problem);
}

// Manual mode: the drive the user named takes the place of the one selected at start-up, as a
// choice in the window's list does. False (with the reason on err) when there is no such line.
bool ChooseDrive(UpdateSequence& sequence, TerminalView& view, int drive, std::FILE* err, char (&problem)[128])
{
    if (drive == kNoDriveChosen) return true;
    if (drive >= view.DriveEntryCount()) {
        ReportMissingDrive(view, drive, err, problem);
        return false;
    }
    view.SelectDriveEntry(drive);
    sequence.cboDrivesChange();
    return true;
}

// A revision from a drive or a package, quoted, as text.
void WriteRevision(std::FILE* err, std::string_view revision)
{
    std::fputc('"', err);
    WriteAsText(err, revision, LineFeeds::Escaped);
    std::fputc('"', err);
}

void ReportDrive(const UpdateSequence& sequence, const DriveOutcome& outcome, std::FILE* err)
{
    const std::string_view expected = sequence.Package().NewRevisionForComparison(outcome.bank);
    std::fprintf(err, "%s: drive %d: ", ProgramName(), outcome.driveIndex);
    switch (outcome.verdict) {
    case DriveVerdict::Updated:
        std::fputs("updated: it reports revision ", err);
        WriteRevision(err, expected);
        break;
    case DriveVerdict::NotStarted:
        std::fputs("not updated: the drive could not be opened or its firmware bank is unusable", err);
        break;
    case DriveVerdict::GivenUp:
        std::fputs("given up during the disc and tray check; no firmware was sent to it", err);
        break;
    case DriveVerdict::DownloadFailed:
        std::fputs("the firmware download failed (--trace FILE records every command)", err);
        break;
    case DriveVerdict::NoAnswer:
        std::fputs("its identification could not be read after the update; expected revision ", err);
        WriteRevision(err, expected);
        break;
    case DriveVerdict::WrongRevision:
        std::fputs("reports revision ", err);
        WriteRevision(err, outcome.reportedRevision);
        std::fputs(" after the update, expected ", err);
        WriteRevision(err, expected);
        break;
    }
    std::fputc('\n', err);
}

// After a failed update, how each drive that took part ended, failed ones and good ones alike:
// the person needs to know which drive to look after.
void ReportDrives(const UpdateSequence& sequence, std::FILE* err)
{
    for (int slot = 0; slot < sequence.UpdateCount(); ++slot) ReportDrive(sequence, sequence.OutcomeOfSlot(slot), err);
}

// A restart that was requested is reported on out; one that was not made is a warning on err,
// since the update is finished only once the system has restarted.
void ReportRestart(const UpdateSequence& sequence, const UpdateChoice& choice, std::FILE* out, std::FILE* err)
{
    switch (sequence.RestartAnswerGiven()) {
    case sys::RestartAnswer::Accepted:
        std::fputs(choice.virtualSystem ? "Restart requested (virtual system: recorded, not performed).\n"
                                        : "Restart requested.\n",
                   out);
        return;
    case sys::RestartAnswer::PrivilegeNotHeld:
        std::fprintf(
            err,
            "%s: the restart was not made: this process may not restart the system; restart it to finish the update\n",
            ProgramName());
        return;
    case sys::RestartAnswer::Refused: break;
    }
    std::fprintf(err, "%s: the restart was not made: the system refused the request; restart it to finish the update\n",
                 ProgramName());
}

// A run that found nothing it may update while the system refused this process a right (or
// another program held a drive) ends with the status that says so: the advice is what to do.
int StatusAfterAdvice(platform::System& system, int status)
{
    const char* advice = system.PermissionAdvice();
    const bool refused = advice != nullptr && advice[0] != '\0';
    return refused && status == kExitRefused ? kExitNoPermission : status;
}

}  // namespace

int ExitCodeFor(SequenceOutcome outcome)
{
    switch (outcome) {
    case SequenceOutcome::Restarted:
    case SequenceOutcome::RestartSkipped:
    case SequenceOutcome::ClosedAfterSuccess:
    case SequenceOutcome::Updated:
    case SequenceOutcome::Closed: return kExitSuccess;
    case SequenceOutcome::NoFirmware:
    case SequenceOutcome::InvalidPackage:
    case SequenceOutcome::NoMatchedDrive:
    case SequenceOutcome::NoticeDeclined:
    case SequenceOutcome::QuestionDeclined: return kExitRefused;
    case SequenceOutcome::DeviceFailed:
    case SequenceOutcome::UpdateFailed:
    case SequenceOutcome::Undecided: return kExitUpdateFailed;
    }
    return kExitUpdateFailed;
}

std::string_view FormatVerdict(const DriveRecord& record, const PackageReader& package, bool placeholderProfiles,
                               char (&verdict)[kVerdictSize])
{
    if (record.updatable == 0) {
        const std::string_view reason = ConsoleText(RefusalReason(record, package, placeholderProfiles));
        std::snprintf(verdict, sizeof verdict, ConsoleFormat(console::kNotAllowedFormat),
                      static_cast<int>(reason.size()), reason.data());
    } else {
        const std::string_view revision = package.NewRevisionForDisplay(record.bankNumber);
        std::snprintf(verdict, sizeof verdict, ConsoleFormat(console::kUpdatableFormat),
                      static_cast<unsigned>(record.bankNumber) + 1, static_cast<unsigned>(record.alreadyCurrent),
                      static_cast<int>(revision.size()), revision.data());
    }
    return verdict;
}

namespace {

JsonValue ErrorJson(std::string_view code, std::string_view message)
{
    JsonValue error = JsonValue::Object();
    error["code"] = JsonValue(code, JsonValue::Encoding::Utf8);
    error["message"] = JsonText(message);
    return error;
}

}  // namespace

void WriteErrorDocument(std::FILE* out, int status, std::string_view code, std::string_view message)
{
    JsonValue document = JsonValue::Object();
    document["exit_status"] = status;
    document["error"] = ErrorJson(code, message);
    WriteJson(out, document);
}

void SayNoFirmwareCarried(std::FILE* out)
{
    std::fprintf(out, ConsoleFormat(console::kNoFirmwareCarriedFormat), ProgramName());
}

namespace {

// The drive table takes the first 16 optical drives the system lists: each one past them is
// named, so that no drive is left out of the list unsaid.
void NameDrivesLeftOut(const platform::DriveRootList& leftOut, std::FILE* err)
{
    for (int i = 0; i < leftOut.count; ++i)
        std::fprintf(err, ConsoleFormat(console::kNotListedFormat), ProgramName(), leftOut.roots[i], kMaxDrives);
}

JsonValue CommandNodeOf(const DriveRecord& record, const ListChoice& choice)
{
    char node[kCommandNodeSize];
    if (choice.commandNode == nullptr || record.rootPath[0] == '\0' || !choice.commandNode(record.rootPath, node))
        return JsonValue();
    return JsonText(node);
}

// An updatable drive whose node cannot carry the update from here: the reason, else empty.
std::string_view NodeRefusal(const DriveRecord& record, const ListChoice& choice, char (&reason)[kNodeRefusalSize])
{
    if (record.updatable == 0 || choice.nodeRefusal == nullptr || record.rootPath[0] == '\0') return {};
    return choice.nodeRefusal(record.rootPath, reason) ? std::string_view(reason) : std::string_view();
}

// One drive of list --json. Banks are counted from 1 here, as norvik-pack counts them.
JsonValue DriveJson(int index, const DriveRecord& record, const UpdateSequence& sequence, const ListChoice& choice)
{
    char nodeReason[kNodeRefusalSize];
    const std::string_view nodeRefusal = NodeRefusal(record, choice, nodeReason);
    const bool updatable = record.updatable != 0 && nodeRefusal.empty();
    JsonValue drive = JsonValue::Object();
    drive["index"] = index;
    drive["root"] = JsonTextOrNull(FieldText(record.rootPath));
    drive["command_node"] = CommandNodeOf(record, choice);
    drive["host"] = record.host;
    drive["path"] = record.path;
    drive["target"] = record.target;
    drive["lun"] = record.lun;
    drive["vendor"] = JsonText(FieldText(record.vendor));
    drive["product"] = JsonText(FieldText(record.product));
    drive["revision"] = JsonText(FieldText(record.revision));
    drive["verdict"] = updatable ? "updatable" : nodeRefusal.empty() ? "not allowed" : "not updatable from here";
    drive["bank"] = updatable ? JsonValue(record.bankNumber + 1) : JsonValue();
    drive["new_revision"] = updatable ? JsonText(sequence.Package().NewRevisionForDisplay(record.bankNumber))
                                      : JsonValue();
    drive["already_current"] = updatable && record.alreadyCurrent != 0;
    const std::string_view reason = nodeRefusal.empty()
                                        ? RefusalReason(record, sequence.Package(), sequence.ProfilesArePlaceholders())
                                        : nodeRefusal;
    drive["reason"] = JsonTextOrNull(reason);
    return drive;
}

// A drive the package may update but whose node cannot carry the update from here is said so
// in place of "updatable".
void PrintDriveLine(const DriveRecord& record, const UpdateSequence& sequence, const ListChoice& choice, std::FILE* out)
{
    char entry[kDriveEntrySize];
    char verdict[kVerdictSize];
    char nodeReason[kNodeRefusalSize];
    const std::string_view entryText = FormatDriveEntry(record, entry);
    const std::string_view nodeRefusal = NodeRefusal(record, choice, nodeReason);
    // The entry and the verdict carry the drive's and the package's texts; a translated verdict
    // goes to a terminal that takes UTF-8 (controls still escaped).
    const Utf8 utf8 = ConsoleTranslator() != nullptr ? Utf8::Kept : Utf8::Escaped;
    WriteAsText(out, entryText, LineFeeds::Escaped);
    std::fputs("  ", out);
    if (nodeRefusal.empty()) {
        WriteAsText(out, FormatVerdict(record, sequence.Package(), sequence.ProfilesArePlaceholders(), verdict),
                    LineFeeds::Escaped, utf8);
    } else {
        std::fputs(ConsoleFormat(console::kNotUpdatableHere), out);
        WriteAsText(out, nodeRefusal, LineFeeds::Escaped, utf8);
    }
    std::fputc('\n', out);
}

}  // namespace

std::string_view RefusalReason(const DriveRecord& record, const PackageReader& package, bool placeholderProfiles)
{
    if (record.updatable != 0) return {};
    if (record.present != 1) return console::kDriveNotPresent;
    if (package.ImageHoldsPlaceholder()) return console::kCarriesNoFirmware;
    if (placeholderProfiles) return console::kPlaceholderProfiles;
    if (RefusedAsAnotherModel(package, record)) return console::kAnotherModel;
    return console::kNoBankAccepts;
}

namespace {

std::string_view OutcomeName(SequenceOutcome outcome)
{
    switch (outcome) {
    case SequenceOutcome::Undecided: return "undecided";
    case SequenceOutcome::NoFirmware: return "no_firmware";
    case SequenceOutcome::InvalidPackage: return "invalid_package";
    case SequenceOutcome::DeviceFailed: return "device_failed";
    case SequenceOutcome::NoMatchedDrive: return "no_matched_drive";
    case SequenceOutcome::NoticeDeclined: return "notice_declined";
    case SequenceOutcome::QuestionDeclined: return "question_declined";
    case SequenceOutcome::UpdateFailed: return "update_failed";
    case SequenceOutcome::Restarted: return "restarted";
    case SequenceOutcome::RestartSkipped: return "restart_skipped";
    case SequenceOutcome::ClosedAfterSuccess: return "closed_after_success";
    case SequenceOutcome::Updated: return "updated";
    case SequenceOutcome::Closed: return "closed";
    }
    return "undecided";
}

// Why a run ended without success, in words, for a JSON error's message: the problem the
// view showed last, else the outcome's name.
std::string_view ProblemOf(const UpdateSequence& sequence, const TerminalView& view)
{
    if (sequence.Outcome() == SequenceOutcome::NoticeDeclined) return "the notice was answered No";
    if (sequence.Outcome() == SequenceOutcome::QuestionDeclined) return "the question was answered No";
    if (sequence.Outcome() == SequenceOutcome::NoMatchedDrive && sequence.Package().ImageHoldsPlaceholder())
        return "the program carries no firmware; give one with --package FILE";
    return view.LastProblem().empty() ? OutcomeName(sequence.Outcome()) : view.LastProblem();
}

// The list's own problems: rights refused (the advice), or no optical drive at all.
JsonValue ListError(const char* advice, bool noDrive)
{
    if (advice != nullptr && advice[0] != '\0') return ErrorJson("no_permission", advice);
    if (noDrive) return ErrorJson("no_drive", console::kNoOpticalDrive);
    return JsonValue();
}

}  // namespace

int RunList(platform::System& system, const uint8_t* packageBlock, TerminalView& view, std::FILE* out, std::FILE* err,
            const ListChoice& choice)
{
    QueuedWorkerThreads threads;
    UpdateSequence sequence(system, packageBlock, view, threads, MadeUpProfilesFor(choice.virtualSystem));
    if (!sequence.CheckPackage() || !sequence.FindDrives()) {
        const int status = ExitCodeFor(sequence.Outcome());
        if (choice.json) WriteErrorDocument(out, status, OutcomeName(sequence.Outcome()), ProblemOf(sequence, view));
        return status;
    }
    const AtapiDevice& device = *sequence.MainDevice();
    JsonValue drives = JsonValue::Array();
    int listed = 0;
    for (uint32_t index = 0; index < device.DriveCount(); ++index) {
        const DriveRecord* record = device.GetDrive(index);
        if (record == nullptr) continue;
        ++listed;
        if (choice.json)
            drives.Append(DriveJson(static_cast<int>(index), *record, sequence, choice));
        else
            PrintDriveLine(*record, sequence, choice, out);
    }
    platform::DriveRootList leftOut{};
    UpdateSequence::ListDrivesLeftOut(system, leftOut);
    NameDrivesLeftOut(leftOut, err);
    const char* advice = system.PermissionAdvice();
    const bool refused = advice != nullptr && advice[0] != '\0';
    // Listing no drive is no failure of list (the status stays 0), but a person or a script must
    // not take the empty list for drives that were judged.
    const bool noDrive = listed == 0 && leftOut.count == 0;
    if (refused) std::fprintf(err, "%s: %s\n", ProgramName(), advice);
    if (noDrive && !refused) std::fprintf(err, "%s: %s\n", ProgramName(), ConsoleFormat(console::kNoOpticalDrive));
    if (sequence.ProfilesArePlaceholders())
        std::fprintf(err, "%s: %s\n", ProgramName(), ConsoleFormat(texts::kPlaceholderProfiles));
    if (choice.json) {
        JsonValue notListed = JsonValue::Array();
        for (int i = 0; i < leftOut.count; ++i) notListed.Append(JsonText(leftOut.roots[i]));
        JsonValue document = JsonValue::Object();
        document["drives"] = drives;
        document["not_listed"] = notListed;
        document["permission_advice"] = refused ? JsonValue(advice) : JsonValue();
        document["error"] = ListError(advice, noDrive);
        WriteJson(out, document);
    }
    return refused ? kExitNoPermission : kExitSuccess;
}

namespace {

std::string_view VerdictName(DriveVerdict verdict)
{
    switch (verdict) {
    case DriveVerdict::NotStarted: return "not_started";
    case DriveVerdict::GivenUp: return "given_up";
    case DriveVerdict::DownloadFailed: return "download_failed";
    case DriveVerdict::NoAnswer: return "no_answer";
    case DriveVerdict::WrongRevision: return "wrong_revision";
    case DriveVerdict::Updated: return "updated";
    }
    return "not_started";
}

JsonValue SlotJson(const UpdateSequence& sequence, const DriveOutcome& outcome)
{
    const std::string_view expected = sequence.Package().NewRevisionForComparison(outcome.bank);
    const DriveRecord* record = sequence.MainDevice() != nullptr
                                    ? sequence.MainDevice()->GetDrive(static_cast<uint32_t>(outcome.driveIndex))
                                    : nullptr;
    JsonValue drive = JsonValue::Object();
    drive["index"] = outcome.driveIndex;
    drive["root"] = record != nullptr ? JsonTextOrNull(FieldText(record->rootPath)) : JsonValue();
    drive["bank"] = outcome.bank + 1;
    drive["verdict"] = JsonText(VerdictName(outcome.verdict));
    // Kept as read once the drive was read after the update; null before that.
    drive["reported_revision"] = JsonTextOrNull(FieldText(outcome.reportedRevision));
    drive["expected_revision"] = JsonText(expected);
    return drive;
}

// The outcome of update --json, whatever way the run ended; outcomeName overrides the
// sequence's own (an ending of the command line's, such as a drive that may not be updated).
// The exit status is the one the process ends with: a signal held off during the update ends it
// once the document is written, and none that comes later changes that.
int ReportJson(const UpdateSequence& sequence, const UpdateChoice& choice, int status, std::string_view problem,
               std::string_view outcomeName = {})
{
    if (choice.json == nullptr) return status;
    JsonValue drives = JsonValue::Array();
    for (int slot = 0; slot < sequence.UpdateCount(); ++slot)
        drives.Append(SlotJson(sequence, sequence.OutcomeOfSlot(slot)));
    const std::string_view outcome = outcomeName.empty() ? OutcomeName(sequence.Outcome()) : outcomeName;
    JsonValue document = JsonValue::Object();
    document["exit_status"] = platform::ExitStatusAfter(platform::SettleEndingSignal(), status);
    document["outcome"] = JsonText(outcome);
    document["drives"] = drives;
    document["error"] = status == kExitSuccess ? JsonValue() : ErrorJson(outcome, problem);
    WriteJson(choice.json, document);
    return status;
}

}  // namespace

int RunUpdate(platform::System& system, const uint8_t* packageBlock, TerminalView& view, const UpdateChoice& choice,
              std::FILE* out, std::FILE* err)
{
    QueuedWorkerThreads threads;
    UpdateSequence sequence(system, packageBlock, view, threads, MadeUpProfilesFor(choice.virtualSystem));
    char problem[128];
    if (choice.drive != kNoDriveChosen && sequence.Settings().autoMode != 0) {
        std::snprintf(problem, sizeof problem,
                      "--drive does not go with this package: it updates every updatable drive (AUTOMODE)");
        std::fprintf(err, "%s: %s\n", ProgramName(), problem);
        return ReportJson(sequence, choice, kExitUsage, problem, "usage_error");
    }
    view.SetTickHandler([&sequence] { sequence.tmrTimer(); });
    // Each drive's image is written and read back whole at least once.
    view.SetTransferGoal(
        [&sequence] { return static_cast<uint64_t>(sequence.UpdateCount()) * 2 * payload::kImageAreaSize; });
    if (choice.noRestart) sequence.SkipRestart();
    sequence.SetPackageIdentity(choice.packageIdentity);
    sequence.StartUp();
    if (view.ChosenDriveMissing()) {
        ReportMissingDrive(view, choice.drive, err, problem);
        view.Finish();
        return ReportJson(sequence, choice, kExitUsage, problem, "usage_error");
    }
    if (!view.TerminationRequested() && sequence.Settings().autoMode == 0) {
        if (!ChooseDrive(sequence, view, choice.drive, err, problem)) {
            view.Finish();
            return ReportJson(sequence, choice, kExitUsage, problem, "usage_error");
        }
        sequence.cmdUpdateClick();
        if (sequence.CurrentPhase() == UpdateSequence::Phase::AtRest && sequence.UpdateCount() == 0) {
            view.ShowPending();
            std::snprintf(problem, sizeof problem, "drive %d is not allowed to be updated by this package",
                          view.SelectedDriveEntry());
            std::fprintf(err, "%s: %s\n", ProgramName(), problem);
            view.Finish();
            return ReportJson(sequence, choice, kExitRefused, problem, "drive_not_allowed");
        }
    }
    WaitUntilUpdateOver(sequence, threads, view);
    view.Finish();
    const SequenceOutcome outcome = sequence.Outcome();
    if (outcome == SequenceOutcome::NoMatchedDrive && sequence.Package().ImageHoldsPlaceholder())
        SayNoFirmwareCarried(out);
    if (outcome == SequenceOutcome::UpdateFailed) ReportDrives(sequence, err);
    if (outcome == SequenceOutcome::Restarted) ReportRestart(sequence, choice, out, err);
    if (outcome == SequenceOutcome::RestartSkipped)
        std::fputs(
            "The package asks for a restart after the update; it was skipped (--no-restart) and is still "
            "due.\n",
            out);
    const int status = StatusAfterAdvice(system, ExitCodeFor(outcome));
    if (status == kExitNoPermission)
        return ReportJson(sequence, choice, status, system.PermissionAdvice(), "no_permission");
    const bool restartNotMade = outcome == SequenceOutcome::Restarted && !sequence.RestartAccepted();
    return ReportJson(sequence, choice, status, ProblemOf(sequence, view), restartNotMade ? "restart_not_made" : "");
}

}  // namespace cli
