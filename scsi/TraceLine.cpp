// The trace line of one command.

#include "scsi/TraceLine.h"

#include "scsi/Sense.h"

namespace scsi {

namespace {

// The outcome: sense of a known format ranks before a short data phase.
std::size_t AppendOutcome(const TracedCommand& command, char* line, std::size_t size, std::size_t used)
{
    if (!command.delivered) return AppendToLine(line, size, used, "%s", "failed");
    SenseFields sense;
    if (NormaliseSense(command.sense, command.sense != nullptr ? command.senseLength : 0, sense))
        return AppendToLine(line, size, used, "sense %X/%02X/%02X", unsigned{sense.key}, unsigned{sense.asc},
                            unsigned{sense.ascq});
    const uint32_t asked = command.direction == DataDirection::None ? 0 : command.length;
    if (command.transferred < asked) return AppendToLine(line, size, used, "short %u", command.transferred);
    return AppendToLine(line, size, used, "%s", "good");
}

}  // namespace

std::size_t WriteTraceLine(const TracedCommand& command, char* line, std::size_t size)
{
    if (size == 0) return 0;
    line[0] = '\0';
    std::size_t used = 0;
    for (int index = 0; index < kTraceCdbSize; ++index)
        used = AppendToLine(line, size, used, "%02X", command.cdb[index]);
    used = AppendToLine(line, size, used, " %s %u ", DirectionName(command.direction), command.length);
    return AppendOutcome(command, line, size, used);
}

}  // namespace scsi
