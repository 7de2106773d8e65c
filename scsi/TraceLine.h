#pragma once
// The trace line of one command, as the drive model and the console's recording write it:
// "<24 hex digits of the command block> <in|out|none> <length> <outcome>", where the outcome is
// "good", "short N" (the data phase moved only N of the host's bytes), "sense K/AA/QQ" in hex, or
// "failed" (the request failed as such). Tools compare these lines between runs, so their form
// is fixed here once.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "scsi/DataDirection.h"

namespace scsi {

constexpr int kTraceCdbSize = 12;

// One command and how it ended.
struct TracedCommand {
    const uint8_t* cdb = nullptr;  // kTraceCdbSize bytes
    DataDirection direction = DataDirection::None;
    uint32_t length = 0;  // the host's transfer length
    bool delivered = false;
    uint32_t transferred = 0;
    const uint8_t* sense = nullptr;  // the sense bytes; null (or a length of 0) when there are none
    uint32_t senseLength = 0;
};

// Writes the line into line (size bytes, terminating zero included; a longer line is cut);
// returns its length.
std::size_t WriteTraceLine(const TracedCommand& command, char* line, std::size_t size);

// Appends printf-style text to line (size bytes) at used, never past size; returns the new
// length. For what a writer adds around a trace line.
template <typename... Arguments>
std::size_t AppendToLine(char* line, std::size_t size, std::size_t used, const char* format, Arguments... arguments)
{
    if (used >= size) return used;
    const int written = std::snprintf(line + used, size - used, format, arguments...);
    return written < 0 ? used : std::min(size - 1, used + static_cast<std::size_t>(written));
}

}  // namespace scsi
