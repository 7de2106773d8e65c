#include "sim/DriveSetup.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace sim {

namespace {

using Handler = bool (*)(std::string_view value, DriveSetup& setup, std::string& reason);

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool Fail(std::string& reason, std::string text)
{
    reason = std::move(text);
    return false;
}

// A space-padded text field of the inquiry data: printable characters, at most width of them.
bool ReadText(std::string_view value, int width, char* field, std::string& reason)
{
    if (value.size() > static_cast<size_t>(width)) {
        return Fail(reason, Quoted(value) + " has more than " + std::to_string(width) + " characters");
    }
    for (char c : value) {
        if (c < 0x20 || c > 0x7E) return Fail(reason, Quoted(value) + " holds a control character");
    }
    std::memset(field, ' ', width);
    std::memcpy(field, value.data(), value.size());
    field[width] = '\0';
    return true;
}

template <typename Number>
bool ReadInteger(std::string_view value, Number low, Number high, Number& out, std::string& reason)
{
    long long number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
        number < static_cast<long long>(low) || number > static_cast<long long>(high)) {
        return Fail(reason, Quoted(value) + " is not a whole number from " + std::to_string(low) + " to " +
                                std::to_string(high));
    }
    out = static_cast<Number>(number);
    return true;
}

bool ReadSeconds(std::string_view value, double& out, std::string& reason)
{
    double number = 0.0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || !std::isfinite(number) ||
        number < 0.0 || number > 1e9) {
        return Fail(reason, Quoted(value) + " is not a number from 0 to 1e9");
    }
    out = number;
    return true;
}

bool ReadChoice(std::string_view value, std::string_view no, std::string_view yes, bool& out, std::string& reason)
{
    if (value == no || value == yes) {
        out = value == yes;
        return true;
    }
    return Fail(reason, Quoted(value) + " is neither " + std::string(no) + " nor " + std::string(yes));
}

bool ReadHexByte(std::string_view digits, uint8_t& out)
{
    unsigned number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
    if (digits.size() != 2 || error != std::errc() || end != digits.data() + digits.size()) {
        return false;
    }
    out = static_cast<uint8_t>(number);
    return true;
}

bool ReadChip(std::string_view value, DriveSetup& setup, std::string& reason)
{
    uint8_t key[4] = {};
    if (value != "none") {
        bool good = value.size() == 8;
        for (int i = 0; good && i < 4; ++i) good = ReadHexByte(value.substr(i * 2, 2), key[i]);
        if (!good) return Fail(reason, Quoted(value) + " is neither 8 hex digits nor none");
    }
    std::memset(setup.drive.flashId, 0, sizeof setup.drive.flashId);
    std::memcpy(setup.drive.flashId, key, sizeof key);
    return true;
}

bool ReadVendorSpecific(std::string_view value, DriveSetup& setup, std::string& reason)
{
    char field[17];
    if (!ReadText(value, 16, field, reason)) return false;
    std::memcpy(setup.drive.vendorSpecific, field, 16);
    return true;
}

// The unit serial number: taken as written, without padding.
bool ReadSerial(std::string_view value, DriveSetup& setup, std::string& reason)
{
    if (value.empty() || value.size() > static_cast<size_t>(kMaxSerialLength)) {
        return Fail(reason, Quoted(value) + " is not 1 to " + std::to_string(kMaxSerialLength) + " characters");
    }
    for (char c : value) {
        if (c < 0x20 || c > 0x7E) return Fail(reason, Quoted(value) + " holds a control character");
    }
    std::memset(setup.drive.serial, 0, sizeof setup.drive.serial);
    std::memcpy(setup.drive.serial, value.data(), value.size());
    return true;
}

bool ReadTiming(std::string_view value, DriveSetup& setup, std::string& reason)
{
    if (value == "instant") {
        setup.drive.timing = DriveTiming::Instant();
        setup.drive.becomingReadyPolls = kDefaultBecomingReadyPolls;
    } else if (value == "realistic") {
        setup.drive.timing = DriveTiming::Realistic();
        setup.drive.becomingReadyPolls = kRealisticBecomingReadyPolls;
    } else {
        return Fail(reason, Quoted(value) + " is neither instant nor realistic");
    }
    return true;
}

bool ReadAddressKind(std::string_view value, DriveSetup& setup, std::string& reason)
{
    if (value == "auto")
        setup.addressKind = AddressKind::Auto;
    else if (value == "given")
        setup.addressKind = AddressKind::Given;
    else if (value == "none")
        setup.addressKind = AddressKind::QueryFails;
    else if (value == "empty")
        setup.addressKind = AddressKind::Empty;
    else
        return Fail(reason, Quoted(value) + " is not auto, given, none or empty");
    return true;
}

bool ReadAddressPart(std::string_view value, int16_t& part, DriveSetup& setup, std::string& reason)
{
    if (!ReadInteger<int16_t>(value, 0, 255, part, reason)) return false;
    setup.addressKind = AddressKind::Given;
    return true;
}

bool ReadRoot(std::string_view value, DriveSetup& setup, std::string& reason)
{
    if (value.empty() || value.size() >= sizeof setup.root) {
        return Fail(reason, Quoted(value) + " is not 1 to " + std::to_string(sizeof setup.root - 1) + " characters");
    }
    std::memset(setup.root, 0, sizeof setup.root);
    std::memcpy(setup.root, value.data(), value.size());
    return true;
}

bool ReadFaultEntry(std::string_view value, DriveSetup& setup, std::string& reason)
{
    if (setup.faultCount == kMaxFaults) {
        return Fail(reason, "more than " + std::to_string(kMaxFaults) + " faults");
    }
    Fault fault;
    if (!ParseFault(value, fault, reason)) return false;
    setup.faults[setup.faultCount++] = fault;
    return true;
}

struct Key {
    std::string_view name;
    Handler read;
};

const Key kKeys[] = {
    {"vendor", [](auto v, auto& s, auto& r) { return ReadText(v, 8, s.drive.vendor, r); }},
    {"product", [](auto v, auto& s, auto& r) { return ReadText(v, 16, s.drive.product, r); }},
    {"rev", [](auto v, auto& s, auto& r) { return ReadText(v, 4, s.drive.revision, r); }},
    {"newrev", [](auto v, auto& s, auto& r) { return ReadText(v, 4, s.drive.newRevision, r); }},
    {"deadrev", [](auto v, auto& s, auto& r) { return ReadText(v, 4, s.drive.damagedRevision, r); }},
    {"vspec", ReadVendorSpecific},
    {"serial", ReadSerial},
    {"chip", ReadChip},
    {"disc", [](auto v, auto& s, auto& r) { return ReadChoice(v, "0", "1", s.drive.discPresent, r); }},
    {"tray", [](auto v, auto& s, auto& r) { return ReadChoice(v, "closed", "open", s.drive.trayOpen, r); }},
    {"lock",
     [](auto v, auto& s, auto& r) { return ReadChoice(v, "allowed", "prevented", s.drive.mediumRemovalPrevented, r); }},
    {"profile",
     [](auto v, auto& s, auto& r) {
         bool unneeded = false;
         if (!ReadChoice(v, "needed", "unneeded", unneeded, r)) return false;
         s.drive.needsProfile = !unneeded;
         return true;
     }},
    {"image",
     [](auto v, auto& s, auto& r) { return ReadInteger<uint32_t>(v, 1, kDriveBufferSize, s.drive.imageSize, r); }},
    {"polls",
     [](auto v, auto& s, auto& r) { return ReadInteger<uint32_t>(v, 0, 1000000, s.drive.becomingReadyPolls, r); }},
    {"timing", ReadTiming},
    {"latency", [](auto v, auto& s, auto& r) { return ReadSeconds(v, s.drive.timing.commandSeconds, r); }},
    {"rate", [](auto v, auto& s, auto& r) { return ReadSeconds(v, s.drive.timing.bytesPerSecond, r); }},
    {"commit", [](auto v, auto& s, auto& r) { return ReadSeconds(v, s.drive.timing.commitSeconds, r); }},
    {"address", ReadAddressKind},
    {"host", [](auto v, auto& s, auto& r) { return ReadAddressPart(v, s.address.host, s, r); }},
    {"path", [](auto v, auto& s, auto& r) { return ReadAddressPart(v, s.address.path, s, r); }},
    {"target", [](auto v, auto& s, auto& r) { return ReadAddressPart(v, s.address.target, s, r); }},
    {"lun", [](auto v, auto& s, auto& r) { return ReadAddressPart(v, s.address.lun, s, r); }},
    {"root", ReadRoot},
    {"open", [](auto v, auto& s, auto& r) { return ReadChoice(v, "ok", "fails", s.openFails, r); }},
    {"inuse", [](auto v, auto& s, auto& r) { return ReadChoice(v, "0", "1", s.inUseElsewhere, r); }},
    {"fault", ReadFaultEntry},
};

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return text;
}

bool ApplyEntry(std::string_view entry, DriveSetup& setup, std::string& reason)
{
    entry = TrimLeft(entry);
    const size_t equals = entry.find('=');
    if (entry.empty()) return Fail(reason, "empty entry");
    if (equals == std::string_view::npos) return Fail(reason, Quoted(entry) + " is not key=value");
    std::string_view key = entry.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    const std::string_view value = entry.substr(equals + 1);
    for (const Key& known : kKeys) {
        if (known.name != key) continue;
        if (known.read(value, setup, reason)) return true;
        reason = std::string(key) + ": " + reason;
        return false;
    }
    return Fail(reason, "unknown key " + Quoted(key));
}

// Trigger of a fault: "#N" (the N-th command) or "XX#N" (the N-th command with opcode XX),
// with "+" behind it for that one and every later one.
bool ReadTrigger(std::string_view text, Fault& fault, std::string& reason)
{
    const size_t hash = text.find('#');
    if (hash == std::string_view::npos || (hash != 0 && hash != 2)) {
        return Fail(reason, Quoted(text) + " is not #N or XX#N");
    }
    fault.trigger = hash == 0 ? FaultTrigger::Sequence : FaultTrigger::Opcode;
    if (hash == 2 && !ReadHexByte(text.substr(0, 2), fault.opcode)) {
        return Fail(reason, Quoted(text.substr(0, 2)) + " is not an opcode of two hex digits");
    }
    std::string_view number = text.substr(hash + 1);
    fault.repeat = 1;
    if (!number.empty() && number.back() == '+') {
        fault.repeat = 0;
        number.remove_suffix(1);
    }
    return ReadInteger<uint32_t>(number, 1, 100000000, fault.number, reason);
}

bool ReadSenseTriple(std::string_view text, Fault& fault, std::string& reason)
{
    const bool shaped = text.size() == 7 && text[1] == '/' && text[4] == '/';
    uint8_t key = 0;
    if (!shaped || !ReadHexByte(std::string("0") + text[0], key) || !ReadHexByte(text.substr(2, 2), fault.asc) ||
        !ReadHexByte(text.substr(5, 2), fault.ascq)) {
        return Fail(reason, Quoted(text) + " is not K/AA/QQ in hex");
    }
    fault.senseKey = key;
    return true;
}

bool ReadAction(std::string_view name, std::string_view argument, bool hasArgument, Fault& fault, std::string& reason)
{
    const bool wantsArgument = name == "sense" || name == "slow" || name == "corrupt" || name == "short";
    if (wantsArgument != hasArgument) {
        return Fail(reason, Quoted(name) + (wantsArgument ? " needs a value" : " takes no value"));
    }
    if (name == "sense") {
        fault.kind = FaultKind::Sense;
        return ReadSenseTriple(argument, fault, reason);
    }
    if (name == "slow") {
        fault.kind = FaultKind::Slow;
        return ReadSeconds(argument, fault.seconds, reason);
    }
    if (name == "corrupt") {
        fault.kind = FaultKind::CorruptReply;
        return ReadInteger<uint32_t>(argument, 0, kDriveBufferSize - 1, fault.replyOffset, reason);
    }
    if (name == "short") {
        fault.kind = FaultKind::ShortTransfer;
        return ReadInteger<uint32_t>(argument, 0, kDriveBufferSize, fault.bytesMoved, reason);
    }
    if (name == "fail")
        fault.kind = FaultKind::RequestFails;
    else if (name == "gone")
        fault.kind = FaultKind::Disappear;
    else
        return Fail(reason, Quoted(name) + " is not sense, fail, slow, corrupt, short or gone");
    return true;
}

}  // namespace

bool ParseFault(std::string_view text, Fault& fault, std::string& reason)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return Fail(reason, Quoted(text) + " is not trigger:action");
    }
    Fault parsed;
    if (!ReadTrigger(text.substr(0, colon), parsed, reason)) return false;
    const std::string_view action = text.substr(colon + 1);
    const size_t second = action.find(':');
    const bool hasArgument = second != std::string_view::npos;
    const std::string_view name = action.substr(0, second);
    const std::string_view argument = hasArgument ? action.substr(second + 1) : std::string_view{};
    if (!ReadAction(name, argument, hasArgument, parsed, reason)) return false;
    fault = parsed;
    return true;
}

bool ParseDriveSetup(std::string_view text, DriveSetup& setup, std::string& reason)
{
    DriveSetup parsed;
    if (TrimLeft(text).empty()) {
        setup = parsed;
        return true;
    }
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view entry = text.substr(start, comma - start);
        if (!ApplyEntry(entry, parsed, reason)) return false;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    setup = parsed;
    return true;
}

}  // namespace sim
