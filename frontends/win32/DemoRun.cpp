#include "frontends/win32/DemoRun.h"

#include "frontends/win32/ControlIds.h"
#include "platform/ProcessSignals.h"

namespace {

// The window's timer that chooses the entry once the message loop runs; the progress timer is
// IDT_tmr.
constexpr UINT_PTR kChooseEntryTimer = IDT_tmr + 1;
// The entry still to be chosen (one window per program), or -1.
int entryToChoose = -1;

// The user's choice of an entry: the list's selection and the notification a click gives.
void CALLBACK ChooseEntry(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    const int entry = entryToChoose;
    entryToChoose = -1;
    HWND list = GetDlgItem(window, IDC_cboDrives);
    if (entry < 0 || entry >= SendMessageA(list, CB_GETCOUNT, 0, 0)) return;
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_cboDrives, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

// The window of a console program: a stop request (Ctrl+C, Ctrl+Break, the console closed) is
// held off while drives are written and ends the program once the update's outcome has been
// answered, as the Qt demo does with signals.
class DemoWindow : public TNorvikMain {
public:
    using TNorvikMain::TNorvikMain;

    void FlashUnderway(bool underway) override
    {
        platform::HoldSignals(underway);
        TNorvikMain::FlashUnderway(underway);
    }

    // The constructor's start-up (automatic mode) may already have started the drives, before
    // these overrides were in place.
    void HoldIfFlashing()
    {
        const UpdateSequence::Phase phase = Sequence().CurrentPhase();
        if (phase == UpdateSequence::Phase::Programming || phase == UpdateSequence::Phase::Finishing)
            platform::HoldSignals(true);
    }

protected:
    bool SignalHeld() const override { return platform::HeldSignal() != 0; }
};

}  // namespace

std::unique_ptr<TNorvikMain> MakeDemoWindow(DemoSystem& system, const payload::PackageBlock& package,
                                            DemoMessageBoxes& boxes, const DemoOptions& options)
{
    // The window exists only after its constructor, which may already ask for the restart.
    auto shownOver = std::make_shared<HWND>(nullptr);
    system.OnRestart([shownOver, &boxes](uint32_t) {
        boxes.Ask(*shownOver, MessageKind::Information, kRestartTitle, kRestartText, MessageButtons::Ok);
    });
    auto window = std::make_unique<DemoWindow>(system, reinterpret_cast<const uint8_t*>(&package),
                                               MadeUpProfiles::Allowed, &boxes);
    *shownOver = window->Handle();
    window->HoldIfFlashing();
    if (window->TerminationRequested() || options.chosenEntry < 0) return window;

    entryToChoose = options.chosenEntry;
    SetTimer(window->Handle(), kChooseEntryTimer, 0, &ChooseEntry);
    return window;
}
