#pragma once
// The sequence on the virtual system, over an in-memory copy of the program's own package with
// a synthetic firmware packed into its image area, shown through a scripted view.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ScriptedView.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"
#include "update/QueuedWorkerThreads.h"
#include "update/UpdateSequence.h"

namespace sequencetest {

// The entry of a virtual drive of the package's model at the automatic address of drive n.
inline std::string TalvoreEntry(int target, const char* root, const char* revision)
{
    char entry[96];
    std::snprintf(entry, sizeof entry, " 0-0-%d-0 %sTALVORE DVDRW KRX-407T   %s", target, root, revision);
    return entry;
}

inline const char kNotice[] =
    "This flash utility only supports TALVORE DVDRW KRX-407T drive.\n\n"
    "NOTICE : \n\n"
    "1> Please REMOVE disc and close all applications before running this utility !\n"
    "2> Don't turn off the system while flash is in progress. \n"
    "\nDo you wish to continue ?";

inline const char kNoMatchHead[] =
    "No matched drive detected !\n"
    "This utility is only for TALVORE DVDRW KRX-407T drive.\n\n"
    "Detected drives :\n";

inline const char kUpdateFailed[] = "Unable to flash firmware. Please contact with your vendor !";
inline const char kUpdated[] = "Firmware has been updated successfully !";

// The virtual system, and the advice a system gives when it refused the process a right.
class TestSystem : public sim::VirtualSystem {
public:
    const char* PermissionAdvice() const override { return advice; }
    const char* advice = nullptr;
};

// Whether every expected call appears in calls, in this order (others may come between).
inline bool ContainsInOrder(const std::vector<std::string>& calls, const std::vector<std::string>& expected)
{
    std::size_t next = 0;
    for (const std::string& call : calls) {
        if (next < expected.size() && call == expected[next]) ++next;
    }
    return next == expected.size();
}

class SequenceFixture : public ::testing::Test {
protected:
    static constexpr uint8_t kWriteBuffer = 0x3B;

    SequenceFixture() : block(std::make_unique<payload::PackageBlock>())
    {
        view.workerThreads = &workerThreads;
        std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
        // A synthetic firmware: a byte pattern that no placeholder begins with.
        for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
            block->imageArea[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
    }

    ~SequenceFixture() override { sequence.reset(); }

    void Set(SettingKey key, char digit)
    {
        const payload::EntryLocation& entry = payload::kConfigurationEntries[static_cast<int>(key)];
        Bytes()[entry.offset + entry.key.size()] = static_cast<uint8_t>(digit);
    }

    // A start or size value of ten digits.
    void SetNumber(std::size_t valueOffset, long value)
    {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%010ld", value);
        std::memcpy(Bytes() + valueOffset, digits, payload::kNumberDigits);
    }

    // The value of the bank's revision entry (same length as the delivered "RN08").
    void SetNewRevision(int bank, const char* revision)
    {
        const payload::EntryLocation& entry = payload::kRevisionEntries[bank];
        std::memcpy(Bytes() + entry.offset + entry.key.size(), revision, std::strlen(revision));
    }

    void SetCaption(const char* caption)
    {
        std::memset(block->caption, 0, sizeof block->caption);
        std::memcpy(block->caption, caption, std::strlen(caption));
    }

    sim::VirtualDrive& AddDrive(const char* text = "")
    {
        std::string reason;
        sim::VirtualDrive* drive = system.AddDrive(text, reason);
        EXPECT_NE(drive, nullptr) << reason;
        return *drive;
    }

    UpdateSequence& MakeSequence()
    {
        sequence = std::make_unique<UpdateSequence>(system, Bytes(), view, workerThreads, madeUpProfiles);
        return *sequence;
    }

    UpdateSequence& StartUp()
    {
        MakeSequence().StartUp();
        return *sequence;
    }

    bool UpdateUnderway() const
    {
        const UpdateSequence::Phase phase = sequence->CurrentPhase();
        return phase == UpdateSequence::Phase::Preparing || phase == UpdateSequence::Phase::Programming ||
               phase == UpdateSequence::Phase::Finishing;
    }

    // Handles the workers' ends on this thread, as a front end's loop does, until the update is
    // over. False when it is not over within a minute.
    bool RunUntilUpdateOver()
    {
        return PumpUntil([this] { return !UpdateUnderway(); });
    }

    template <typename Condition>
    bool PumpUntil(Condition condition)
    {
        using Clock = QueuedWorkerThreads::Clock;
        const Clock::time_point giveUp = Clock::now() + std::chrono::minutes(1);
        while (!condition()) {
            if (Clock::now() > giveUp) return false;
            workerThreads.WaitForEnds(Clock::now() + std::chrono::milliseconds(10));
        }
        return true;
    }

    static int CountOpcode(const sim::VirtualDrive& drive, uint8_t opcode)
    {
        char prefix[3];
        std::snprintf(prefix, sizeof prefix, "%02X", opcode);
        int count = 0;
        for (const std::string& line : drive.trace()) count += line.compare(0, 2, prefix) == 0 ? 1 : 0;
        return count;
    }

    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(block.get()); }

    std::unique_ptr<payload::PackageBlock> block;
    TestSystem system;
    ScriptedView view;
    QueuedWorkerThreads workerThreads;
    // The drives are models; a test sets Refused to stand for the machine's own drives.
    MadeUpProfiles madeUpProfiles = MadeUpProfiles::Allowed;
    std::unique_ptr<UpdateSequence> sequence;
};

}  // namespace sequencetest
