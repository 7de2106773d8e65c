#pragma once
// The text part of iSCSI: "key=value" pairs, each ended by a zero byte, carried by login and text
// requests, and the target's side of the negotiation of the operational keys. The target offers
// no digests, one connection per session, error recovery level 0, in-order data, and the burst
// and segment sizes of its settings.

#include <cstdint>
#include <string_view>

#include "iscsi/IscsiPdu.h"

namespace iscsi {

constexpr uint32_t kMaxTextSize = 8192;  // key=value text of one login or text PDU
constexpr int kMaxNameSize = 224;        // iSCSI names are at most 223 bytes
constexpr int kMaxPortalSize = 64;

// What the target offers in negotiation.
struct TargetSettings {
    char name[kMaxNameSize] = "iqn.2026-12.test.norvik:drives";
    char portal[kMaxPortalSize] = "127.0.0.1:3260,1";  // TargetAddress answered to SendTargets
    // The address in it once the target listens: the initiator's way to the target, which
    // differs from the loopback address when the initiator sits behind address translation.
    char portalAddress[kMaxPortalSize - 8] = "127.0.0.1";
    uint32_t receiveSegmentLength = 262144;  // the target's MaxRecvDataSegmentLength
    uint32_t maxBurstLength = 262144;
    uint32_t firstBurstLength = 65536;
    bool initialR2T = false;    // Yes: no unsolicited Data-Out PDUs
    bool immediateData = true;  // Yes: data may ride in the SCSI Command PDU
    // QEMU's iSCSI driver attaches a LUN only when its READ CAPACITY(10) succeeds; with this on,
    // the target answers a connection's first one in the place of a drive without a medium.
    bool answerAttachCommands = true;
    // Sense data as initiators may also meet it: in descriptor format (72h, 8 bytes) instead of
    // the drive's fixed format (70h).
    bool descriptorSense = false;
};

// What the two sides agreed on. Until negotiated: the protocol's defaults.
struct SessionParameters {
    uint32_t sendSegmentLength = kDefaultDataSegmentLength;  // the initiator's MaxRecvDataSegmentLength
    uint32_t maxBurstLength = 262144;
    uint32_t firstBurstLength = 65536;
    bool initialR2T = true;
    bool immediateData = true;
};

// Walks the key=value pairs of a data segment. A pair without "=", an empty key, or text that
// does not end with a zero byte makes the text malformed.
class TextReader {
public:
    TextReader(const uint8_t* data, uint32_t length) : text(reinterpret_cast<const char*>(data), length) {}
    // False at the end or on malformed text (see malformed()).
    bool Next(std::string_view& key, std::string_view& value);
    bool malformed() const { return isMalformed; }

private:
    std::string_view text;
    bool isMalformed = false;
};

// Builds key=value text into a fixed buffer; overflowed() when something did not fit.
class TextWriter {
public:
    void Add(std::string_view key, std::string_view value);
    void AddNumber(std::string_view key, uint32_t value);
    const uint8_t* data() const { return bytes; }
    uint32_t size() const { return used; }
    bool overflowed() const { return isOverflowed; }
    void Clear()
    {
        used = 0;
        isOverflowed = false;
    }

private:
    uint8_t bytes[kMaxTextSize];
    uint32_t used = 0;
    bool isOverflowed = false;
};

// Keys that only the login carries, as the initiator sent them so far.
struct LoginKeys {
    bool initiatorNamed = false;
    bool targetNamed = false;
    bool targetKnown = false;      // TargetName equals the target's name
    bool discovery = false;        // SessionType=Discovery
    bool authNoneOffered = false;  // AuthMethod lists None
    bool authOffered = false;      // AuthMethod was sent at all
    bool badValue = false;         // a key with a value outside its range or kind
};

// Answers one key of a login or text request into reply and updates parameters or the login
// keys. Keys the target does not know are answered NotUnderstood.
void AnswerKey(std::string_view key, std::string_view value, const TargetSettings& settings,
               SessionParameters& parameters, LoginKeys& login, TextWriter& reply);

// Reads a numerical value as iSCSI writes it: decimal, or hexadecimal after "0x"; false for
// anything else or a value beyond 32 bits.
bool ParseNumber(std::string_view text, uint32_t& number);

}  // namespace iscsi
