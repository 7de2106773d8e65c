#pragma once
// Reading the virtual drive's command trace of a firmware download: each line back into its
// command block, direction, length and outcome, and the questions the download tests ask of it.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace downloadtest {

constexpr uint32_t kBlockSize = 16384;
constexpr int kImageBlocks = 64;
constexpr uint32_t kImageSize = kBlockSize * kImageBlocks;

struct TracedCommand {
    uint8_t cdb[12] = {};
    std::string direction;
    uint32_t length = 0;
    std::string outcome;  // "good", "sense K/AA/QQ" or "failed"

    uint8_t opcode() const { return cdb[0]; }
    uint8_t control() const { return cdb[9]; }
    uint32_t offset() const { return uint32_t(cdb[3]) << 16 | uint32_t(cdb[4]) << 8 | cdb[5]; }
    bool good() const { return outcome == "good"; }
    bool isCommit() const { return opcode() == 0x3B && (control() == 0x80 || control() == 0xA0); }
    bool isImageWrite() const { return opcode() == 0x3B && control() == 0x00 && length == kBlockSize; }
    bool isImageRead() const { return opcode() == 0x3C && length == kBlockSize; }
};

inline TracedCommand ParseTraceLine(const std::string& line)
{
    TracedCommand command;
    for (int i = 0; i < 12; ++i) command.cdb[i] = uint8_t(std::stoul(line.substr(size_t(i) * 2, 2), nullptr, 16));
    const size_t directionEnd = line.find(' ', 25);
    command.direction = line.substr(25, directionEnd - 25);
    const size_t lengthEnd = line.find(' ', directionEnd + 1);
    command.length = uint32_t(std::stoul(line.substr(directionEnd + 1, lengthEnd - directionEnd - 1)));
    command.outcome = line.substr(lengthEnd + 1);
    return command;
}

inline std::vector<TracedCommand> ParseTrace(const std::vector<std::string>& lines)
{
    std::vector<TracedCommand> commands;
    for (const std::string& line : lines) commands.push_back(ParseTraceLine(line));
    return commands;
}

// Index of the first commit in the trace, or -1.
inline int FindCommit(const std::vector<TracedCommand>& commands)
{
    for (size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].isCommit()) return int(i);
    }
    return -1;
}

inline int CountIf(const std::vector<TracedCommand>& commands, bool (TracedCommand::*test)() const)
{
    int count = 0;
    for (const TracedCommand& command : commands) count += (command.*test)();
    return count;
}

// Deterministic image whose blocks all differ from each other, each block's second half zeros
// as in padded firmware: half a block that never moved would match a zeroed buffer there.
inline std::vector<uint8_t> MakeImage(size_t size)
{
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i)
        image[i] = i % kBlockSize < kBlockSize / 2 ? uint8_t(i * 131 + (i / kBlockSize) * 17 + (i >> 9)) : 0;
    return image;
}

}  // namespace downloadtest
