#pragma once
// A minimal iSCSI initiator for the tests of the target: it writes request PDUs, reads the
// target's PDUs back, and knows the login and the usual commands. It talks either straight to
// a Connection (bytes in, bytes out, a clock the test moves) or over a stream socket.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "iscsi/IscsiConnection.h"
#include "iscsi/IscsiPdu.h"

namespace iscsitest {

using namespace iscsi;

struct Pdu {
    Bhs header;
    std::vector<uint8_t> data;

    Opcode opcode() const { return header.opcode(); }
    uint32_t taskTag() const { return header.Get32(field::kTaskTag); }
    std::string text() const { return std::string(data.begin(), data.end()); }
};

// key=value pairs, each ended by a zero byte.
inline std::vector<uint8_t> Text(std::initializer_list<std::pair<std::string_view, std::string_view>> pairs)
{
    std::vector<uint8_t> bytes;
    for (const auto& [key, value] : pairs) {
        bytes.insert(bytes.end(), key.begin(), key.end());
        bytes.push_back('=');
        bytes.insert(bytes.end(), value.begin(), value.end());
        bytes.push_back('\0');
    }
    return bytes;
}

// The value of key in a text data segment, or "(none)".
inline std::string ValueOf(const Pdu& pdu, std::string_view key)
{
    const std::string text = pdu.text();
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\0', at);
        const std::string pair = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (pair.size() > key.size() && pair.compare(0, key.size(), key) == 0 && pair[key.size()] == '=') {
            return pair.substr(key.size() + 1);
        }
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return "(none)";
}

inline std::vector<uint8_t> Serialise(const Bhs& header, const std::vector<uint8_t>& data)
{
    Bhs copy = header;
    copy.SetDataLength(static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> bytes(copy.bytes, copy.bytes + kBhsSize);
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.resize(kBhsSize + PaddedLength(static_cast<uint32_t>(data.size())), 0);
    return bytes;
}

// Splits a byte stream into whole PDUs; leftover bytes stay in stream.
inline std::vector<Pdu> ParsePdus(std::vector<uint8_t>& stream)
{
    std::vector<Pdu> pdus;
    size_t at = 0;
    while (stream.size() - at >= kBhsSize) {
        Pdu pdu;
        std::memcpy(pdu.header.bytes, stream.data() + at, kBhsSize);
        const size_t total = kBhsSize + pdu.header.ahsLength() + PaddedLength(pdu.header.dataLength());
        if (stream.size() - at < total) break;
        const uint8_t* data = stream.data() + at + kBhsSize + pdu.header.ahsLength();
        pdu.data.assign(data, data + pdu.header.dataLength());
        pdus.push_back(std::move(pdu));
        at += total;
    }
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(at));
    return pdus;
}

// Request builders. Sequence numbers are the initiator's: the caller passes them in.
inline Bhs LoginRequest(uint8_t currentStage, uint8_t nextStage, bool transit, uint32_t taskTag, uint32_t commandSn)
{
    Bhs header;
    header.Start(Opcode::LoginRequest,
                 static_cast<uint8_t>((transit ? kTransitBit : 0) | (currentStage << 2) | (transit ? nextStage : 0)));
    header.bytes[0] |= kImmediateBit;
    const uint8_t isid[6] = {0x80, 0x12, 0x34, 0x56, 0x00, 0x01};
    std::memcpy(header.bytes + field::kIsid, isid, sizeof isid);
    header.Set32(field::kTaskTag, taskTag);
    header.Set32(field::kCommandSn, commandSn);
    return header;
}

inline Bhs CommandRequest(std::initializer_list<uint8_t> cdb, uint8_t directionBits, uint32_t length, uint32_t taskTag,
                          uint32_t commandSn, uint16_t lun = 0, bool final = true)
{
    Bhs header;
    header.Start(Opcode::ScsiCommand, static_cast<uint8_t>((final ? kFinalBit : 0) | directionBits | 0x01));
    EncodeLun(lun, header.bytes + field::kLun);
    header.Set32(field::kTaskTag, taskTag);
    header.Set32(field::kExpectedLength, length);
    header.Set32(field::kCommandSn, commandSn);
    int index = 0;
    for (uint8_t byte : cdb) header.bytes[field::kCdb + index++] = byte;
    return header;
}

inline Bhs DataOutRequest(uint32_t taskTag, uint32_t transferTag, uint32_t offset, uint32_t dataSn, bool final,
                          uint16_t lun = 0)
{
    Bhs header;
    header.Start(Opcode::DataOut, final ? kFinalBit : 0);
    EncodeLun(lun, header.bytes + field::kLun);
    header.Set32(field::kTaskTag, taskTag);
    header.Set32(field::kTransferTag, transferTag);
    header.Set32(field::kDataSn, dataSn);
    header.Set32(field::kBufferOffset, offset);
    return header;
}

inline Bhs TaskRequest(TaskFunction function, uint32_t taskTag, uint32_t referencedTag, uint32_t commandSn,
                       uint16_t lun = 0)
{
    Bhs header;
    header.Start(Opcode::TaskRequest, static_cast<uint8_t>(kFinalBit | static_cast<uint8_t>(function)));
    header.bytes[0] |= kImmediateBit;
    EncodeLun(lun, header.bytes + field::kLun);
    header.Set32(field::kTaskTag, taskTag);
    header.Set32(field::kReferencedTag, referencedTag);
    header.Set32(field::kCommandSn, commandSn);
    return header;
}

inline Bhs SimpleRequest(Opcode opcode, uint32_t taskTag, uint32_t commandSn, bool immediate = false)
{
    Bhs header;
    header.Start(opcode, kFinalBit);
    if (immediate) header.bytes[0] |= kImmediateBit;
    header.Set32(field::kTaskTag, taskTag);
    header.Set32(field::kTransferTag, kReservedTag);
    header.Set32(field::kCommandSn, commandSn);
    return header;
}

// The keys of a normal login as QEMU's initiator sends them, with a few to override.
inline std::vector<uint8_t> OperationalKeys(std::string_view initialR2T = "No", std::string_view immediateData = "Yes",
                                            std::string_view receiveLength = "262144",
                                            std::string_view burstLength = "262144")
{
    return Text({{"HeaderDigest", "None,CRC32C"},
                 {"DataDigest", "None"},
                 {"InitialR2T", initialR2T},
                 {"ImmediateData", immediateData},
                 {"MaxBurstLength", burstLength},
                 {"FirstBurstLength", "262144"},
                 {"MaxRecvDataSegmentLength", receiveLength},
                 {"MaxConnections", "1"},
                 {"DataPDUInOrder", "Yes"},
                 {"DataSequenceInOrder", "Yes"},
                 {"DefaultTime2Wait", "2"},
                 {"DefaultTime2Retain", "0"},
                 {"MaxOutstandingR2T", "1"},
                 {"ErrorRecoveryLevel", "0"},
                 {"IFMarker", "No"},
                 {"OFMarker", "No"}});
}

// Talks straight to a Connection: what the initiator sends is received at once, and the test
// moves the clock.
class DirectLink {
public:
    explicit DirectLink(Connection& connection) : connection(connection) {}

    double now = 100.0;

    void Send(const Bhs& header, const std::vector<uint8_t>& data = {}) { SendBytes(Serialise(header, data)); }
    void SendBytes(const std::vector<uint8_t>& bytes)
    {
        connection.Receive(bytes.data(), bytes.size(), now);
        Collect();
    }
    void Advance(double seconds)
    {
        now += seconds;
        connection.Advance(now);
        Collect();
    }
    // Every whole PDU the target has sent since the last call.
    std::vector<Pdu> Take()
    {
        Collect();
        return ParsePdus(stream);
    }

private:
    void Collect()
    {
        stream.insert(stream.end(), connection.output(), connection.output() + connection.outputSize());
        connection.Sent(connection.outputSize());
    }

    Connection& connection;
    std::vector<uint8_t> stream;
};

// Talks to a target over a connected stream socket, waiting at most a few seconds for answers.
class SocketLink {
public:
    explicit SocketLink(int socket) : socket(socket) {}
    ~SocketLink()
    {
        if (socket >= 0) close(socket);
    }
    SocketLink(const SocketLink&) = delete;
    SocketLink& operator=(const SocketLink&) = delete;

    bool Send(const Bhs& header, const std::vector<uint8_t>& data = {})
    {
        const std::vector<uint8_t> bytes = Serialise(header, data);
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count <= 0) return false;
            sent += static_cast<size_t>(count);
        }
        return true;
    }
    // The next PDU; false when none came in time or the target closed the connection.
    bool Receive(Pdu& pdu, int timeoutMs = 5000)
    {
        for (;;) {
            std::vector<Pdu> pdus = ParsePdus(stream);
            pending.insert(pending.end(), pdus.begin(), pdus.end());
            if (!pending.empty()) {
                pdu = pending.front();
                pending.erase(pending.begin());
                return true;
            }
            pollfd polled{socket, POLLIN, 0};
            if (poll(&polled, 1, timeoutMs) <= 0) return false;
            uint8_t chunk[65536];
            const ssize_t count = recv(socket, chunk, sizeof chunk, 0);
            if (count <= 0) return false;
            stream.insert(stream.end(), chunk, chunk + count);
        }
    }
    // True when the target closed the connection within the time.
    bool Closed(int timeoutMs = 5000)
    {
        pollfd polled{socket, POLLIN, 0};
        if (poll(&polled, 1, timeoutMs) <= 0) return false;
        uint8_t byte = 0;
        return recv(socket, &byte, 1, 0) == 0;
    }

private:
    int socket;
    std::vector<uint8_t> stream;
    std::vector<Pdu> pending;
};

}  // namespace iscsitest
