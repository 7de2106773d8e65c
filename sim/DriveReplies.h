#pragma once
// How the drive's command handlers answer, shared by the files that hold them: the refusal of a
// field, another check condition, the move of a data-in reply into the host's buffer, and the
// writing of an answer's fields.

#include <algorithm>
#include <cstring>

#include "scsi/CommandOutcome.h"
#include "scsi/Fields.h"
#include "sim/VirtualDrive.h"

namespace sim {

inline void EndWithSense(CommandReply& reply, uint8_t key, uint8_t asc, uint8_t ascq)
{
    reply.hasSense = true;
    FillSense(reply.sense, key, asc, ascq);
}

inline void RefuseField(CommandReply& reply)
{
    EndWithSense(reply, scsi::kSenseIllegalRequest, scsi::kAscInvalidFieldInCdb, 0x00);
}

// Moves a data-in reply into the host's buffer: as much as the reply, the command's
// allocation and the host's transfer length allow.
inline void MoveIn(const CommandRequest& request, CommandReply& reply, const uint8_t* source, uint32_t available)
{
    if (request.direction != platform::DataDirection::In || request.data == nullptr) {
        return;
    }
    const uint32_t count = std::min(available, request.length);
    std::memcpy(request.data, source, count);
    reply.transferred = count;
    reply.offered = available;
}

// Writes the fields of one answer. The drive's values fit their fields; should a layout ever
// declare one too narrow, the command fails (5/24/00) rather than carry a cut value.
struct AnswerWriter {
    uint8_t* bytes;
    bool fits = true;
    void operator()(scsi::Field field, uint32_t value) { fits = scsi::Put(bytes, field, value) && fits; }
};

}  // namespace sim
