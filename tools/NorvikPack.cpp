// norvik-pack: the packaging step. Finds the update package in a built program file, prints it,
// or writes its fields, refusing what the program would refuse; replaces the flash profile
// store. The file is replaced as a whole or not at all.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "package/BlockLocator.h"
#include "package/ImageDigestCheck.h"
#include "package/PackError.h"
#include "package/PackageEditor.h"
#include "package/PackagePrinter.h"
#include "package/ProgramFile.h"
#include "payload/PackageFileLayout.h"
#include "payload/PackageLayout.h"
#include "payload/ProfileLayout.h"

namespace {

constexpr std::size_t kMaxProgramSize = std::size_t{1} << 30;

constexpr std::string_view kHelp = R"(usage: norvik-pack show FILE
       norvik-pack set FILE OPTION...
       norvik-pack export PROGRAM PACKAGE-FILE
       norvik-pack --help | --version

Prints or fills the update package of a built Norvik program, for Linux (ELF)
or Windows (PE), or of a package file (.nvpkg). The package is found in the
program's .norvik_package section (.nvpkg in a Windows program), or by its
landmarks when the file has no section table. A section is trusted only where
the program reads it (its block's size, in a loaded segment that is not code,
clear of headers and other sections).

Each set records the SHA-256 of every bank's image beside the package (the
.norvik_digests section, .nvdgst in a Windows program; in a package file, its
own field), which the programs check before they send any command. A set on
a file whose images no longer match their recorded digests is refused.

export writes the program's package, flash profile store and image digests as
a new package file, which norvik-cli and norvik take in place of the program;
an existing PACKAGE-FILE is not overwritten.

set options (any number, applied in order; banks 1-4, rows 1-8):
  --caption TEXT       window caption (at most 63 characters)
  --version TEXT       version text (at most 12)
  --product TEXT       product text (at most 64)
  --banner TEXT, --contact TEXT, --release-date TEXT, --spare TEXT
                       the texts the program does not read
  --setting KEY=DIGIT  one of N2OMESSAGE CHKDISC BOOTCODE REBOOT AUTOMODE
                       CLOSEAP WARNING NBWARNING HOW_MANY_BIN, set to one digit
  --constraint BANK.ROW=MIN,MAX,VENDOR,PRODUCT
                       a constraint row (at most 4, 4, 8, 16 characters; an
                       empty field accepts any drive; spaces count)
  --clear-constraint BANK.ROW
                       put a row back into its placeholder form
  --new-revision BANK=REV
                       the bank's new revision: the 4 characters the updated
                       drive reports (pad with spaces)
  --image BANK=FILE[@START]
                       copy FILE, a whole number of 16384-byte blocks, into
                       the image area at START (default: 0 for bank 1, right
                       behind the previous bank otherwise) and write the
                       bank's BIN_START and BIN_SIZE entries
  --accept-every-drive-of-model
                       let a bank in use keep the placeholder as its first
                       constraint row: it then takes every drive of the
                       package's model (the product text, or a vendor and
                       product a row names), whatever its revision
  --profiles FILE      replace the whole flash profile store (.norvik_profiles
                       section, .nvprof in a Windows program) with FILE, which
                       must hold exactly 17048 bytes, no profile of one byte
                       value throughout

The result is checked before anything is written. Refused: no bank, more than
4, a bank in use outside the image area, of size 0 or not a whole number of
16384-byte blocks, two banks in use that share bytes, a bank in use whose
first row is the placeholder (unless --accept-every-drive-of-model), and,
once an --image clears the image placeholder, a bank in use not made of the
images given in the same command; an image of one byte value (all 00h, all
FFh), a profile store with a profile of one byte value (given, or in the
program), a new revision that is not 4 characters, a file in which sections
or landmarks find more than one package, and a file cut short. The file is
locked for the edit (a second norvik-pack on it is refused) and replaced
through an unnamed copy next to it, named only when complete, keeping its
owner, group and permissions. Refused too: a file its user may not write
(root may), and one with more than one hard link, which the copy would split
(pack a copy).
Exit status: 0 done, 1 refused, 2 usage error.
)";

struct UsageError : PackError {
    using PackError::PackError;
};

using Edit = std::function<void(PackageEditor&)>;

// What `set` changes: fields of the package, and perhaps the whole profile store.
struct SetOptions {
    std::vector<Edit> packageEdits;
    bool acceptEveryDriveOfModel = false;
    std::optional<std::vector<uint8_t>> profileStore;
};

// Splits "left<separator>right" at the first separator; refuses text without one.
std::pair<std::string_view, std::string_view> Split(std::string_view text, char separator, std::string_view option)
{
    const auto at = text.find(separator);
    if (at == std::string_view::npos) {
        throw UsageError(std::string(option) + " expects '" + separator + "' in \"" + std::string(text) + "\"");
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

int ParseNumber(std::string_view text, std::string_view what)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw UsageError(std::string(what) + " \"" + std::string(text) + "\" is not a number");
    }
    return value;
}

// "2" is bank 1 in 0-based counting.
int ParseBank(std::string_view text) { return ParseNumber(text, "bank") - 1; }

std::pair<int, int> ParseBankRow(std::string_view text, std::string_view option)
{
    const auto [bank, row] = Split(text, '.', option);
    return {ParseBank(bank), ParseNumber(row, "row") - 1};
}

ConstraintTexts ParseConstraintTexts(std::string_view text)
{
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) std::tie(parts[i], text) = Split(text, ',', "--constraint");
    parts[3] = text;
    if (parts[3].find(',') != std::string_view::npos) {
        throw UsageError("--constraint expects four fields: MIN,MAX,VENDOR,PRODUCT");
    }
    return ConstraintTexts{parts[0], parts[1], parts[2], parts[3]};
}

Edit ImageEdit(std::string_view value)
{
    const auto [bankText, fileAndStart] = Split(value, '=', "--image");
    const int bank = ParseBank(bankText);
    std::string_view file = fileAndStart;
    std::optional<int64_t> start;
    const auto at = fileAndStart.rfind('@');
    if (at != std::string_view::npos && at + 1 < fileAndStart.size() &&
        fileAndStart.find_first_not_of("0123456789", at + 1) == std::string_view::npos) {
        start = ParseNumber(fileAndStart.substr(at + 1), "start");
        file = fileAndStart.substr(0, at);
    }
    auto image = ReadWholeFile(std::string(file), payload::kImageAreaSize);
    return [bank, start, image = std::move(image)](PackageEditor& editor) { editor.PutImage(bank, image, start); };
}

std::optional<TextField> TextOption(std::string_view option)
{
    for (TextField field : {TextField::Banner, TextField::Version, TextField::Contact, TextField::Caption,
                            TextField::ReleaseDate, TextField::Spare, TextField::Product}) {
        if (option.substr(2) == TextFieldName(field) && option.starts_with("--")) return field;
    }
    return std::nullopt;
}

Edit ParseEdit(std::string_view option, std::string_view value)
{
    if (const auto field = TextOption(option)) {
        return [field = *field, value](PackageEditor& editor) { editor.SetText(field, value); };
    }
    if (option == "--setting") {
        const auto [key, digit] = Split(value, '=', option);
        return [key, digit](PackageEditor& editor) { editor.SetSetting(key, digit); };
    }
    if (option == "--constraint") {
        const auto [place, texts] = Split(value, '=', option);
        const auto [bank, row] = ParseBankRow(place, option);
        return [bank, row, texts = ParseConstraintTexts(texts)](PackageEditor& editor) {
            editor.SetConstraint(bank, row, texts);
        };
    }
    if (option == "--clear-constraint") {
        const auto [bank, row] = ParseBankRow(value, option);
        return [bank, row](PackageEditor& editor) { editor.ClearConstraint(bank, row); };
    }
    if (option == "--new-revision") {
        const auto [bankText, revision] = Split(value, '=', option);
        const int bank = ParseBank(bankText);
        return [bank, revision](PackageEditor& editor) { editor.SetNewRevision(bank, revision); };
    }
    if (option == "--image") return ImageEdit(value);
    throw UsageError("unknown option \"" + std::string(option) + "\"");
}

std::vector<uint8_t> ReadProfileStore(std::string_view file)
{
    auto store = ReadWholeFile(std::string(file), payload::kProfileStoreSize);
    if (store.size() != payload::kProfileStoreSize) {
        throw PackError(std::string(file) + " holds " + std::to_string(store.size()) +
                        " bytes; a flash profile store holds exactly " + std::to_string(payload::kProfileStoreSize));
    }
    const std::string refusal = ProfileStoreRefusal(store.data());
    if (!refusal.empty()) throw PackError(std::string(file) + ": " + refusal + "; give the drive's flash profiles");
    return store;
}

// "--name VALUE" and "--name=VALUE" alike.
SetOptions ParseSetOptions(const std::vector<std::string_view>& options)
{
    SetOptions parsed;
    for (std::size_t i = 0; i < options.size(); ++i) {
        std::string_view option = options[i];
        if (option == "--accept-every-drive-of-model") {
            parsed.acceptEveryDriveOfModel = true;
            continue;
        }
        std::string_view value;
        if (const auto equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
        } else if (i + 1 < options.size()) {
            value = options[++i];
        } else {
            throw UsageError("option \"" + std::string(option) + "\" needs a value");
        }
        if (option == "--profiles") {
            parsed.profileStore = ReadProfileStore(value);
        } else {
            parsed.packageEdits.push_back(ParseEdit(option, value));
        }
    }
    if (parsed.packageEdits.empty() && !parsed.profileStore) throw UsageError("set needs at least one option");
    return parsed;
}

// A program file, or a package file, whose parts are at fixed offsets.
struct LoadedProgram {
    std::vector<uint8_t> bytes;
    BlockLocation block;
    bool packageFile = false;
};

LoadedProgram LoadProgram(const std::string& path, std::vector<uint8_t> bytes)
{
    LoadedProgram program{std::move(bytes), {}};
    if (IsPackageFile(program.bytes)) {
        if (program.bytes.size() != payload::kPackageFileSize) {
            throw PackError(path + ": a package file of " + std::to_string(program.bytes.size()) + " bytes, not the " +
                            std::to_string(payload::kPackageFileSize) + " of a whole one: cut short or damaged");
        }
        program.block = BlockLocation{offsetof(payload::PackageFileLayout, package), FoundBy::Section, "package file"};
        program.packageFile = true;
        return program;
    }
    try {
        program.block = LocatePackageBlock(program.bytes);
    } catch (const PackError& error) {
        throw PackError(path + ": " + error.what());
    }
    return program;
}

// Where the file keeps its flash profile store; none for a program without the store's section.
std::optional<std::size_t> StoreOffset(const std::string& path, const LoadedProgram& program)
{
    if (program.packageFile) return offsetof(payload::PackageFileLayout, profiles);
    if (!HasProfileStoreSection(program.bytes)) return std::nullopt;
    try {
        return LocateProfileStore(program.bytes);
    } catch (const PackError& error) {
        throw PackError(path + ": " + error.what());
    }
}

// Where the file keeps its image digests; none for a program packed before they were recorded.
std::optional<std::size_t> DigestOffset(const std::string& path, const LoadedProgram& program)
{
    if (program.packageFile) return offsetof(payload::PackageFileLayout, digests);
    if (!HasImageDigestSection(program.bytes)) return std::nullopt;
    try {
        return LocateImageDigests(program.bytes);
    } catch (const PackError& error) {
        throw PackError(path + ": " + error.what());
    }
}

DigestCheck CheckDigests(const LoadedProgram& program, std::optional<std::size_t> digests)
{
    return CheckImageDigests(program.bytes.data() + program.block.offset,
                             digests ? program.bytes.data() + *digests : nullptr);
}

// A file whose images were damaged since they were packed must not have that damage recorded as
// the images' digests, nor be exported.
void RequireIntactImages(const std::string& path, const LoadedProgram& program, std::optional<std::size_t> digests)
{
    const std::string refusal = DigestRefusal(CheckDigests(program, digests));
    if (!refusal.empty()) throw PackError(path + ": " + refusal);
}

std::string_view DigestStateText(DigestState state)
{
    switch (state) {
    case DigestState::NotApplicable: return "none needed (no firmware, or banks the program refuses)";
    case DigestState::Matching: return "recorded, every bank in use matches";
    case DigestState::NoneRecorded: return "none recorded (packed before they were kept)";
    case DigestState::Mismatch: return "recorded, a bank does NOT match: the package is damaged";
    case DigestState::Damaged: return "the record is damaged";
    }
    return "";
}

std::string Describe(const BlockLocation& block)
{
    if (block.section == "package file") return "package file";
    char offset[32];
    std::snprintf(offset, sizeof offset, "0x%zX", block.offset);
    const std::string how = block.foundBy == FoundBy::Section ? "section " + std::string(block.section)
                                                              : "landmarks, no section";
    return "block at file offset " + std::string(offset) + " (found by " + how + ")";
}

// A program without section table still has its package shown; only its store cannot be found.
void ShowProfileStore(const LoadedProgram& program)
{
    try {
        const std::size_t at = program.packageFile ? offsetof(payload::PackageFileLayout, profiles)
                                                   : LocateProfileStore(program.bytes);
        const uint8_t* store = program.bytes.data() + at;
        PrintProfileStore(std::cout, store);
        const std::string refusal = ProfileStoreRefusal(store);
        if (!refusal.empty()) std::cout << "  " << refusal << '\n';
    } catch (const PackError& error) {
        std::cout << "profile store: " << error.what() << '\n';
    }
}

int Show(const std::string& path)
{
    const LoadedProgram program = LoadProgram(path, ReadWholeFile(path, kMaxProgramSize));
    std::cout << "file:         " << path << '\n' << "package:      " << Describe(program.block) << '\n';
    PrintPackage(std::cout, program.bytes.data() + program.block.offset);
    ShowProfileStore(program);
    try {
        const DigestCheck check = CheckDigests(program, DigestOffset(path, program));
        std::cout << "digests:      " << DigestStateText(check.state);
        if (check.bank >= 0) std::cout << " (bank " << check.bank + 1 << ')';
        std::cout << '\n';
    } catch (const PackError& error) {
        std::cout << "digests:      " << error.what() << '\n';
    }
    return 0;
}

// Puts the new store in when one is given. A store the program already carries is checked as a
// new one is: its section must be where the program reads it, and its profiles such that the
// program starts with them. A program without the section (found by landmarks) keeps its store.
void PutProfileStore(const std::string& path, LoadedProgram& program, const std::optional<std::vector<uint8_t>>& store)
{
    const std::optional<std::size_t> found = StoreOffset(path, program);
    if (!found && !store) return;
    if (!found) {
        // Says why the store has nowhere to go, as the locator sees it.
        try {
            LocateProfileStore(program.bytes);
        } catch (const PackError& error) {
            throw PackError(path + ": " + error.what());
        }
        throw PackError(path + ": no flash profile store in this file");
    }
    const std::size_t at = *found;
    if (store) std::copy(store->begin(), store->end(), program.bytes.begin() + static_cast<std::ptrdiff_t>(at));
    const std::string refusal = ProfileStoreRefusal(program.bytes.data() + at);
    if (!refusal.empty()) {
        throw PackError(path + ": its " + refusal + "; pack the drive's flash profiles in with --profiles");
    }
}

int Set(const std::string& path, const std::vector<std::string_view>& options)
{
    const SetOptions parsed = ParseSetOptions(options);
    // Locked from before the read to after the rename: a second run on the file is refused
    // instead of writing over this one's result with what it read before.
    ProgramFileEdit file(path, kMaxProgramSize);
    LoadedProgram program = LoadProgram(path, std::move(file.Bytes()));
    const std::optional<std::size_t> digests = DigestOffset(path, program);
    RequireIntactImages(path, program, digests);
    PackageEditor editor(
        std::span<uint8_t, payload::kPackageSize>(program.bytes.data() + program.block.offset, payload::kPackageSize));
    for (const Edit& edit : parsed.packageEdits) edit(editor);
    if (parsed.acceptEveryDriveOfModel) editor.AcceptEveryDriveOfModel();
    editor.CheckPackage();
    PutProfileStore(path, program, parsed.profileStore);
    if (digests && !RecordImageDigests(program.bytes.data() + program.block.offset, program.bytes.data() + *digests))
        throw PackError(path + ": cannot compute the SHA-256 of the images");
    file.Replace(program.bytes);
    std::cout << "packed " << path << ": " << Describe(program.block) << '\n';
    if (!digests) {
        std::cout << "no image digests: " << path
                  << " has no section for them (built before they were recorded); the programs take its package "
                     "unchecked\n";
    }
    return 0;
}

// The new file is created for this write alone (never over an existing one) and flushed before
// it counts as written; on any failure nothing is left under its name.
void WriteNewFile(const std::string& path, std::span<const uint8_t> bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) throw PackError("cannot create " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0 &&
                         fsync(fileno(file)) == 0;
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        std::remove(path.c_str());
        throw PackError("cannot write " + path + ": " + std::strerror(error));
    }
}

int Export(const std::string& programPath, const std::string& packagePath)
{
    const LoadedProgram program = LoadProgram(programPath, ReadWholeFile(programPath, kMaxProgramSize));
    const std::optional<std::size_t> store = StoreOffset(programPath, program);
    if (!store) throw PackError(programPath + ": no flash profile store to export (no section for it)");
    const std::optional<std::size_t> digests = DigestOffset(programPath, program);
    RequireIntactImages(programPath, program, digests);
    const PackageReader package(program.bytes.data() + program.block.offset);
    // A package file is made to be handed to the programs, which take none without firmware.
    if (package.ImageHoldsPlaceholder())
        throw PackError(programPath + ": carries no firmware (its image is the placeholder); pack one in first");
    const std::string refusal = PackageRefusal(package);
    if (!refusal.empty()) throw PackError(programPath + ": " + refusal);

    std::vector<uint8_t> file(payload::kPackageFileSize, 0);
    std::copy(payload::kPackageFileMagic.begin(), payload::kPackageFileMagic.end(), file.begin());
    auto put = [&](std::size_t to, std::size_t from, std::size_t size) {
        std::copy_n(program.bytes.begin() + static_cast<std::ptrdiff_t>(from), size,
                    file.begin() + static_cast<std::ptrdiff_t>(to));
    };
    put(offsetof(payload::PackageFileLayout, package), program.block.offset, payload::kPackageSize);
    put(offsetof(payload::PackageFileLayout, profiles), *store, payload::kProfileStoreSize);
    uint8_t* record = file.data() + offsetof(payload::PackageFileLayout, digests);
    if (digests) {
        put(offsetof(payload::PackageFileLayout, digests), *digests, payload::kImageDigestsSize);
    } else {
        // The record of a package file says that it records nothing, as the program's did.
        std::copy(payload::kDigestMagic.begin(), payload::kDigestMagic.end(), record);
    }
    WriteNewFile(packagePath, file);
    std::cout << "exported " << programPath << " to " << packagePath << '\n';
    if (CheckImageDigests(file.data() + offsetof(payload::PackageFileLayout, package), record).state ==
        DigestState::NoneRecorded) {
        std::cout << "no image digests: " << programPath
                  << " was packed before they were recorded; pack the images again to record them\n";
    }
    return 0;
}

int Run(const std::vector<std::string_view>& args)
{
    if (args.empty()) throw UsageError("no command given");
    const std::string_view command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kHelp;
        return 0;
    }
    // Only in the command's place: after set, --version TEXT is the package's version text.
    if (command == "--version") {
        std::cout << "norvik-pack " << NORVIK_VERSION << "\nLicense: Apache-2.0\n";
        return 0;
    }
    if (command != "show" && command != "set" && command != "export")
        throw UsageError("unknown command \"" + std::string(command) + "\"");
    if (args.size() < 2) throw UsageError(std::string(command) + " needs a program file");
    const std::string path(args[1]);
    if (command == "export") {
        if (args.size() != 3) throw UsageError("export takes a program file and the package file to write");
        return Export(path, std::string(args[2]));
    }
    if (command == "show") {
        if (args.size() > 2) throw UsageError("show takes only the program file");
        return Show(path);
    }
    return Set(path, std::vector<std::string_view>(args.begin() + 2, args.end()));
}

// Whether everything printed reached standard output; if not, says why on standard error.
bool OutputWritten()
{
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && std::cout.good() && std::ferror(stdout) == 0) return true;
    std::cerr << "norvik-pack: standard output: " << (error != 0 ? std::strerror(error) : "write error") << '\n';
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    try {
        const int status = Run(args);
        // A success whose output was lost is none.
        return OutputWritten() || status != 0 ? status : 1;
    } catch (const UsageError& error) {
        std::cerr << "norvik-pack: " << error.what() << " (see norvik-pack --help)\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "norvik-pack: " << error.what() << '\n';
        return 1;
    }
}
