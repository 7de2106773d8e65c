#pragma once
// The virtual drives that the benchmarks measure against: the package's drive model, ready (a
// disc in, tray closed, nothing pending), its trace off, with instant timing or the realistic
// model scaled uniformly, and the time the drives' model accounted for.

#include <string>

#include "sim/VirtualSystem.h"

namespace bench {

// The realistic model with every duration multiplied by scale (the transfer rate divided by
// it): scale 1 is the model itself. The becoming-ready polls are a count and stay as they are.
inline sim::DriveTiming ScaledRealistic(double scale)
{
    const sim::DriveTiming realistic = sim::DriveTiming::Realistic();
    return {realistic.commandSeconds * scale, realistic.bytesPerSecond / scale, realistic.commitSeconds * scale};
}

inline sim::DriveSetup ReadyDrive(const sim::DriveTiming& timing)
{
    sim::DriveSetup setup;
    setup.drive.discPresent = true;
    setup.drive.timing = timing;
    const bool instant = timing.commandSeconds == 0.0 && timing.bytesPerSecond == 0.0 && timing.commitSeconds == 0.0;
    setup.drive.becomingReadyPolls = instant ? sim::kDefaultBecomingReadyPolls : sim::kRealisticBecomingReadyPolls;
    return setup;
}

// Adds count ready drives with their trace off; false when the system has no room for them.
inline bool AddReadyDrives(sim::VirtualSystem& system, int count, const sim::DriveTiming& timing)
{
    for (int i = 0; i < count; ++i) {
        sim::VirtualDrive* drive = system.AddDrive(ReadyDrive(timing));
        if (drive == nullptr) return false;
        drive->SetTraceEnabled(false);
    }
    return true;
}

// What the timing model of every drive of the system has accounted for so far.
inline double ModelledSeconds(sim::VirtualSystem& system)
{
    double seconds = 0.0;
    for (int i = 0; i < system.driveCount(); ++i) seconds += system.drive(i).modelledSeconds();
    return seconds;
}

inline bool AllProgrammedGood(sim::VirtualSystem& system)
{
    for (int i = 0; i < system.driveCount(); ++i) {
        if (system.drive(i).flashState() != sim::FlashState::Good) return false;
    }
    return system.driveCount() > 0;
}

}  // namespace bench
