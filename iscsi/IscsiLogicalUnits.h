#pragma once
// The logical units of the iSCSI target: each one a virtual drive. A command goes to its drive
// exactly as the initiator sent it (the first twelve bytes of the block, the initiator's
// direction and length), so that the drive's trace shows every command. The target answers for
// itself only what belongs to the target: REPORT LUNS, commands to a LUN it does not have, and,
// when the settings ask for it, the connection's first READ CAPACITY(10) where the drive has no
// medium: QEMU's iSCSI driver gives up on a LUN whose capacity read fails, so an empty drive
// would never reach the guest. The drive's own answer stays in its trace.

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "platform/System.h"
#include "sim/VirtualDrive.h"

namespace iscsi {

constexpr int kMaxLuns = 16;
constexpr uint16_t kNoLun = 0xFFFF;

// One command as the target hands it to a logical unit.
struct UnitCommand {
    uint8_t cdb[16];
    platform::DataDirection direction;
    uint8_t* data;           // the Data-Out bytes, or room for the Data-In bytes
    uint32_t length;         // the initiator's expected data transfer length
    double arrivedAt;        // when its SCSI Command PDU arrived, on the target's clock
    bool firstCapacityRead;  // the connection's first READ CAPACITY(10): an initiator's attach check
};

class LogicalUnits {
public:
    // Adds a drive as the next LUN (0, 1, ...); false when the table is full. The drive must
    // outlive the target and is used only from the target's thread.
    bool Add(sim::VirtualDrive& drive);
    int count() const { return unitCount; }
    sim::VirtualDrive* drive(uint16_t lun) const { return lun < unitCount ? units[lun].drive : nullptr; }

    void SetAnswerAttachCommands(bool answer) { answerAttachCommands = answer; }
    uint32_t attachAnswers() const { return attachAnswerCount; }

    // Carries out one command for lun at the given time on the target's clock.
    sim::CommandReply Execute(uint16_t lun, const UnitCommand& command, double now);

    // Told of every command a drive received (not the target's own answers), with the time it
    // was handed over (its arrival is in the command): for a log that times the drive's commands.
    using Observer = std::function<void(uint16_t lun, const UnitCommand& command, double now)>;
    void SetObserver(Observer observer) { commandObserver = std::move(observer); }

    // A logical unit reset: the drive resets as at power-on. False for an unknown LUN.
    bool Reset(uint16_t lun);

    // The drive of lun works on a command until this time (seconds on the target's clock).
    double busyUntil(uint16_t lun) const { return lun < unitCount ? units[lun].busyUntil : 0.0; }
    void SetBusyUntil(uint16_t lun, double time)
    {
        if (lun < unitCount) units[lun].busyUntil = time;
    }

private:
    struct Unit {
        sim::VirtualDrive* drive = nullptr;
        double busyUntil = 0.0;
    };

    sim::CommandReply ReportLuns(const UnitCommand& command) const;
    static sim::CommandReply AnswerMissingUnit(const UnitCommand& command);
    bool AnswerAttachCommand(const UnitCommand& command, sim::CommandReply& reply);

    std::array<Unit, kMaxLuns> units{};
    int unitCount = 0;
    bool answerAttachCommands = true;
    uint32_t attachAnswerCount = 0;
    Observer commandObserver;
};

}  // namespace iscsi
