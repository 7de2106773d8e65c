#pragma once
// The console's own texts that a person reads (its messages on standard error and the verdicts
// of list), marked for the translators' catalogue as the sequence's texts are and shown in the
// same language. What programs read stays English: JSON documents, option names, the program's
// name before each message.

#include <array>
#include <cstddef>
#include <string_view>

#include "frontends/cli/CliHelp.h"
#include "update/SequenceTexts.h"
#include "update/Translatable.h"

namespace cli::console {

// printf formats, with the program's name first where a message starts with it.
inline constexpr std::string_view kNoFirmwareCarriedFormat =
    NORVIK_TRANSLATABLE("Norvik", "%s carries no firmware: give one with --package FILE.\n");
inline constexpr std::string_view kSeeHelpFormat = NORVIK_TRANSLATABLE("Norvik", "%s: %s (see %s --help)\n");
inline constexpr std::string_view kNoteFormat = NORVIK_TRANSLATABLE("Norvik", "%s: note: %s\n");
inline constexpr std::string_view kNoDigestsFormat = NORVIK_TRANSLATABLE(
    "Norvik",
    "%s carries no image digests (packed before they were recorded): its firmware cannot be checked for damage");
inline constexpr std::string_view kOwnPackage = NORVIK_TRANSLATABLE("Norvik", "this program's package");
inline constexpr std::string_view kOwnPackageRefused = NORVIK_TRANSLATABLE("Norvik",
                                                                           "this program's package must not be used");
inline constexpr std::string_view kNotListedFormat =
    NORVIK_TRANSLATABLE("Norvik", "%s: %s: not listed: one update takes at most %d drives\n");
inline constexpr std::string_view kNoOpticalDrive = NORVIK_TRANSLATABLE("Norvik", "no optical drive found");
inline constexpr std::string_view kVirtualWithListAndUpdate =
    NORVIK_TRANSLATABLE("Norvik", "--virtual goes with list and update");

// Usage errors (in English in the JSON error document).
inline constexpr std::string_view kNoCommand = NORVIK_TRANSLATABLE("Norvik",
                                                                   "no command given (list, update or history)");
inline constexpr std::string_view kDriveWithUpdate = NORVIK_TRANSLATABLE("Norvik",
                                                                         "--drive goes with the update command");
inline constexpr std::string_view kAspiWithVirtual = NORVIK_TRANSLATABLE("Norvik", "--aspi goes with --virtual drives");
inline constexpr std::string_view kVirtualNeedsDrive = NORVIK_TRANSLATABLE("Norvik", "--virtual needs a drive (DRIVE)");
inline constexpr std::string_view kTraceNeedsFile = NORVIK_TRANSLATABLE("Norvik", "--trace needs a file name");
inline constexpr std::string_view kDriveNeedsNumber = NORVIK_TRANSLATABLE("Norvik", "--drive needs a number");
inline constexpr std::string_view kPackageNeedsFile = NORVIK_TRANSLATABLE("Norvik", "--package needs a file name");

// Usage errors with the option or word in each %s.
inline constexpr std::string_view kMoreThanOneCommandFormat =
    NORVIK_TRANSLATABLE("Norvik", "more than one command (\"%s\"); give one of list, update, history");
inline constexpr std::string_view kUnknownCommandFormat =
    NORVIK_TRANSLATABLE("Norvik", "unknown command \"%s\" (list, update or history)");
inline constexpr std::string_view kTooManyVirtualFormat = NORVIK_TRANSLATABLE("Norvik",
                                                                              "--virtual: at most %s virtual drives");
inline constexpr std::string_view kVirtualRefusedFormat = NORVIK_TRANSLATABLE("Norvik", "--virtual \"%s\": %s");
inline constexpr std::string_view kTakesNoValueFormat = NORVIK_TRANSLATABLE("Norvik", "%s takes no value");
inline constexpr std::string_view kNeedsValueFormat = NORVIK_TRANSLATABLE("Norvik", "%s needs a value");
inline constexpr std::string_view kUnknownShortOptionFormat = NORVIK_TRANSLATABLE("Norvik", "unknown option -%s");
inline constexpr std::string_view kAmbiguousOptionFormat = NORVIK_TRANSLATABLE("Norvik", "ambiguous option --%s (%s)");
inline constexpr std::string_view kUnknownLongOptionFormat = NORVIK_TRANSLATABLE("Norvik", "unknown option --%s");
inline constexpr std::string_view kNotALineNumberFormat =
    NORVIK_TRANSLATABLE("Norvik", "--drive \"%s\" is not a list line number (0, 1, ...)");

// The fixed refusals of a package named with --package, as the package's reader words them
// (package/PackageFromFile.cpp), shown after "--package FILE: ".
inline constexpr std::string_view kIsDirectory = NORVIK_TRANSLATABLE("Norvik", "is a directory, not a file");
inline constexpr std::string_view kIsFifo = NORVIK_TRANSLATABLE("Norvik",
                                                                "is a FIFO, not a file: give the package as a file");
inline constexpr std::string_view kIsDevice = NORVIK_TRANSLATABLE("Norvik", "is a device, not a file");
inline constexpr std::string_view kIsNotRegular = NORVIK_TRANSLATABLE("Norvik", "is not a regular file");
inline constexpr std::string_view kChangedWhileRead = NORVIK_TRANSLATABLE("Norvik", "changed while it was read");
inline constexpr std::string_view kNoProfileStore =
    NORVIK_TRANSLATABLE("Norvik", "carries an update package but no flash profile store");
inline constexpr std::string_view kPlaceholderImage =
    NORVIK_TRANSLATABLE("Norvik", "carries no firmware (its image is the placeholder)");
inline constexpr std::string_view kNoSha256 = NORVIK_TRANSLATABLE("Norvik", "cannot compute its SHA-256");

// list's verdicts and the reasons a drive may not be updated.
inline constexpr std::string_view kNotAllowedFormat = NORVIK_TRANSLATABLE("Norvik", "not allowed: %.*s");
inline constexpr std::string_view kUpdatableFormat = NORVIK_TRANSLATABLE("Norvik",
                                                                         "updatable bank=%u current=%u new=%.*s");
inline constexpr std::string_view kNotUpdatableHere = NORVIK_TRANSLATABLE("Norvik", "not updatable from here: ");
inline constexpr std::string_view kDriveNotPresent = NORVIK_TRANSLATABLE("Norvik", "drive not present");
inline constexpr std::string_view kCarriesNoFirmware = NORVIK_TRANSLATABLE("Norvik", "the program carries no firmware");
inline constexpr std::string_view kPlaceholderProfiles = NORVIK_TRANSLATABLE("Norvik", "placeholder flash profiles");
inline constexpr std::string_view kAnotherModel = NORVIK_TRANSLATABLE(
    "Norvik", "another model than the package's: its bank without constraints takes only that model");
inline constexpr std::string_view kNoBankAccepts = NORVIK_TRANSLATABLE("Norvik",
                                                                       "no bank accepts vendor/product/revision");

// history's own messages.
inline constexpr std::string_view kNoHistoryRecordFormat =
    NORVIK_TRANSLATABLE("Norvik", "%s: history: the journal holds no update record\n");
inline constexpr std::string_view kHistoryNotOnWindows = NORVIK_TRANSLATABLE(
    "Norvik", "history: not available on Windows; the update records are in the Application event log, source Norvik");
inline constexpr std::string_view kHistoryNoJournal = NORVIK_TRANSLATABLE(
    "Norvik", "history: this system has no journal (systemd-journald does not run); the update records went to syslog");

inline constexpr auto kOwnTexts = std::to_array<std::string_view>({
    kNoFirmwareCarriedFormat,
    kSeeHelpFormat,
    kNoteFormat,
    kNoDigestsFormat,
    kOwnPackage,
    kOwnPackageRefused,
    kNotListedFormat,
    kNoOpticalDrive,
    kVirtualWithListAndUpdate,
    kNotAllowedFormat,
    kUpdatableFormat,
    kNotUpdatableHere,
    kDriveNotPresent,
    kCarriesNoFirmware,
    kPlaceholderProfiles,
    kAnotherModel,
    kNoBankAccepts,
    kNoHistoryRecordFormat,
    kHistoryNotOnWindows,
    kHistoryNoJournal,
    kNoCommand,
    kDriveWithUpdate,
    kAspiWithVirtual,
    kVirtualNeedsDrive,
    kTraceNeedsFile,
    kDriveNeedsNumber,
    kPackageNeedsFile,
    kMoreThanOneCommandFormat,
    kUnknownCommandFormat,
    kTooManyVirtualFormat,
    kVirtualRefusedFormat,
    kTakesNoValueFormat,
    kNeedsValueFormat,
    kUnknownShortOptionFormat,
    kAmbiguousOptionFormat,
    kUnknownLongOptionFormat,
    kNotALineNumberFormat,
    kHelpHead,
    kHelpTail,
    kIsDirectory,
    kIsFifo,
    kIsDevice,
    kIsNotRegular,
    kChangedWhileRead,
    kNoProfileStore,
    kPlaceholderImage,
    kNoSha256,
});

// Every text the console translates: the sequence's and its own.
inline constexpr auto kTranslatable = [] {
    std::array<std::string_view, ::texts::kTranslatable.size() + kOwnTexts.size()> all{};
    std::size_t at = 0;
    for (const std::string_view text : ::texts::kTranslatable) all[at++] = text;
    for (const std::string_view text : kOwnTexts) all[at++] = text;
    return all;
}();

}  // namespace cli::console

namespace cli {

// The translator of the console's texts for the whole run, set once at start-up; null (the
// English texts) until then.
void SetConsoleTranslator(const TextTranslator* translator);
const TextTranslator* ConsoleTranslator();

// A text of the console in the user's language, or the text itself; terminated.
std::string_view ConsoleText(std::string_view source);
// ConsoleText's result as a printf format or argument.
const char* ConsoleFormat(std::string_view source);

}  // namespace cli
