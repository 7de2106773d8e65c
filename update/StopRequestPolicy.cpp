#include "update/StopRequestPolicy.h"

bool StopRequestPolicy::Request()
{
    if (!flashUnderway) return true;
    requestHeld = true;
    return false;
}

bool StopRequestPolicy::FlashUnderway(bool underway, bool signalHeld)
{
    flashUnderway = underway;
    return !underway && StopRequested(signalHeld);
}
