#pragma once
// The direction of a command's data phase, as the pass-through requests, the drive model and the
// command traces name it.

#include <cstdint>

namespace scsi {

// The values are those of the pass-through interface.
enum class DataDirection : uint8_t { Out = 0, In = 1, None = 2 };

// The direction as command traces write it.
constexpr const char* DirectionName(DataDirection direction)
{
    switch (direction) {
    case DataDirection::Out: return "out";
    case DataDirection::In: return "in";
    case DataDirection::None: return "none";
    }
    return "none";
}

}  // namespace scsi
