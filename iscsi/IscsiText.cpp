// Key=value text and the target's answers in the negotiation of a login or text request.

#include "iscsi/IscsiText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace iscsi {

namespace {

constexpr uint32_t kOurTime2Wait = 2;
constexpr uint32_t kOurTime2Retain = 0;
constexpr uint32_t kMaxTime2 = 3600;

// A comma-separated list of values contains this one.
bool ListContains(std::string_view list, std::string_view wanted)
{
    while (!list.empty()) {
        const size_t comma = list.find(',');
        if (list.substr(0, comma) == wanted) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool ParseBoolean(std::string_view text, bool& value)
{
    if (text == "Yes") {
        value = true;
        return true;
    }
    if (text == "No") {
        value = false;
        return true;
    }
    return false;
}

// A length in bytes within the range the protocol allows for segment and burst lengths.
bool ParseLength(std::string_view text, uint32_t& length)
{
    return ParseNumber(text, length) && length >= kMinDataSegmentLength && length <= kMaxDataSegmentLength;
}

// The initiator answered a key of ours or declined it: nothing to say back.
bool IsAnswerValue(std::string_view value)
{
    return value == "NotUnderstood" || value == "Reject" || value == "Irrelevant";
}

void AnswerDigest(std::string_view key, std::string_view value, TextWriter& reply)
{
    reply.Add(key, ListContains(value, "None") ? "None" : "Reject");
}

// Keys whose result is the smaller or larger number, or a boolean OR / AND.
bool AnswerNumeric(std::string_view key, std::string_view value, const TargetSettings& settings,
                   SessionParameters& parameters, LoginKeys& login, TextWriter& reply)
{
    uint32_t number = 0;
    const bool isLength = key == "MaxBurstLength" || key == "FirstBurstLength";
    if (isLength) {
        if (!ParseLength(value, number)) {
            login.badValue = true;
            reply.Add(key, "Reject");
            return true;
        }
        if (key == "MaxBurstLength") {
            parameters.maxBurstLength = std::min(number, settings.maxBurstLength);
            reply.AddNumber(key, parameters.maxBurstLength);
        } else {
            parameters.firstBurstLength = std::min(number, settings.firstBurstLength);
            reply.AddNumber(key, parameters.firstBurstLength);
        }
        return true;
    }
    const bool isTime = key == "DefaultTime2Wait" || key == "DefaultTime2Retain";
    const bool isOne = key == "MaxConnections" || key == "MaxOutstandingR2T";
    const bool isLevel = key == "ErrorRecoveryLevel";
    if (!isTime && !isOne && !isLevel) return false;
    if (!ParseNumber(value, number) || (isTime && number > kMaxTime2) || (isOne && number == 0) ||
        (isLevel && number > 2)) {
        login.badValue = true;
        reply.Add(key, "Reject");
        return true;
    }
    if (key == "DefaultTime2Wait")
        reply.AddNumber(key, std::max(number, kOurTime2Wait));
    else if (key == "DefaultTime2Retain")
        reply.AddNumber(key, std::min(number, kOurTime2Retain));
    else if (isOne)
        reply.AddNumber(key, 1);
    else
        reply.AddNumber(key, 0);
    return true;
}

bool AnswerBoolean(std::string_view key, std::string_view value, const TargetSettings& settings,
                   SessionParameters& parameters, LoginKeys& login, TextWriter& reply)
{
    const bool known = key == "InitialR2T" || key == "ImmediateData" || key == "DataPDUInOrder" ||
                       key == "DataSequenceInOrder" || key == "IFMarker" || key == "OFMarker";
    if (!known) return false;
    bool offered = false;
    if (!ParseBoolean(value, offered)) {
        login.badValue = true;
        reply.Add(key, "Reject");
        return true;
    }
    bool result = false;
    if (key == "InitialR2T") {
        result = offered || settings.initialR2T;  // OR: either side may insist on R2T
        parameters.initialR2T = result;
    } else if (key == "ImmediateData") {
        result = offered && settings.immediateData;  // AND
        parameters.immediateData = result;
    } else if (key == "DataPDUInOrder" || key == "DataSequenceInOrder") {
        result = true;  // OR with the target's Yes: data always arrive in order
    }
    reply.Add(key, result ? "Yes" : "No");
    return true;
}

// Keys that name the session's parties and kind.
bool AnswerLoginKey(std::string_view key, std::string_view value, const TargetSettings& settings, LoginKeys& login,
                    TextWriter& reply)
{
    if (key == "InitiatorName") {
        login.initiatorNamed = !value.empty();
    } else if (key == "TargetName") {
        login.targetNamed = true;
        login.targetKnown = value == std::string_view(settings.name);
    } else if (key == "SessionType") {
        if (value == "Discovery")
            login.discovery = true;
        else if (value == "Normal")
            login.discovery = false;
        else
            login.badValue = true;
    } else if (key == "AuthMethod") {
        login.authOffered = true;
        login.authNoneOffered = ListContains(value, "None");
        reply.Add(key, login.authNoneOffered ? "None" : "Reject");
    } else if (key != "InitiatorAlias") {
        return false;
    }
    return true;
}

}  // namespace

bool TextReader::Next(std::string_view& key, std::string_view& value)
{
    // Trailing padding zeros end the text.
    while (!text.empty() && text.front() == '\0') text.remove_prefix(1);
    if (text.empty() || isMalformed) return false;
    const size_t end = text.find('\0');
    if (end == std::string_view::npos) {
        isMalformed = true;
        return false;
    }
    const std::string_view pair = text.substr(0, end);
    text.remove_prefix(end + 1);
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        isMalformed = true;
        return false;
    }
    key = pair.substr(0, equals);
    value = pair.substr(equals + 1);
    return true;
}

void TextWriter::Add(std::string_view key, std::string_view value)
{
    const uint32_t needed = static_cast<uint32_t>(key.size() + 1 + value.size() + 1);
    if (isOverflowed || needed > kMaxTextSize - used) {
        isOverflowed = true;
        return;
    }
    std::copy(key.begin(), key.end(), bytes + used);
    used += static_cast<uint32_t>(key.size());
    bytes[used++] = '=';
    std::copy(value.begin(), value.end(), bytes + used);
    used += static_cast<uint32_t>(value.size());
    bytes[used++] = '\0';
}

void TextWriter::AddNumber(std::string_view key, uint32_t value)
{
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%u", value);
    Add(key, std::string_view(digits, static_cast<size_t>(length)));
}

bool ParseNumber(std::string_view text, uint32_t& number)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number, base);
    return error == std::errc() && stop == end;
}

void AnswerKey(std::string_view key, std::string_view value, const TargetSettings& settings,
               SessionParameters& parameters, LoginKeys& login, TextWriter& reply)
{
    if (IsAnswerValue(value)) return;
    if (AnswerLoginKey(key, value, settings, login, reply)) return;
    if (key == "HeaderDigest" || key == "DataDigest") return AnswerDigest(key, value, reply);
    if (key == "MaxRecvDataSegmentLength") {
        // Declarative: the most the initiator takes per PDU. The target declares its own.
        uint32_t length = 0;
        if (!ParseLength(value, length)) {
            login.badValue = true;
            return reply.Add(key, "Reject");
        }
        parameters.sendSegmentLength = length;
        return reply.AddNumber(key, settings.receiveSegmentLength);
    }
    if (AnswerNumeric(key, value, settings, parameters, login, reply)) return;
    if (AnswerBoolean(key, value, settings, parameters, login, reply)) return;
    if (key == "IFMarkInt" || key == "OFMarkInt") return reply.Add(key, "Irrelevant");
    reply.Add(key, "NotUnderstood");
}

}  // namespace iscsi
