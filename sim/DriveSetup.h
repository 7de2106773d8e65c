#pragma once
// How a virtual drive sits in the virtual system (root, address, whether it opens) together
// with its drive settings and faults, and the short text form that describes all of it:
//
//   rev=RN05,chip=BFD60002,disc=1,tray=closed,host=1,target=0,lun=0,root=/dev/sr0
//
// The keys are listed in sim/README.md. Entries apply from left to right, so a later entry
// overrides an earlier one (timing=realistic,polls=2 keeps two polls); every fault= entry adds
// a fault.

#include <array>
#include <string>
#include <string_view>

#include "platform/System.h"
#include "sim/VirtualDrive.h"

namespace sim {

enum class AddressKind : uint8_t {
    Auto,        // host 0, path 0, target = the drive's number in the system, lun 0
    Given,       // the address below
    QueryFails,  // the system cannot read the drive's address
    Empty,       // the system answers with an empty address
};

struct DriveSetup {
    DriveConfig drive;
    char root[platform::kRootPathSize] = {};  // empty: "/dev/sr<n>", n the drive's number
    AddressKind addressKind = AddressKind::Auto;
    platform::ScsiAddress address = {0, 0, 0, 0};
    bool openFails = false;
    bool inUseElsewhere = false;  // another program holds the drive: no exclusive open
    std::array<Fault, kMaxFaults> faults{};
    int faultCount = 0;
};

// Reads the text form into setup, starting from the defaults. On a bad entry returns false
// with the reason ("rev: \"RN0555\" has more than 4 characters") and leaves setup as it was.
bool ParseDriveSetup(std::string_view text, DriveSetup& setup, std::string& reason);

// Reads one fault in the form of a fault= entry, e.g. "3C#6:corrupt:100" or "#12:gone".
bool ParseFault(std::string_view text, Fault& fault, std::string& reason);

}  // namespace sim
