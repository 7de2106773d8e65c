// What the drive tells about itself beyond the standard inquiry data: the sense it holds
// (REQUEST SENSE), the vital product data pages of INQUIRY, its features and profiles (GET
// CONFIGURATION), its mode pages (MODE SENSE and MODE SELECT, six- and ten-byte), its logical
// units (REPORT LUNS), and the sense format that the control mode page selects.

#include <algorithm>
#include <array>
#include <cstring>

#include "scsi/Answers.h"
#include "scsi/CommandBlocks.h"
#include "scsi/CommandOutcome.h"
#include "scsi/Opcodes.h"
#include "scsi/Sense.h"
#include "sim/DriveReplies.h"
#include "sim/VirtualDrive.h"

namespace sim {

namespace {

using namespace scsi;

constexpr uint32_t kBlockSize = 2048;
constexpr uint16_t kDvdBlocking = 16;         // sectors in a DVD error-correction block
constexpr uint16_t kCdSpeed48x = 8467;        // kB/s
constexpr uint16_t kCdSpeed24x = 4234;        // kB/s
constexpr uint16_t kBufferKib = 2048;         // the drive's data buffer, as a rewriter of its era had
constexpr uint16_t kDataBlockTypes = 0x3501;  // raw, mode 1, mode 2 form 1, form 2 and mixed
constexpr uint32_t kCueSheetBytes = 3840;

void RefuseListField(CommandReply& reply)
{
    EndWithSense(reply, kSenseIllegalRequest, kAscInvalidFieldInParameterList, 0x00);
}

// A reply assembled in a fixed buffer by offsets. A field or a piece that would not fit spoils
// it, and a spoilt reply is never sent.
class ReplyBuilder {
public:
    ReplyBuilder(uint8_t* bytes, uint32_t capacity) : bytes(bytes), capacity(capacity)
    {
        std::memset(bytes, 0, capacity);
    }

    // Room for length more bytes, zero; where they start.
    uint32_t Append(uint32_t length)
    {
        const uint32_t at = used;
        if (length > capacity - used) {
            intact = false;
            return at;
        }
        used += length;
        return at;
    }

    void Set(uint32_t at, Field field, uint32_t value)
    {
        intact = intact && at + field.offset + field.size <= used && Put(bytes + at, field, value);
    }

    void Copy(uint32_t at, const void* source, uint32_t length)
    {
        intact = intact && at + length <= used;
        if (intact) std::memcpy(bytes + at, source, length);
    }

    uint32_t size() const { return used; }
    bool sound() const { return intact; }

private:
    uint8_t* bytes;
    uint32_t capacity;
    uint32_t used = 0;
    bool intact = true;
};

uint32_t SerialLength(const DriveConfig& config)
{
    return static_cast<uint32_t>(std::find(config.serial, config.serial + kMaxSerialLength, '\0') - config.serial);
}

// ---- Profiles and features

bool IsCdProfile(uint16_t profile)
{
    return profile == config_data::kCdRom || profile == config_data::kCdR || profile == config_data::kCdRw;
}

bool IsDvdProfile(uint16_t profile) { return profile != config_data::kNoProfile && !IsCdProfile(profile); }

// The profiles the drive reads and writes, in the descending order that drives report them.
constexpr uint16_t kProfiles[] = {
    config_data::kDvdPlusRDualLayerDisc,
    config_data::kDvdPlusRDisc,
    config_data::kDvdPlusRwDisc,
    config_data::kDvdRwSequential,
    config_data::kDvdRwRestricted,
    config_data::kDvdR,
    config_data::kDvdRom,
    config_data::kCdRw,
    config_data::kCdR,
    config_data::kCdRom,
};

// Which profiles make a feature current; persistent features are always current.
enum class CurrentWhen : uint8_t { Always, AnyDisc, Cd, Dvd, Listed };

struct FeatureState {
    uint16_t profile;
    const DriveConfig* config;
};

struct Feature {
    uint16_t code;
    uint8_t version;
    bool persistent;
    CurrentWhen currentWhen;
    uint16_t profiles[3];      // for Listed; zero-padded
    uint8_t additionalLength;  // fixed part; the profile list and serial vary
    void (*fill)(ReplyBuilder&, uint32_t, const FeatureState&);
};

bool IsCurrent(const Feature& feature, uint16_t profile)
{
    switch (feature.currentWhen) {
    case CurrentWhen::Always: return true;
    case CurrentWhen::AnyDisc: return profile != config_data::kNoProfile;
    case CurrentWhen::Cd: return IsCdProfile(profile);
    case CurrentWhen::Dvd: return IsDvdProfile(profile);
    case CurrentWhen::Listed:
        return profile != config_data::kNoProfile && std::find(std::begin(feature.profiles), std::end(feature.profiles),
                                                               profile) != std::end(feature.profiles);
    }
    return false;
}

void FillProfileList(ReplyBuilder& out, uint32_t at, const FeatureState& state)
{
    using namespace config_data;
    uint32_t entry = at + kFeatureHeaderLength;
    for (uint16_t profile : kProfiles) {
        out.Set(entry, kProfileNumber, profile);
        out.Set(entry, kCurrentProfileBit, profile == state.profile ? 1 : 0);
        entry += kProfileLength;
    }
}

void FillCore(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    out.Set(at, config_data::kPhysicalInterface, config_data::kInterfaceAtapi);
    out.Set(at, config_data::kInquiry2, 1);
    out.Set(at, config_data::kDeviceBusyEvent, 0);  // events report no device busy class
}

void FillMorphing(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    out.Set(at, config_data::kOperationalChangeEvent, 1);  // events are polled: no asynchronous bit
}

// The lock itself is not reported here: the capabilities mode page carries its state.
void FillRemovableMedium(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    using namespace config_data;
    out.Set(at, kLoadingMechanism, kTrayMechanism);
    out.Set(at, kLoad, 1);
    out.Set(at, kEject, 1);
    out.Set(at, kPreventJumper, 0);
    out.Set(at, kLock, 1);
}

void FillRandomReadable(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    out.Set(at, config_data::kBlockSize, kBlockSize);
    out.Set(at, config_data::kBlocking, kDvdBlocking);
    out.Set(at, config_data::kErrorRecoveryPagePresent, 1);
}

void FillCdRead(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    out.Set(at, config_data::kC2Flags, 1);
    out.Set(at, config_data::kCdText, 1);
}

void FillDvdRead(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    out.Set(at, config_data::kMulti110, 1);
    out.Set(at, config_data::kDualLayerRead, 1);
}

// Link sizes: 7 blocks on CD, 16 on DVD.
void FillIncrementalStreaming(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    using namespace config_data;
    out.Set(at, kStreamDataTypes, kDataBlockTypes);
    out.Set(at, kStreamBufferUnderrunFree, 1);
    out.Set(at, kLinkSizeCount, 2);
    out.Set(at, kFirstLinkSize, 7);
    out.Set(at + 1, kFirstLinkSize, 16);
}

void FillPlusWrite(ReplyBuilder& out, uint32_t at, const FeatureState&) { out.Set(at, config_data::kPlusWrite, 1); }

void FillTrackAtOnce(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    using namespace config_data;
    out.Set(at, kTaoBufferUnderrunFree, 1);
    out.Set(at, kTaoTestWrite, 1);
    out.Set(at, kTaoCdRw, 1);
    out.Set(at, kTaoDataTypes, kDataBlockTypes);
}

void FillMastering(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    using namespace config_data;
    out.Set(at, kMasteringBufferUnderrunFree, 1);
    out.Set(at, kSessionAtOnce, 1);
    out.Set(at, kMasteringRaw, 1);
    out.Set(at, kMasteringTestWrite, 1);
    out.Set(at, kMasteringCdRw, 1);
    out.Set(at, kCueSheetLength, kCueSheetBytes);
}

void FillDashWrite(ReplyBuilder& out, uint32_t at, const FeatureState&)
{
    out.Set(at, config_data::kDashBufferUnderrunFree, 1);
    out.Set(at, config_data::kDashTestWrite, 1);
    out.Set(at, config_data::kDashRw, 1);
}

// The serial number in ASCII, padded with spaces to a multiple of four.
void FillSerialNumber(ReplyBuilder& out, uint32_t at, const FeatureState& state)
{
    const uint32_t length = SerialLength(*state.config);
    const char spaces[4] = {' ', ' ', ' ', ' '};
    out.Copy(at + config_data::kFeatureHeaderLength, state.config->serial, length);
    out.Copy(at + config_data::kFeatureHeaderLength + length, spaces, (4 - length % 4) % 4);
}

void NoFields(ReplyBuilder&, uint32_t, const FeatureState&) {}

namespace cfg = config_data;
// Sorted by feature code, as the reply lists them.
constexpr Feature kFeatures[] = {
    {cfg::kProfileList, 0, true, CurrentWhen::Always, {}, 0, FillProfileList},
    {cfg::kCore, 2, true, CurrentWhen::Always, {}, 8, FillCore},
    {cfg::kMorphing, 1, true, CurrentWhen::Always, {}, 4, FillMorphing},
    {cfg::kRemovableMedium, 0, true, CurrentWhen::Always, {}, 4, FillRemovableMedium},
    {cfg::kRandomReadable, 0, false, CurrentWhen::AnyDisc, {}, 8, FillRandomReadable},
    {cfg::kMultiRead, 0, false, CurrentWhen::Cd, {}, 0, NoFields},
    {cfg::kCdRead, 2, false, CurrentWhen::Cd, {}, 4, FillCdRead},
    {cfg::kDvdRead, 1, false, CurrentWhen::Dvd, {}, 4, FillDvdRead},
    {cfg::kIncrementalStreaming,
     1,
     false,
     CurrentWhen::Listed,
     {cfg::kCdR, cfg::kDvdR, cfg::kDvdRwSequential},
     8,
     FillIncrementalStreaming},
    {cfg::kFormattable,
     0,
     false,
     CurrentWhen::Listed,
     {cfg::kDvdRwRestricted, cfg::kDvdRwSequential, cfg::kDvdPlusRwDisc},
     0,
     NoFields},
    {cfg::kRestrictedOverwrite, 0, false, CurrentWhen::Listed, {cfg::kDvdRwRestricted}, 0, NoFields},
    {cfg::kDvdPlusRw, 1, false, CurrentWhen::Listed, {cfg::kDvdPlusRwDisc}, 4, FillPlusWrite},
    {cfg::kDvdPlusR, 1, false, CurrentWhen::Listed, {cfg::kDvdPlusRDisc}, 4, FillPlusWrite},
    {cfg::kCdTrackAtOnce, 2, false, CurrentWhen::Listed, {cfg::kCdR, cfg::kCdRw}, 4, FillTrackAtOnce},
    {cfg::kCdMastering, 1, false, CurrentWhen::Listed, {cfg::kCdR, cfg::kCdRw}, 4, FillMastering},
    {cfg::kDvdDashWrite,
     2,
     false,
     CurrentWhen::Listed,
     {cfg::kDvdR, cfg::kDvdRwRestricted, cfg::kDvdRwSequential},
     4,
     FillDashWrite},
    {cfg::kDvdPlusRDualLayer, 1, false, CurrentWhen::Listed, {cfg::kDvdPlusRDualLayerDisc}, 4, FillPlusWrite},
    {cfg::kPowerManagement, 0, true, CurrentWhen::Always, {}, 0, NoFields},
    {cfg::kMicrocodeUpgrade, 1, true, CurrentWhen::Always, {}, 4, NoFields},
    {cfg::kTimeout, 1, true, CurrentWhen::Always, {}, 4, NoFields},
    {cfg::kRealTimeStreaming, 0, false, CurrentWhen::AnyDisc, {}, 4, NoFields},
    {cfg::kDriveSerialNumber, 0, true, CurrentWhen::Always, {}, 0, FillSerialNumber},
};

uint32_t AdditionalLength(const Feature& feature, const DriveConfig& config)
{
    using namespace config_data;
    if (feature.code == kProfileList) return std::size(kProfiles) * kProfileLength;
    if (feature.code == kDriveSerialNumber) return (SerialLength(config) + 3) / 4 * 4;
    return feature.additionalLength;
}

bool Wanted(const Feature& feature, uint8_t requestType, uint16_t start, uint16_t profile)
{
    switch (requestType) {
    case get_configuration::kAllFeatures: return feature.code >= start;
    case get_configuration::kCurrentFeatures: return feature.code >= start && IsCurrent(feature, profile);
    default: return feature.code == start;
    }
}

void AppendFeature(ReplyBuilder& out, const Feature& feature, const FeatureState& state)
{
    using namespace config_data;
    const uint32_t length = AdditionalLength(feature, *state.config);
    const uint32_t at = out.Append(kFeatureHeaderLength + length);
    out.Set(at, kFeatureCode, feature.code);
    out.Set(at, kVersion, feature.version);
    out.Set(at, kPersistent, feature.persistent ? 1 : 0);
    out.Set(at, kCurrent, IsCurrent(feature, state.profile) ? 1 : 0);
    out.Set(at, kAdditionalLength, length);
    feature.fill(out, at, state);
}

// ---- Mode pages

// A page whose current values the drive keeps: its defaults, the bits a host may change, and
// where its current values lie among the drive's kept bytes.
constexpr int kKeptPageLength = 12;
struct KeptPage {
    uint8_t code;
    uint8_t keptAt;
    std::array<uint8_t, kKeptPageLength> defaults;
    std::array<uint8_t, kKeptPageLength> changeable;
};

struct PageValue {
    Field field;
    uint32_t value;
};

// A kept page from the values that differ from zero; the page code and length are in both
// the defaults and the changeable mask, as MODE SENSE reports them.
template <size_t D, size_t C>
constexpr KeptPage MakePage(uint8_t code, uint8_t keptAt, const PageValue (&defaults)[D],
                            const PageValue (&changeable)[C])
{
    KeptPage page{code, keptAt, {}, {}};
    bool filled = true;
    for (auto* bytes : {page.defaults.data(), page.changeable.data()}) {
        filled = filled && Put(bytes, mode_data::kPageCode, code) &&
                 Put(bytes, mode_data::kPageLength, kKeptPageLength - mode_data::kPageHeaderLength);
    }
    for (const PageValue& entry : defaults) filled = filled && Put(page.defaults.data(), entry.field, entry.value);
    for (const PageValue& entry : changeable) filled = filled && Put(page.changeable.data(), entry.field, entry.value);
    if (!filled) throw "a mode page field does not fit";
    return page;
}

namespace mp = mode_data;
constexpr KeptPage kKeptPages[] = {
    MakePage(mp::kErrorRecoveryPage, 0, {{mp::kReadRetryCount, 16}, {mp::kWriteRetryCount, 16}},
             {{mp::kErrorRecoveryFlags, 0x07}, {mp::kReadRetryCount, 0xFF}, {mp::kWriteRetryCount, 0xFF}}),
    MakePage(mp::kControlPage, 12, {{mp::kBusyTimeout, 0}}, {{mp::kDescriptorSense, 1}}),
    MakePage(mp::kPowerConditionPage, 24,
             {{mp::kIdle, 1}, {mp::kStandby, 1}, {mp::kIdleTimer, 3000}, {mp::kStandbyTimer, 6000}},
             {{mp::kIdle, 1}, {mp::kStandby, 1}, {mp::kIdleTimer, 0xFFFFFFFF}, {mp::kStandbyTimer, 0xFFFFFFFF}}),
    MakePage(mp::kTimeoutProtectPage, 36, {{mp::kGroup1Timeout, 10}, {mp::kGroup2Timeout, 20}},
             {{mp::kTimeoutProtectFlags, 0x07}, {mp::kGroup1Timeout, 0xFFFF}, {mp::kGroup2Timeout, 0xFFFF}}),
};
constexpr bool KeptInTurn()
{
    for (size_t index = 0; index < std::size(kKeptPages); ++index) {
        if (kKeptPages[index].keptAt != index * kKeptPageLength) return false;
    }
    return std::size(kKeptPages) * kKeptPageLength == kKeptModeBytes;
}
static_assert(KeptInTurn(), "each kept page has its own place among the drive's kept bytes");

// Reported in this order for all pages.
constexpr uint8_t kPageOrder[] = {mp::kErrorRecoveryPage, mp::kControlPage, mp::kPowerConditionPage,
                                  mp::kTimeoutProtectPage, mp::kCapabilitiesPage};

constexpr uint16_t kWriteSpeeds[] = {kCdSpeed48x, kCdSpeed24x};
constexpr int kCapabilitiesLength = mp::kWriteSpeedsOffset +
                                    static_cast<int>(std::size(kWriteSpeeds)) * mp::kWriteSpeedLength;
constexpr int kLargestPage = std::max(kCapabilitiesLength, kKeptPageLength);

const KeptPage* FindKeptPage(uint8_t code)
{
    for (const KeptPage& page : kKeptPages) {
        if (page.code == code) return &page;
    }
    return nullptr;
}

// The capabilities and mechanical status page: what the drive reads and writes, its tray and
// lock, speeds and buffer. Nothing in it can be changed.
uint32_t WriteCapabilities(uint8_t* page, bool values, bool locked)
{
    using namespace mode_data;
    std::memset(page, 0, kCapabilitiesLength);
    bool filled = Put(page, kPageCode, kCapabilitiesPage) &&
                  Put(page, kPageLength, kCapabilitiesLength - kPageHeaderLength);
    if (!values) return filled ? kCapabilitiesLength : 0;
    const PageValue bits[] = {
        {kDvdRRead, 1},
        {kDvdRomRead, 1},
        {kMethod2, 1},
        {kCdRwRead, 1},
        {kCdRRead, 1},
        {kDvdRWrite, 1},
        {kTestWrite, 1},
        {kCdRwWrite, 1},
        {kCdRWrite, 1},
        {kBufferUnderrunFree, 1},
        {kMultiSession, 1},
        {kMode2Form2, 1},
        {kMode2Form1, 1},
        {kAudioPlay, 1},
        {kC2Pointers, 1},
        {kCddaAccurate, 1},
        {kCddaCommands, 1},
        {kLoadingMechanism, kTrayMechanism},
        {kEject, 1},
        {kPreventJumper, 0},
        {kLockState, locked ? 1u : 0u},
        {kLock, 1},
        {kMaxReadSpeed, kCdSpeed48x},
        {kVolumeLevels, 256},
        {kBufferSize, kBufferKib},
        {kCurrentReadSpeed, kCdSpeed48x},
        {kMaxWriteSpeed, kCdSpeed48x},
        {kCurrentWriteSpeed, kCdSpeed48x},
        {kCopyManagementRevision, 1},
        {kSelectedWriteSpeed, kCdSpeed48x},
        {kWriteSpeedCount, std::size(kWriteSpeeds)},
    };
    for (const PageValue& entry : bits) filled = filled && Put(page, entry.field, entry.value);
    uint8_t* descriptor = page + kWriteSpeedsOffset;
    for (uint16_t speed : kWriteSpeeds) {
        filled = filled && Put(descriptor, kWriteSpeed, speed);
        descriptor += kWriteSpeedLength;
    }
    return filled ? kCapabilitiesLength : 0;
}

}  // namespace

void FillDescriptorSense(uint8_t (&sense)[kSenseDataSize], uint8_t key, uint8_t asc, uint8_t ascq)
{
    std::memset(sense, 0, sizeof sense);
    sense[0] = kDescriptorSenseCurrent;
    sense[kDescriptorSenseKeyByte] = key & kSenseKeyMask;
    sense[kDescriptorSenseAscByte] = asc;
    sense[kDescriptorSenseAscqByte] = ascq;
    sense[kDescriptorSenseLengthByte] = 0;  // no descriptors
}

// INQUIRY, REQUEST SENSE, REPORT LUNS (SPC) and GET CONFIGURATION, GET EVENT STATUS NOTIFICATION
// (MMC) neither report nor clear a pending unit attention; REQUEST SENSE hands it over as data.
bool VirtualDrive::AnswerBeforeAttention(const CommandRequest& request, CommandReply& reply)
{
    switch (request.cdb[0]) {
    case opcode::kRequestSense: RequestSense(request, reply); return true;
    case opcode::kGetConfiguration: GetConfiguration(request, reply); return true;
    case opcode::kReportLuns: ReportLuns(request, reply); return true;
    default: return false;
    }
}

bool VirtualDrive::AnswerModeCommand(const CommandRequest& request, CommandReply& reply)
{
    switch (request.cdb[0]) {
    case opcode::kModeSense6:
    case opcode::kModeSense10: ModeSense(request, reply); return true;
    case opcode::kModeSelect6:
    case opcode::kModeSelect10: ModeSelect(request, reply); return true;
    default: return false;
    }
}

// The sense the drive holds: a pending unit attention (reported once), else the state TEST UNIT
// READY would report, else none. Asking does not count as one of the becoming-ready polls.
void VirtualDrive::RequestSense(const CommandRequest& request, CommandReply& reply)
{
    uint8_t key = kSenseNoSense;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    if (attention != Attention::None) {
        key = kSenseUnitAttention;
        asc = attention == Attention::Reset ? kAscPowerOnReset : kAscMediumChanged;
        attention = Attention::None;
    } else {
        CommandReply readiness{};
        if (!MediumReady(readiness)) {
            key = readiness.sense[kSenseKeyByte] & kSenseKeyMask;
            asc = readiness.sense[kAscByte];
            ascq = readiness.sense[kAscqByte];
        }
    }
    uint8_t data[kSenseDataSize];
    const bool descriptor = Get(request.cdb, request_sense::kDescriptorFormat) != 0;
    if (descriptor) {
        FillDescriptorSense(data, key, asc, ascq);
    } else {
        FillSense(data, key, asc, ascq);
    }
    const uint32_t length = descriptor ? kDescriptorSenseHeaderSize : kSenseDataSize;
    MoveIn(request, reply, data, std::min<uint32_t>(length, Get(request.cdb, request_sense::kAllocation)));
}

// Pages 00h (the pages), 80h (the unit serial number) and 83h (a T10 vendor identification:
// vendor, product and serial number).
void VirtualDrive::InquiryVitalData(const CommandRequest& request, CommandReply& reply)
{
    using namespace vpd_data;
    const uint8_t page = static_cast<uint8_t>(Get(request.cdb, inquiry::kPage));
    const uint32_t serialLength = SerialLength(settings);
    uint8_t bytes[64];
    ReplyBuilder out(bytes, sizeof bytes);
    const uint32_t header = out.Append(kHeaderLength);
    out.Set(header, kDeviceType, inquiry_data::kOpticalDevice);
    out.Set(header, kPageCode, page);
    if (page == kSupportedPages) {
        const uint8_t pages[] = {kSupportedPages, kUnitSerialNumber, kDeviceIdentification};
        out.Copy(out.Append(sizeof pages), pages, sizeof pages);
    } else if (page == kUnitSerialNumber) {
        out.Copy(out.Append(serialLength), settings.serial, serialLength);
    } else if (page == kDeviceIdentification) {
        const uint32_t designatorLength = inquiry_data::kIdentification.size + serialLength;
        const uint32_t at = out.Append(kDesignatorHeaderLength + designatorLength);
        out.Set(at, kCodeSet, kCodeSetAscii);
        out.Set(at, kAssociation, kAssociatedWithUnit);
        out.Set(at, kDesignatorType, kT10VendorId);
        out.Set(at, kDesignatorLength, designatorLength);
        out.Copy(at + kDesignatorHeaderLength, settings.vendor, inquiry_data::kVendor.size);
        out.Copy(at + kDesignatorHeaderLength + inquiry_data::kVendor.size, settings.product,
                 inquiry_data::kProduct.size);
        out.Copy(at + kDesignatorHeaderLength + inquiry_data::kIdentification.size, settings.serial, serialLength);
    } else {
        return RefuseField(reply);
    }
    out.Set(header, kPageLength, out.size() - kHeaderLength);
    if (!out.sound()) return RefuseField(reply);
    MoveIn(request, reply, bytes, std::min<uint32_t>(out.size(), Get(request.cdb, inquiry::kAllocationLength)));
}

// The disc decides the profile; a disc on a closed tray is taken for a DVD-ROM data disc.
uint16_t VirtualDrive::CurrentProfile() const
{
    return hasDisc && !isTrayOpen ? config_data::kDvdRom : config_data::kNoProfile;
}

bool VirtualDrive::LockedByHost() const { return mediumRemovalPrevented(); }

void VirtualDrive::GetConfiguration(const CommandRequest& request, CommandReply& reply)
{
    using namespace config_data;
    const uint8_t requestType = static_cast<uint8_t>(Get(request.cdb, get_configuration::kRequestType));
    const uint16_t start = static_cast<uint16_t>(Get(request.cdb, get_configuration::kStartingFeature));
    if (requestType > get_configuration::kOneFeature) return RefuseField(reply);

    const FeatureState state{CurrentProfile(), &settings};
    uint8_t bytes[512];
    ReplyBuilder out(bytes, sizeof bytes);
    const uint32_t header = out.Append(kHeaderLength);
    out.Set(header, kCurrentProfile, state.profile);
    for (const Feature& feature : kFeatures) {
        if (Wanted(feature, requestType, start, state.profile)) AppendFeature(out, feature, state);
    }
    out.Set(header, kDataLength, out.size() - kDataLength.size);
    if (!out.sound()) return RefuseField(reply);
    MoveIn(request, reply, bytes, std::min<uint32_t>(out.size(), Get(request.cdb, get_configuration::kAllocation)));
}

// One page as the page control asks (current, changeable or default values); its length, or 0
// for a page the drive does not have.
uint32_t VirtualDrive::WriteModePage(uint8_t code, uint8_t pageControl, uint8_t* page) const
{
    using namespace mode_data;
    if (code == kCapabilitiesPage) {
        const bool values = pageControl != mode_sense::kChangeableValues;
        return WriteCapabilities(page, values, pageControl == mode_sense::kCurrentValues && LockedByHost());
    }
    const KeptPage* kept = FindKeptPage(code);
    if (kept == nullptr) return 0;
    const uint8_t* source = kept->defaults.data();
    if (pageControl == mode_sense::kCurrentValues) source = modeValues.data() + kept->keptAt;
    if (pageControl == mode_sense::kChangeableValues) source = kept->changeable.data();
    std::memcpy(page, source, kKeptPageLength);
    return kKeptPageLength;
}

void VirtualDrive::RestoreModeDefaults()
{
    for (const KeptPage& page : kKeptPages) {
        std::memcpy(modeValues.data() + page.keptAt, page.defaults.data(), kKeptPageLength);
    }
}

// No block descriptors, whatever DBD says; a long LBA accepted makes no difference then. Nothing
// is saved, so saved values are refused.
void VirtualDrive::ModeSense(const CommandRequest& request, CommandReply& reply)
{
    using namespace mode_data;
    const uint8_t* cdb = request.cdb;
    const bool tenByte = cdb[0] == opcode::kModeSense10;
    const uint8_t pageControl = static_cast<uint8_t>(Get(cdb, mode_sense::kPageControl));
    const uint8_t code = static_cast<uint8_t>(Get(cdb, mode_sense::kPageCode));
    const uint8_t subpage = static_cast<uint8_t>(Get(cdb, mode_sense::kSubpageCode));
    if (pageControl == mode_sense::kSavedValues) {
        return EndWithSense(reply, kSenseIllegalRequest, kAscSavingNotSupported, 0x00);
    }
    if (subpage != 0 && subpage != mode_sense::kAllSubpages) return RefuseField(reply);

    uint8_t bytes[kHeaderLength10 + kKeptModeBytes + kCapabilitiesLength];
    ReplyBuilder out(bytes, sizeof bytes);
    out.Append(tenByte ? kHeaderLength10 : kHeaderLength6);
    for (uint8_t pageCode : kPageOrder) {
        if (code != kAllPages && code != pageCode) continue;
        uint8_t page[kLargestPage];
        const uint32_t length = WriteModePage(pageCode, pageControl, page);
        out.Copy(out.Append(length), page, length);
    }
    const uint32_t headerLength = tenByte ? kHeaderLength10 : kHeaderLength6;
    if (out.size() == headerLength) return RefuseField(reply);  // no such page
    out.Set(0, tenByte ? kDataLength10 : kDataLength6, out.size() - (tenByte ? kDataLength10 : kDataLength6).size);
    if (!out.sound()) return RefuseField(reply);
    const uint32_t allocation = Get(cdb, tenByte ? mode_sense::kAllocation10 : mode_sense::kAllocation6);
    MoveIn(request, reply, bytes, std::min(out.size(), allocation));
}

// Takes the pages of the parameter list only when every one is known, whole, and changes no
// bit that cannot be changed; then all at once. The parameters-savable bit of a page is ignored,
// as hosts send back pages as MODE SENSE gave them.
void VirtualDrive::ModeSelect(const CommandRequest& request, CommandReply& reply)
{
    using namespace mode_data;
    const uint8_t* cdb = request.cdb;
    const bool tenByte = cdb[0] == opcode::kModeSelect10;
    const uint32_t listLength = Get(cdb, tenByte ? mode_select::kListLength10 : mode_select::kListLength6);
    const uint32_t received = request.direction == platform::DataDirection::Out && request.data != nullptr
                                  ? request.length
                                  : 0;
    if (Get(cdb, mode_select::kSavePages) != 0 || received != listLength) return RefuseField(reply);
    if (listLength == 0) return;
    if (Get(cdb, mode_select::kPageFormat) == 0) return RefuseField(reply);

    const uint32_t taken = std::min(listLength, dataOutTaken);
    const uint8_t* list = request.data;
    const uint32_t headerLength = tenByte ? kHeaderLength10 : kHeaderLength6;
    if (taken < headerLength) return EndWithSense(reply, kSenseIllegalRequest, kAscParameterListLength, 0x00);
    if (Get(list, tenByte ? kBlockDescriptorLength10 : kBlockDescriptorLength6) != 0) return RefuseListField(reply);

    std::array<uint8_t, kKeptModeBytes> changed = modeValues;
    for (uint32_t at = headerLength; at < taken;) {
        if (taken - at < kPageHeaderLength)
            return EndWithSense(reply, kSenseIllegalRequest, kAscParameterListLength, 0x00);
        const uint8_t* sent = list + at;
        uint8_t current[kLargestPage];
        uint8_t changeable[kLargestPage];
        const uint8_t code = static_cast<uint8_t>(Get(sent, kPageCode));
        const uint32_t length = WriteModePage(code, mode_sense::kCurrentValues, current);
        WriteModePage(code, mode_sense::kChangeableValues, changeable);
        if (Get(sent, kSubpageFormat) != 0 || length == 0 || Get(sent, kPageLength) != length - kPageHeaderLength) {
            return RefuseListField(reply);
        }
        if (taken - at < length) return EndWithSense(reply, kSenseIllegalRequest, kAscParameterListLength, 0x00);
        for (uint32_t i = kPageHeaderLength; i < length; ++i) {
            if (((sent[i] ^ current[i]) & ~changeable[i]) != 0) return RefuseListField(reply);
        }
        const KeptPage* kept = FindKeptPage(code);
        if (kept != nullptr) {
            std::memcpy(changed.data() + kept->keptAt + kPageHeaderLength, sent + kPageHeaderLength,
                        length - kPageHeaderLength);
        }
        at += length;
    }
    modeValues = changed;
    reply.transferred = taken;
}

// The drive is logical unit 0 and has no well-known units.
void VirtualDrive::ReportLuns(const CommandRequest& request, CommandReply& reply)
{
    const uint32_t select = Get(request.cdb, report_luns::kSelectReport);
    if (select != report_luns::kLogicalUnits && select != report_luns::kWellKnownUnits &&
        select != report_luns::kAllUnits) {
        return RefuseField(reply);
    }
    const uint32_t units = select == report_luns::kWellKnownUnits ? 0 : 1;
    uint8_t list[lun_data::kHeaderLength + lun_data::kEntryLength] = {};  // unit 0 is all zero
    if (!Put(list, lun_data::kListLength, units * lun_data::kEntryLength)) return RefuseField(reply);
    const uint32_t length = lun_data::kHeaderLength + units * lun_data::kEntryLength;
    MoveIn(request, reply, list, std::min(length, Get(request.cdb, report_luns::kAllocation)));
}

// With the control page's D_SENSE set, every check condition's sense comes in descriptor format.
void VirtualDrive::ShapeSense(CommandReply& reply) const
{
    using namespace mode_data;
    const KeptPage* control = FindKeptPage(kControlPage);
    if (!reply.hasSense || reply.sense[0] != kFixedSenseCurrent ||
        Get(modeValues.data() + control->keptAt, kDescriptorSense) == 0) {
        return;
    }
    FillDescriptorSense(reply.sense, reply.sense[kSenseKeyByte], reply.sense[kAscByte], reply.sense[kAscqByte]);
}

}  // namespace sim
