#include "frontends/cli/TransferCounter.h"

#include "scsi/Opcodes.h"

namespace cli {

void TransferCounter::Note(const platform::PassThroughRequest& request, bool delivered)
{
    const bool buffer = request.cdb[0] == scsi::opcode::kWriteBuffer || request.cdb[0] == scsi::opcode::kReadBuffer;
    if (!delivered || !buffer) return;
    bytes.fetch_add(request.transferred, std::memory_order_relaxed);
}

}  // namespace cli
