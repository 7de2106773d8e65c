#pragma once
// What a window does with a request to end the program (the end of the session, a signal): while
// drives may be written it is held, no further drive of the update is started, and the program
// ends once the update's outcome has been answered; at other times it is honoured at once. A
// download or commit cut short can leave a drive that no longer starts.
//
// Requests come two ways: the window is asked (Request), or the system holds them off by itself
// and the window passes in whether it holds one (signalHeld; platform/ProcessSignals.h).

class StopRequestPolicy {
public:
    // A request the window is asked: whether it may be honoured now. While drives may be written
    // it is refused and held.
    bool Request();

    // Drives may be being written from now on (true), or no longer (false). Returns whether the
    // program must end now: a request was held while they were.
    bool FlashUnderway(bool underway, bool signalHeld);

    // Whether a request is held: no further drive may be started.
    bool StopRequested(bool signalHeld) const { return requestHeld || signalHeld; }

private:
    bool flashUnderway = false;
    bool requestHeld = false;
};
