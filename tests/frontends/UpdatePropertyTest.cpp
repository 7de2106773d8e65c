// The console front end's whole update, run in process over random packages and random virtual
// drives with random faults, judged by what the drives hold afterwards. Whatever the package and
// the drives do, the program may end with status 0 only when every drive chosen for the update
// (at least one) holds its bank's image and reports its bank's new revision, and no drive may be
// told to commit an image that was not written and read back whole in one pass.
//
// Each run draws from its own generator, seeded with the run's seed and index, so a failing run
// is replayed by the same seed (NORVIK_PROPERTY_SEED) with at least as many runs
// (NORVIK_PROPERTY_RUNS).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "frontends/cli/CliCommands.h"
#include "frontends/cli/TerminalView.h"
#include "package/PackError.h"
#include "package/PackageEditor.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/DriveSetup.h"
#include "sim/VirtualSystem.h"
#include "update/SequenceTexts.h"

namespace {

constexpr uint32_t kDefaultSeed = 20261207;
constexpr int kDefaultRuns = 400;
constexpr int64_t kBlockSize = 16384;
constexpr int kNoBank = -1;

using Random = std::mt19937;

int Uniform(Random& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
bool OneIn(Random& random, int n) { return Uniform(random, 1, n) == 1; }

uint32_t EnvironmentNumber(const char* name, uint32_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && text[0] != '\0' ? static_cast<uint32_t>(std::strtoul(text, nullptr, 0)) : fallback;
}

// ---- The package ---------------------------------------------------------------------------

// Bank b (0-based) accepts the drives whose revision is "A<b+1>0<digit>" with the digit in
// [lowest, highest], of any make or only of the package's model; or, left without constraints
// (its first row the placeholder), every drive of the package's model and none of another make.
struct BankPlan {
    int64_t start = 0;
    int64_t size = 0;
    int lowest = 0;
    int highest = 9;
    bool withoutConstraints = false;
    bool onlyTheModel = false;
    std::string newRevision;
};

struct Scenario {
    std::vector<uint8_t> block;
    int howManyBin = 1;
    std::vector<BankPlan> banks;      // kBankCount entries; those past HOW_MANY_BIN unused
    std::vector<std::string> drives;  // text form of each virtual drive
    std::vector<int> driveBanks;      // bank the drive's revision belongs to, or kNoBank
    std::string settings;             // for the failure message
};

std::string Revision(int bank, int digit) { return "A" + std::to_string(bank + 1) + "0" + std::to_string(digit); }

// Mostly whole blocks; sometimes a size the program must refuse (a partial block, or none).
int64_t DrawBankSize(Random& random)
{
    const int64_t blocks = Uniform(random, 1, 8);
    if (OneIn(random, 30)) return 0;
    if (OneIn(random, 25)) return (blocks - 1) * kBlockSize + Uniform(random, 1, kBlockSize - 1);
    return blocks * kBlockSize;
}

// A ten-digit start or size value written straight into its entry.
void WriteNumberDirectly(std::vector<uint8_t>& block, std::size_t valueOffset, int64_t value)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010lld", static_cast<long long>(value));
    std::memcpy(block.data() + valueOffset, digits, payload::kNumberDigits);
}

// The packaging tool refuses images the program must refuse as well (none, part blocks,
// overlapping ones); those go into the block directly, as a tampered program file would carry them.
void PutImageDirectly(std::vector<uint8_t>& block, int bank, const BankPlan& plan, const std::vector<uint8_t>& image)
{
    uint8_t* area = block.data() + offsetof(payload::PackageBlock, imageArea);
    if (std::memcmp(area, payload::kImagePlaceholder.data(), payload::kImagePlaceholder.size()) == 0)
        std::fill_n(area, payload::kImagePlaceholder.size(), uint8_t{0});
    std::copy(image.begin(), image.end(), area + plan.start);
    WriteNumberDirectly(block, payload::BinStartValueOffset(bank), plan.start);
    WriteNumberDirectly(block, payload::BinSizeValueOffset(bank), plan.size);
}

void PutRandomImage(Random& random, PackageEditor& editor, std::vector<uint8_t>& block, int bank, const BankPlan& plan)
{
    std::vector<uint8_t> image(static_cast<std::size_t>(plan.size));
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    // Now and then padded firmware: the second half of every block zeros, which half a block
    // moved would match in a zeroed buffer.
    if (OneIn(random, 3)) {
        for (std::size_t at = kBlockSize / 2; at < image.size(); at += kBlockSize)
            std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at),
                        std::min<std::size_t>(kBlockSize / 2, image.size() - at), uint8_t{0});
    }
    // Never the image placeholder's first byte, so the package is never taken for one without firmware.
    if (!image.empty() && image[0] == static_cast<uint8_t>(payload::kImagePlaceholder[0])) image[0] ^= 1;
    try {
        editor.PutImage(bank, image, plan.start);
    } catch (const PackError&) {
        PutImageDirectly(block, bank, plan, image);
    }
}

Scenario DrawPackage(Random& random)
{
    Scenario scenario;
    scenario.block.assign(payload::OwnPackageBlock(), payload::OwnPackageBlock() + payload::kPackageSize);
    PackageEditor editor(std::span<uint8_t, payload::kPackageSize>(scenario.block.data(), payload::kPackageSize));

    scenario.howManyBin = OneIn(random, 25) ? 0 : OneIn(random, 25) ? Uniform(random, 5, 9) : Uniform(random, 1, 4);
    const int filled = std::clamp(scenario.howManyBin, 1, payload::kBankCount);
    scenario.banks.resize(payload::kBankCount);
    for (int bank = 0; bank < payload::kBankCount; ++bank) {
        BankPlan& plan = scenario.banks[static_cast<std::size_t>(bank)];
        plan.lowest = Uniform(random, 0, 6);
        plan.highest = plan.lowest + Uniform(random, 0, 3);
        // Now and then a new revision the drives already carry or pass.
        plan.newRevision = OneIn(random, 8) ? Revision(bank, Uniform(random, 0, 9))
                                            : "N" + std::to_string(bank + 1) + std::to_string(Uniform(random, 10, 99));
        plan.withoutConstraints = OneIn(random, 6);
        plan.onlyTheModel = OneIn(random, 2);
        editor.SetConstraint(bank, 0,
                             {Revision(bank, plan.lowest), Revision(bank, plan.highest),
                              plan.onlyTheModel ? "TALVORE " : "", plan.onlyTheModel ? "DVDRW KRX-407T  " : ""});
        for (int row = plan.withoutConstraints ? 0 : 1; row < payload::kRowsPerBank; ++row)
            editor.ClearConstraint(bank, row);
        editor.SetNewRevision(bank, plan.newRevision);
        if (bank >= filled) continue;
        const BankPlan* before = bank > 0 ? &scenario.banks[static_cast<std::size_t>(bank - 1)] : nullptr;
        const bool overlap = before != nullptr && before->size > 0 && OneIn(random, 20);
        plan.size = DrawBankSize(random);
        plan.start = before == nullptr ? 0
                     : overlap         ? before->start + Uniform(random, 0, static_cast<int>(before->size) - 1)
                                       : before->start + before->size;
        PutRandomImage(random, editor, scenario.block, bank, plan);
    }

    const char* const keys[] = {"AUTOMODE", "CHKDISC", "CLOSEAP", "N2OMESSAGE", "BOOTCODE", "WARNING"};
    for (const char* key : keys) {
        const std::string value = std::to_string(Uniform(random, 0, 1));
        editor.SetSetting(key, value);
        scenario.settings += std::string(key) + "=" + value + " ";
    }
    const std::string reboot = OneIn(random, 12) ? "1" : "0";
    editor.SetSetting("REBOOT", reboot);
    editor.SetSetting("HOW_MANY_BIN", std::to_string(scenario.howManyBin));
    scenario.settings += "REBOOT=" + reboot + " HOW_MANY_BIN=" + std::to_string(scenario.howManyBin);
    for (int bank = 0; bank < filled; ++bank) {
        const BankPlan& plan = scenario.banks[static_cast<std::size_t>(bank)];
        const std::string takes = plan.withoutConstraints
                                      ? "model"
                                      : Revision(bank, plan.lowest) + ".." + Revision(bank, plan.highest) +
                                            (plan.onlyTheModel ? " of the model" : "");
        scenario.settings += " bank" + std::to_string(bank + 1) + "=" + std::to_string(plan.start) + "+" +
                             std::to_string(plan.size) + "[" + takes + "]->" + plan.newRevision;
    }
    return scenario;
}

// ---- The drives ----------------------------------------------------------------------------

// A fault at a command the update is likely to reach: flash identification, the image writes and
// reads (a bank has at most 8 blocks, written and read up to three times), readiness, inquiry.
std::string DrawFault(Random& random)
{
    static const char* const kOpcodes[] = {"DF", "3B", "3C", "00", "12"};
    static const int kHighestNumber[] = {3, 30, 26, 12, 6};
    static const char* const kSenses[] = {"2/04/01", "3/0C/00", "4/44/00", "6/29/00", "5/24/00"};
    // Every offset lies inside a READ BUFFER block, so a corrupted read back always changes a byte.
    static const int kReplyOffsets[] = {0, 1, 3, 33, 100, 16383};
    static const char* const kSlowSeconds[] = {"1", "30", "200"};
    // Bytes a short transfer moves: none, a little, half a block, all but the last byte.
    static const char* const kShortBytes[] = {"0", "512", "8192", "16383"};

    const int action = Uniform(random, 0, 5);
    std::string trigger;
    if (OneIn(random, 4)) {
        trigger = "#" + std::to_string(Uniform(random, 1, 80));
    } else {
        // A corrupted reply matters most to a read back, so most of them go there.
        const int which = action == 2 && !OneIn(random, 3) ? 2 : Uniform(random, 0, 4);
        trigger = std::string(kOpcodes[which]) + "#" + std::to_string(Uniform(random, 1, kHighestNumber[which]));
    }
    if (OneIn(random, 6)) trigger += "+";
    switch (action) {
    case 0: return trigger + ":sense:" + kSenses[Uniform(random, 0, 4)];
    case 1: return trigger + ":fail";
    case 2: return trigger + ":corrupt:" + std::to_string(kReplyOffsets[Uniform(random, 0, 5)]);
    case 3: return trigger + ":gone";
    case 4: return trigger + ":short:" + kShortBytes[Uniform(random, 0, 3)];
    default: return trigger + ":slow:" + kSlowSeconds[Uniform(random, 0, 2)];
    }
}

// The first bank in use that takes a drive of revision "A<revisionBank+1>0<digit>", or kNoBank.
int TakingBank(const Scenario& scenario, bool anotherMake, int revisionBank, int digit)
{
    const int usable = std::clamp(scenario.howManyBin, 0, payload::kBankCount);
    for (int bank = 0; bank < usable; ++bank) {
        const BankPlan& plan = scenario.banks[static_cast<std::size_t>(bank)];
        if (plan.withoutConstraints) {
            if (!anotherMake) return bank;
            continue;
        }
        if (plan.onlyTheModel && anotherMake) continue;
        if (bank == revisionBank && digit >= plan.lowest && digit <= plan.highest) return bank;
    }
    return kNoBank;
}

void DrawDrives(Random& random, Scenario& scenario)
{
    static const char* const kChips[] = {"BFD60001", "DAC80000", "BFD60002", "BFD60001", "12345678", "none"};
    const int count = Uniform(random, 1, 3);
    for (int i = 0; i < count; ++i) {
        // Mostly a drive of a bank in use, at a revision its bank accepts; else any bank, any
        // revision, or none of the banks at all (bank 4, 0-based, does not exist).
        const int usable = std::min(scenario.howManyBin, payload::kBankCount);
        const bool accepted = usable > 0 && !OneIn(random, 4);
        const int bank = accepted ? Uniform(random, 0, usable - 1) : Uniform(random, 0, payload::kBankCount);
        // Now and then a drive of another make, which only a bank's rows may take.
        const bool anotherMake = OneIn(random, 5);
        std::string text = anotherMake ? "vendor=OTHERCO,product=BLURAY XYZ,rev=Z900" : "rev=Z900";
        int digit = 0;
        if (bank < payload::kBankCount) {
            const BankPlan& drawn = scenario.banks[static_cast<std::size_t>(bank)];
            digit = accepted ? Uniform(random, drawn.lowest, drawn.highest) : Uniform(random, 0, 9);
            text.replace(text.size() - 4, 4, Revision(bank, digit));
        }
        const int taking = TakingBank(scenario, anotherMake, bank, digit);
        if (taking != kNoBank) {
            const BankPlan& plan = scenario.banks[static_cast<std::size_t>(taking)];
            text += ",newrev=" + plan.newRevision;
            // The drive needs exactly the bank's bytes for a good commit.
            if (plan.size > 0) text += ",image=" + std::to_string(plan.size);
        }
        text += std::string(",chip=") + kChips[Uniform(random, 0, 5)];
        // Now and then boot code that takes a complete image without the chip's profile.
        if (OneIn(random, 8)) text += ",profile=unneeded";
        text += std::string(",disc=") + (OneIn(random, 4) ? "1" : "0");
        text += std::string(",tray=") + (OneIn(random, 4) ? "open" : "closed");
        const int faults = OneIn(random, 3) ? 0 : Uniform(random, 1, 2);
        for (int f = 0; f < faults; ++f) text += ",fault=" + DrawFault(random);
        scenario.drives.push_back(text);
        scenario.driveBanks.push_back(taking);
    }
}

// ---- The trace -----------------------------------------------------------------------------

struct TraceLine {
    uint8_t cdb[12] = {};
    std::string status;  // "good", "short N", "sense K/AA/QQ" or "failed"
};

TraceLine ParseTraceLine(const std::string& line)
{
    TraceLine parsed;
    for (int i = 0; i < 12; ++i) parsed.cdb[i] = static_cast<uint8_t>(std::stoul(line.substr(2 * i, 2), nullptr, 16));
    // "<cdb> <dir> <length> <status>": the status is everything after the third space.
    std::size_t at = 0;
    for (int spaces = 0; spaces < 3; ++spaces) at = line.find(' ', at) + 1;
    parsed.status = line.substr(at);
    return parsed;
}

uint32_t Field24(const uint8_t* bytes) { return (uint32_t{bytes[0]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[2]; }

// A WRITE BUFFER (image data) or READ BUFFER of one whole block, at that block's offset.
bool IsBlockCommand(const TraceLine& line, uint8_t opcode, int64_t block)
{
    if (line.cdb[0] != opcode || Field24(line.cdb + 6) != kBlockSize || Field24(line.cdb + 3) != block * kBlockSize)
        return false;
    return opcode != 0x3B || line.cdb[9] == 0x00;
}

// Discovery only identifies a drive (INQUIRY, flash identification); a drive that gets anything
// else but a readiness poll was chosen for the update: the disc and tray check (media event poll,
// tray commands), the download (stop, buffer commands). Such a drive, given up or failed before
// any image data reached it, is no updated drive either.
bool ChosenForUpdate(const TraceLine& line)
{
    const uint8_t opcode = line.cdb[0];
    return opcode == 0x1B || opcode == 0x4A || opcode == 0x3B || opcode == 0x3C;
}

bool IsWriteBuffer(const TraceLine& line) { return line.cdb[0] == 0x3B; }

bool IsCommit(const TraceLine& line) { return line.cdb[0] == 0x3B && (line.cdb[9] == 0x80 || line.cdb[9] == 0xA0); }

// Trace line indices (0-based) whose data-in reply a CorruptReply fault changed. Sequence
// triggers count the drive's commands, opcode triggers the commands with that opcode, from 1.
std::vector<bool> CorruptedLines(const std::vector<TraceLine>& lines, const sim::DriveSetup& setup)
{
    std::vector<bool> hit(lines.size(), false);
    uint32_t opcodeCounts[256] = {};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const uint8_t opcode = lines[i].cdb[0];
        const uint32_t count = ++opcodeCounts[opcode];
        for (int f = 0; f < setup.faultCount; ++f) {
            const sim::Fault& fault = setup.faults[static_cast<std::size_t>(f)];
            if (fault.kind != sim::FaultKind::CorruptReply || fault.replyOffset >= kBlockSize) continue;
            const bool byOpcode = fault.trigger == sim::FaultTrigger::Opcode;
            if (byOpcode && fault.opcode != opcode) continue;
            const uint32_t number = byOpcode ? count : static_cast<uint32_t>(i + 1);
            if (number >= fault.number && (fault.repeat == 0 || number < fault.number + fault.repeat)) hit[i] = true;
        }
    }
    return hit;
}

// Walks back from line `end` over one pass of `blocks` blocks of the opcode, the last block
// first, each ending good; a block may have been sent twice when the first request failed as
// such (the transport sends such a request once more). Gives the index of the pass's first
// line, or -1 when the lines before `end` are no such pass; collects the good lines.
int PassStart(const std::vector<TraceLine>& lines, int end, uint8_t opcode, int64_t blocks, std::vector<int>& good)
{
    int i = end;
    for (int64_t block = blocks - 1; block >= 0; --block) {
        --i;
        if (i < 0 || !IsBlockCommand(lines[static_cast<std::size_t>(i)], opcode, block) ||
            lines[static_cast<std::size_t>(i)].status != "good")
            return -1;
        good.push_back(i);
        while (i > 0 && lines[static_cast<std::size_t>(i - 1)].status == "failed" &&
               std::memcmp(lines[static_cast<std::size_t>(i - 1)].cdb, lines[static_cast<std::size_t>(i)].cdb, 12) == 0)
            --i;
    }
    return i;
}

// Every commit comes right after one whole write pass and one whole, unaltered read pass of the
// drive's bank. Empty when that holds, else what went wrong.
std::string CheckCommits(const std::vector<TraceLine>& lines, const std::vector<bool>& corrupted, int64_t bankSize)
{
    const int64_t blocks = (bankSize + kBlockSize - 1) / kBlockSize;  // a partial block counts
    for (std::size_t commit = 0; commit < lines.size(); ++commit) {
        if (!IsCommit(lines[commit])) continue;
        const std::string where = "commit at trace line " + std::to_string(commit + 1);
        const std::string bank = " (bank of " + std::to_string(bankSize) + " bytes, " + std::to_string(blocks) +
                                 " blocks)";
        if (blocks <= 0) return where + bank;
        std::vector<int> reads;
        std::vector<int> writes;
        const int readStart = PassStart(lines, static_cast<int>(commit), 0x3C, blocks, reads);
        if (readStart < 0) return where + " not right after a whole read pass" + bank;
        if (PassStart(lines, readStart, 0x3B, blocks, writes) < 0)
            return where + " not right after a whole write pass" + bank;
        for (const int read : reads) {
            if (corrupted[static_cast<std::size_t>(read)])
                return where + " after a read back with a corrupted reply (line " + std::to_string(read + 1) + ")";
        }
    }
    return "";
}

// ---- One run -------------------------------------------------------------------------------

struct RunOutcome {
    int status = -1;
    std::string output;
};

RunOutcome RunConsoleUpdate(sim::VirtualSystem& system, const std::vector<uint8_t>& block)
{
    std::FILE* out = std::tmpfile();
    std::FILE* in = std::fopen("/dev/null", "r");
    RunOutcome outcome;
    {
        cli::TerminalView view(out, in, cli::TerminalSettings{true, false, false, true});
        cli::UpdateChoice choice;
        choice.virtualSystem = true;
        outcome.status = cli::RunUpdate(system, block.data(), view, choice, out, out);
    }
    std::rewind(out);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) outcome.output.append(chunk, n);
    std::fclose(out);
    std::fclose(in);
    return outcome;
}

// Empty when the drive holds its bank's image and reports the bank's new revision.
std::string CheckDriveUpdated(sim::VirtualDrive& drive, const Scenario& scenario, int bank)
{
    if (bank == kNoBank) return "was chosen for the update but belongs to no bank in use";
    const BankPlan& plan = scenario.banks[static_cast<std::size_t>(bank)];
    if (drive.flashState() != sim::FlashState::Good) return "flash is not good";
    const uint8_t* image = scenario.block.data() + offsetof(payload::PackageBlock, imageArea) + plan.start;
    if (plan.size <= 0 || std::memcmp(drive.flash(), image, static_cast<std::size_t>(plan.size)) != 0)
        return "flash does not hold bank " + std::to_string(bank + 1) + "'s image";
    if (plan.newRevision != drive.revision())
        return std::string("reports revision ") + drive.revision() + ", not " + plan.newRevision;
    return "";
}

TEST(UpdateProperty, ExitZeroOnlyWhenEveryChosenDriveHoldsItsNewFirmware)
{
    const uint32_t seed = EnvironmentNumber("NORVIK_PROPERTY_SEED", kDefaultSeed);
    const int runs = static_cast<int>(EnvironmentNumber("NORVIK_PROPERTY_RUNS", kDefaultRuns));
    std::printf("NORVIK_PROPERTY_SEED=%u NORVIK_PROPERTY_RUNS=%d\n", seed, runs);
    int exits[4] = {};  // runs that ended with each status

    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("NORVIK_PROPERTY_SEED=" + std::to_string(seed) + " run " + std::to_string(run));
        std::seed_seq runSeed{seed, static_cast<uint32_t>(run)};
        Random random(runSeed);
        Scenario scenario = DrawPackage(random);
        DrawDrives(random, scenario);

        sim::VirtualSystem system(sim::ClockMode::Virtual);
        std::vector<sim::DriveSetup> setups(scenario.drives.size());
        std::string description = scenario.settings;
        for (std::size_t i = 0; i < scenario.drives.size(); ++i) {
            std::string reason;
            ASSERT_TRUE(sim::ParseDriveSetup(scenario.drives[i], setups[i], reason))
                << scenario.drives[i] << ": " << reason;
            ASSERT_NE(system.AddDrive(setups[i]), nullptr);
            description += "\n  drive " + std::to_string(i) + ": " + scenario.drives[i];
        }
        SCOPED_TRACE(description);

        const RunOutcome outcome = RunConsoleUpdate(system, scenario.block);
        ASSERT_TRUE(outcome.status == 0 || outcome.status == 1 || outcome.status == 3)
            << "exit status " << outcome.status << "\n"
            << outcome.output;
        ++exits[outcome.status];
        const bool saysUpdated = outcome.output.find(texts::kUpdated) != std::string::npos;
        EXPECT_FALSE(saysUpdated && outcome.status != 0) << "exit " << outcome.status << "\n" << outcome.output;

        int chosenDrives = 0;
        for (int i = 0; i < system.driveCount(); ++i) {
            SCOPED_TRACE("drive " + std::to_string(i));
            sim::VirtualDrive& drive = system.drive(i);
            std::vector<TraceLine> lines;
            for (const std::string& line : drive.trace()) lines.push_back(ParseTraceLine(line));
            const int bank = scenario.driveBanks[static_cast<std::size_t>(i)];
            const int64_t bankSize = bank == kNoBank ? 0 : scenario.banks[static_cast<std::size_t>(bank)].size;
            EXPECT_EQ(CheckCommits(lines, CorruptedLines(lines, setups[static_cast<std::size_t>(i)]), bankSize), "");

            const bool chosen = std::any_of(lines.begin(), lines.end(), ChosenForUpdate);
            EXPECT_FALSE(bank == kNoBank && std::any_of(lines.begin(), lines.end(), IsWriteBuffer))
                << "a drive that no bank takes was written to\n"
                << outcome.output;
            chosenDrives += chosen ? 1 : 0;
            if (outcome.status == 0 && chosen) {
                EXPECT_EQ(CheckDriveUpdated(drive, scenario, bank), "") << "exit 0\n" << outcome.output;
            }
        }
        EXPECT_FALSE(outcome.status == 0 && chosenDrives == 0) << "exit 0 without a drive updated\n" << outcome.output;
    }
    std::printf("runs %d: exit 0 in %d, exit 1 in %d, exit 3 in %d\n", runs, exits[0], exits[1], exits[3]);
}

}  // namespace
