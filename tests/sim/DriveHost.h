#pragma once
// What the tests of the virtual drive need of a host: command blocks written out byte by byte,
// one call that sends a block, and the outcome of a command in the words of the trace.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/VirtualDrive.h"

namespace simtest {

using platform::DataDirection;

struct Cdb {
    uint8_t bytes[platform::kCdbSize] = {};
};

// A command block from its bytes; the rest of the twelve stay zero.
inline Cdb Block(std::initializer_list<uint8_t> bytes)
{
    Cdb cdb;
    int i = 0;
    for (uint8_t byte : bytes) cdb.bytes[i++] = byte;
    return cdb;
}

// WRITE BUFFER mode 5 buffer 1 and READ BUFFER mode 1 buffer 1, offset and length big-endian.
inline Cdb WriteBufferCdb(uint32_t offset, uint32_t length, uint8_t control)
{
    return Block({0x3B, 0x05, 0x01, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset), uint8_t(length >> 16),
                  uint8_t(length >> 8), uint8_t(length), control});
}

inline Cdb ReadBufferCdb(uint32_t offset, uint32_t length)
{
    return Block({0x3C, 0x01, 0x01, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset), uint8_t(length >> 16),
                  uint8_t(length >> 8), uint8_t(length)});
}

inline sim::CommandReply Send(sim::VirtualDrive& drive, const Cdb& cdb, DataDirection direction = DataDirection::None,
                              uint8_t* data = nullptr, uint32_t length = 0)
{
    sim::CommandRequest request{};
    std::memcpy(request.cdb, cdb.bytes, sizeof request.cdb);
    request.direction = direction;
    request.data = data;
    request.length = length;
    return drive.Execute(request);
}

inline sim::CommandReply SendOut(sim::VirtualDrive& drive, const Cdb& cdb, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> copy = data;
    return Send(drive, cdb, DataDirection::Out, copy.data(), static_cast<uint32_t>(copy.size()));
}

// "good", "sense 2/04/01" or "failed", as in the trace.
inline std::string Outcome(const sim::CommandReply& reply)
{
    if (!reply.delivered) return "failed";
    if (!reply.hasSense) return "good";
    char text[32];
    std::snprintf(text, sizeof text, "sense %X/%02X/%02X", reply.sense[2] & 0x0F, reply.sense[12], reply.sense[13]);
    return text;
}

inline std::string TestUnitReady(sim::VirtualDrive& drive) { return Outcome(Send(drive, Block({0x00}))); }

// Polls TEST UNIT READY until the drive stops reporting that it is becoming ready or has a
// unit attention, at most 100 times; returns the last outcome.
inline std::string PollUntilSettled(sim::VirtualDrive& drive)
{
    std::string outcome;
    for (int i = 0; i < 100; ++i) {
        outcome = TestUnitReady(drive);
        if (outcome != "sense 2/04/01" && outcome.rfind("sense 6/", 0) != 0) break;
    }
    return outcome;
}

// A deterministic image whose bytes differ from block to block.
inline std::vector<uint8_t> MakeImage(uint32_t size)
{
    std::vector<uint8_t> image(size);
    for (uint32_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 14));
    return image;
}

// A profile packet with the given four-byte header key and a six-byte header.
inline std::vector<uint8_t> MakeProfile(std::initializer_list<uint8_t> key, uint32_t length)
{
    std::vector<uint8_t> packet(length, 0x5A);
    int i = 0;
    for (uint8_t byte : key) packet[i++] = byte;
    return packet;
}

// Writes image blocks of 16 KiB from offset 0 with control 00h; false at the first refusal.
inline bool WriteImage(sim::VirtualDrive& drive, const std::vector<uint8_t>& image, uint32_t bytes)
{
    constexpr uint32_t kBlock = 16384;
    for (uint32_t offset = 0; offset + kBlock <= bytes; offset += kBlock) {
        std::vector<uint8_t> block(image.begin() + offset, image.begin() + offset + kBlock);
        if (Outcome(SendOut(drive, WriteBufferCdb(offset, kBlock, 0x00), block)) != "good") {
            return false;
        }
    }
    return true;
}

inline std::string Commit(sim::VirtualDrive& drive, uint8_t control = 0x80)
{
    return Outcome(SendOut(drive, WriteBufferCdb(0, 0, control), std::vector<uint8_t>(16, 0x11)));
}

inline std::string InquiryRevision(sim::VirtualDrive& drive)
{
    uint8_t data[96] = {};
    Send(drive, Block({0x12, 0x00, 0x00, 0x00, 96}), DataDirection::In, data, sizeof data);
    return std::string(reinterpret_cast<char*>(data + 32), 4);
}

}  // namespace simtest
