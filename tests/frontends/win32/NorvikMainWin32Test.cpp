// The Windows window: its controls as the dialog template makes them, and what they show of the
// start-up and update sequence, on the virtual system and its virtual clock, with message boxes
// answered by script through the window's box seam. Runs under Wine on a display (xvfb-run).

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "frontends/win32/ControlIds.h"
#include "frontends/win32/NorvikMain.h"
#include "frontends/win32/ProgramEntry.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"
#include "tests/frontends/win32/MessagePump.h"

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

const std::string kSentence = "It will be updated from             to";
const std::string kNotAllowed = "This drive is not allowed to be updated.";
const std::string kUpdated = "Firmware has been updated successfully !";
const std::string kUpdateFailed = "Unable to flash firmware. Please contact with your vendor !";
const std::string kNoMatchHead =
    "No matched drive detected !\n"
    "This utility is only for TALVORE DVDRW KRX-407T drive.\n\n"
    "Detected drives :\n";
const std::string kNotice =
    "This flash utility only supports TALVORE DVDRW KRX-407T drive.\n\n"
    "NOTICE : \n\n"
    "1> Please REMOVE disc and close all applications before running this utility !\n"
    "2> Don't turn off the system while flash is in progress. \n"
    "\nDo you wish to continue ?";

constexpr uint8_t kWriteBuffer = 0x3B;

std::string TextOf(HWND window)
{
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// The colour the window gives a label's text, asked for as the label asks when it paints.
COLORREF TextColourOf(HWND dialog, int id)
{
    HDC context = CreateCompatibleDC(nullptr);
    SetTextColor(context, RGB(1, 2, 3));
    SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    const COLORREF colour = GetTextColor(context);
    DeleteDC(context);
    return colour;
}

LOGFONTA FontOf(HWND control)
{
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font;
}

RECT RectInDialog(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The size of a text in a font.
SIZE TextSize(HFONT font, const std::string& text)
{
    HDC context = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(context, font);
    SIZE size = {};
    GetTextExtentPoint32A(context, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(context, previous);
    ReleaseDC(nullptr, context);
    return size;
}

bool OwnStyle(HWND control, LONG style) { return (GetWindowLongA(control, GWL_STYLE) & style) == style; }

int CountOpcode(const sim::VirtualDrive& drive, uint8_t opcode)
{
    char prefix[3];
    std::snprintf(prefix, sizeof(prefix), "%02X", opcode);
    int count = 0;
    for (const std::string& line : drive.trace()) count += line.compare(0, 2, prefix) == 0 ? 1 : 0;
    return count;
}

// The entry of a virtual drive of the package's model at the automatic address of drive n.
std::string TalvoreEntry(int target, const char* revision)
{
    char entry[64];
    std::snprintf(entry, sizeof(entry), " 0-0-%d-0 sr%dTALVORE DVDRW KRX-407T   %s", target, target, revision);
    return entry;
}

struct ShownBox {
    MessageKind kind;
    std::string title;
    std::string text;
    MessageButtons buttons;
    std::string statusThen;  // lblMsg while the box was open
    COLORREF statusColourThen;
};

// Message boxes answered by a script: every box is recorded with what the window showed while
// it was open. A box the script does not cover is acknowledged, or declined when it asks.
class ScriptedBoxes : public MessageBoxes {
public:
    void Answer(MessageAnswer answer) { script.push_back(answer); }

    MessageAnswer Ask(HWND owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override
    {
        shown.push_back({kind, std::string(title), std::string(text), buttons, TextOf(GetDlgItem(owner, IDC_lblMsg)),
                         TextColourOf(owner, IDC_lblMsg)});
        if (script.empty()) return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
        const MessageAnswer next = script.front();
        script.pop_front();
        return next;
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const ShownBox& box : shown) texts.push_back(box.text);
        return texts;
    }

    std::vector<ShownBox> shown;

private:
    std::deque<MessageAnswer> script;
};

}  // namespace

// Every test starts from the program's own package with a synthetic firmware in its image area,
// without the notice and the restart, on a virtual system without drives.
class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        block = std::make_unique<payload::PackageBlock>();
        std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
        for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
            block->imageArea[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
        Set(SettingKey::WARNING, '0');
        Set(SettingKey::REBOOT, '0');
    }

    // A quit that the window posted stays in this thread's queue: it is taken out, so that the
    // next test starts from an empty queue.
    void TearDown() override
    {
        window.reset();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    void Set(SettingKey key, char digit)
    {
        const payload::EntryLocation& entry = payload::kConfigurationEntries[static_cast<int>(key)];
        reinterpret_cast<uint8_t*>(block.get())[entry.offset + entry.key.size()] = static_cast<uint8_t>(digit);
    }

    sim::VirtualDrive& AddDrive(const char* text = "")
    {
        std::string reason;
        sim::VirtualDrive* drive = system.AddDrive(text, reason);
        if (drive == nullptr) ADD_FAILURE() << "drive \"" << text << "\": " << reason;
        return *drive;
    }

    // Made and shown as the program's entry does.
    TNorvikMain& MakeWindow()
    {
        window = std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(block.get()),
                                               MadeUpProfiles::Allowed, &boxes);
        if (!window->TerminationRequested()) ShowWindow(window->Handle(), SW_SHOWNORMAL);
        return *window;
    }

    HWND Dialog() const { return window->Handle(); }
    HWND Control(int id) const { return GetDlgItem(window->Handle(), id); }
    std::string Text(int id) const { return TextOf(Control(id)); }
    bool Shown(int id) const { return OwnStyle(Control(id), WS_VISIBLE); }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    int BarPosition() const { return static_cast<int>(SendMessageA(Control(IDC_pbar), PBM_GETPOS, 0, 0)); }
    int BarMaximum() const { return static_cast<int>(SendMessageA(Control(IDC_pbar), PBM_GETRANGE, FALSE, 0)); }
    int BarMinimum() const { return static_cast<int>(SendMessageA(Control(IDC_pbar), PBM_GETRANGE, TRUE, 0)); }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> entries;
        const int count = static_cast<int>(SendMessageA(Control(IDC_cboDrives), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            char entry[256] = {};
            SendMessageA(Control(IDC_cboDrives), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
            entries.push_back(entry);
        }
        return entries;
    }
    int Selected() const { return static_cast<int>(SendMessageA(Control(IDC_cboDrives), CB_GETCURSEL, 0, 0)); }

    // The user's choice: the arrow keys on the list, which moves its selection and tells the
    // window as the list does.
    void Choose(int entry)
    {
        while (Selected() < entry) SendMessageA(Control(IDC_cboDrives), WM_KEYDOWN, VK_DOWN, 0);
        while (Selected() > entry) SendMessageA(Control(IDC_cboDrives), WM_KEYDOWN, VK_UP, 0);
    }

    void Click(int id) { SendMessageA(Control(id), BM_CLICK, 0, 0); }
    // One tick of tmr, as the system delivers it.
    void Tick() { SendMessageA(Dialog(), WM_TIMER, IDT_tmr, 0); }

    bool UpdateUnderway() const
    {
        const UpdateSequence::Phase phase = window->Sequence().CurrentPhase();
        return phase == UpdateSequence::Phase::Preparing || phase == UpdateSequence::Phase::Programming ||
               phase == UpdateSequence::Phase::Finishing;
    }

    // Runs this thread's messages, through which the workers' ends arrive, until the update is
    // over.
    bool RunUntilUpdateOver()
    {
        return PumpMessagesUntil(*window, [this] { return !UpdateUnderway(); });
    }

    void ExpectUpdatableShown(const char* newRevision, const char* oldRevision)
    {
        EXPECT_EQ(Text(IDC_lblUpdateMsg), kSentence);
        EXPECT_EQ(TextColourOf(Dialog(), IDC_lblUpdateMsg), kBlack);
        EXPECT_TRUE(Shown(IDC_lblNewFW));
        EXPECT_TRUE(Shown(IDC_lblOldFW));
        EXPECT_EQ(Text(IDC_lblNewFW), newRevision);
        EXPECT_EQ(Text(IDC_lblOldFW), oldRevision);
        EXPECT_TRUE(Enabled(IDC_cmdUpdate));
    }

    void ExpectRefusedShown()
    {
        EXPECT_EQ(Text(IDC_lblUpdateMsg), kNotAllowed);
        EXPECT_EQ(TextColourOf(Dialog(), IDC_lblUpdateMsg), kMaroon);
        EXPECT_FALSE(Shown(IDC_lblNewFW));
        EXPECT_FALSE(Shown(IDC_lblOldFW));
        EXPECT_FALSE(Enabled(IDC_cmdUpdate));
    }

    std::unique_ptr<payload::PackageBlock> block;
    sim::VirtualSystem system;
    ScriptedBoxes boxes;
    std::unique_ptr<TNorvikMain> window;
};

struct ControlLayout {
    int id;
    const char* windowClass;
    RECT rect;  // pixels in the client area: left, top, right, bottom
};

// Where the template puts each control, in pixels of a client area of 460 x 167, whatever the
// dialog font: the window undoes the dialog units.
TEST_F(Win32WindowTest, ControlsSitWhereTheTemplatePutsThemInPixels)
{
    AddDrive();
    MakeWindow();
    RECT client = {};
    GetClientRect(Dialog(), &client);
    EXPECT_EQ(client.right, 460);
    EXPECT_EQ(client.bottom, 167);

    const ControlLayout layout[] = {
        {IDC_Label1, "Static", {12, 8, 448, 26}},        {IDC_lblUpdateMsg, "Static", {12, 58, 448, 78}},
        {IDC_Bevel1, "Static", {12, 84, 448, 128}},      {IDC_lblMsg, "Static", {20, 89, 350, 105}},
        {IDC_lblPercent, "Static", {360, 89, 440, 105}}, {IDC_pbar, PROGRESS_CLASSA, {20, 108, 440, 120}},
        {IDC_cmdUpdate, "Button", {256, 135, 348, 161}}, {IDC_cmdClose, "Button", {356, 135, 448, 161}},
    };
    for (const ControlLayout& expected : layout) {
        SCOPED_TRACE(expected.id);
        HWND control = Control(expected.id);
        ASSERT_NE(control, nullptr);
        char windowClass[64] = {};
        GetClassNameA(control, windowClass, sizeof(windowClass));
        EXPECT_STREQ(windowClass, expected.windowClass);
        const RECT rect = RectInDialog(control);
        EXPECT_EQ(rect.left, expected.rect.left);
        EXPECT_EQ(rect.top, expected.rect.top);
        EXPECT_EQ(rect.right, expected.rect.right);
        EXPECT_EQ(rect.bottom, expected.rect.bottom);
    }
    // The list: its place and width; its closed height is that of its font.
    const RECT list = RectInDialog(Control(IDC_cboDrives));
    EXPECT_EQ(list.left, 12);
    EXPECT_EQ(list.top, 28);
    EXPECT_EQ(list.right, 448);
    EXPECT_LT(list.bottom, 58);
    // Centred in the work area.
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame = {};
    GetWindowRect(Dialog(), &frame);
    EXPECT_LE(std::abs((frame.left + frame.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (work.top + work.bottom)), 2);
}

// The window at a DPI, in proportions only (the widths of texts depend on the fonts installed):
// the client area and the Close button scaled from the template's pixels at 96 DPI, the dialog
// font's 8 points and the list's 13 pixels at that DPI, and every text fitting its control.
void ExpectLaidOutFor(HWND dialog, int dpi)
{
    RECT client = {};
    GetClientRect(dialog, &client);
    EXPECT_NEAR(client.right, MulDiv(460, dpi, 96), 2);
    EXPECT_NEAR(client.bottom, MulDiv(167, dpi, 96), 2);
    const RECT close = RectInDialog(GetDlgItem(dialog, IDC_cmdClose));
    EXPECT_NEAR(close.left, MulDiv(356, dpi, 96), 2);
    EXPECT_NEAR(close.bottom, MulDiv(161, dpi, 96), 2);
    EXPECT_EQ(std::abs(FontOf(GetDlgItem(dialog, IDC_Label1)).lfHeight), MulDiv(8, dpi, 72));
    EXPECT_EQ(std::abs(FontOf(GetDlgItem(dialog, IDC_cboDrives)).lfHeight), MulDiv(13, dpi, 96));
    for (int id : {IDC_Label1, IDC_lblUpdateMsg, IDC_lblMsg, IDC_lblPercent, IDC_lblNewFW, IDC_lblOldFW, IDC_cmdUpdate,
                   IDC_cmdClose}) {
        HWND control = GetDlgItem(dialog, id);
        const SIZE text = TextSize(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), TextOf(control));
        const RECT rect = RectInDialog(control);
        EXPECT_LE(text.cx, rect.right - rect.left) << id;
        EXPECT_LE(text.cy, rect.bottom - rect.top) << id;
    }
}

// At the system's DPI (tests/frontends/win32/dpi-sweep runs this at 96, 144 and 192 DPI and
// says which): laid out for it, and the caption whole in the title bar beside the icon and the
// button.
TEST_F(Win32WindowTest, DpiOfTheSystemScalesTheWindow)
{
    AddDrive();
    MakeWindow();
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const char* expected = std::getenv("NORVIK_EXPECTED_DPI");
    EXPECT_EQ(dpi, expected != nullptr ? std::atoi(expected) : dpi);
    ExpectLaidOutFor(Dialog(), dpi);

    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    HFONT captionFont = CreateFontIndirectA(&metrics.lfCaptionFont);
    const std::string caption = TextOf(Dialog());
    const SIZE text = TextSize(captionFont, caption);
    DeleteObject(captionFont);
    RECT frame = {};
    GetWindowRect(Dialog(), &frame);
    const int beside = GetSystemMetrics(SM_CXSMICON) + GetSystemMetrics(SM_CXSIZE) + 4 * GetSystemMetrics(SM_CXFRAME);
    EXPECT_GT(caption.size(), 20u);
    EXPECT_LE(text.cx + beside, frame.right - frame.left) << caption;
}

// Moved to a monitor of half as many DPI again: the window takes the frame the system suggests
// and lays itself out for that DPI; back on the first, it is as it was.
TEST_F(Win32WindowTest, DpiChangeTakesTheSuggestedFrameAndScalesAgain)
{
    AddDrive();
    MakeWindow();
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT before = {};
    GetWindowRect(Dialog(), &before);
    const RECT closeBefore = RectInDialog(Control(IDC_cmdClose));
    const int other = dpi * 3 / 2;
    RECT suggested = {10, 20, 10 + MulDiv(before.right - before.left, other, dpi),
                      20 + MulDiv(before.bottom - before.top, other, dpi)};
    SendMessageA(Dialog(), WM_DPICHANGED, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&suggested));
    RECT frame = {};
    GetWindowRect(Dialog(), &frame);
    EXPECT_TRUE(EqualRect(&frame, &suggested));
    const RECT close = RectInDialog(Control(IDC_cmdClose));
    EXPECT_NEAR(close.right, MulDiv(448, other, 96), 2);
    EXPECT_EQ(std::abs(FontOf(Control(IDC_cboDrives)).lfHeight), MulDiv(13, other, 96));

    SendMessageA(Dialog(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&before));
    ExpectLaidOutFor(Dialog(), dpi);
    const RECT closeAfter = RectInDialog(Control(IDC_cmdClose));
    EXPECT_TRUE(EqualRect(&closeBefore, &closeAfter));
}

TEST_F(Win32WindowTest, WindowAtRestShowsTheSelectedDrive)
{
    AddDrive();
    MakeWindow();

    char windowClass[64] = {};
    GetClassNameA(Dialog(), windowClass, sizeof(windowClass));
    EXPECT_STREQ(windowClass, "TNorvikMain");
    EXPECT_EQ(TextOf(Dialog()), "Flash Program for TALVORE DVDRW KRX-407T");
    EXPECT_TRUE(OwnStyle(Dialog(), WS_SYSMENU));
    EXPECT_FALSE(OwnStyle(Dialog(), WS_MINIMIZEBOX));
    EXPECT_FALSE(OwnStyle(Dialog(), WS_MAXIMIZEBOX));
    EXPECT_FALSE(OwnStyle(Dialog(), WS_THICKFRAME));
    HMENU systemMenu = GetSystemMenu(Dialog(), FALSE);
    ASSERT_NE(systemMenu, nullptr);
    EXPECT_EQ(GetMenuState(systemMenu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(GetMenuState(systemMenu, SC_MOVE, MF_BYCOMMAND), static_cast<UINT>(-1));

    EXPECT_EQ(Entries(), std::vector<std::string>{TalvoreEntry(0, "RN05")});
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(OwnStyle(Control(IDC_cboDrives), CBS_DROPDOWNLIST));

    EXPECT_EQ(Text(IDC_Label1), "Please select target drive :");
    EXPECT_EQ(Text(IDC_lblMsg), "");
    EXPECT_EQ(Text(IDC_lblPercent), "0 %");
    for (int navy : {IDC_lblMsg, IDC_lblPercent, IDC_lblNewFW, IDC_lblOldFW}) {
        EXPECT_EQ(TextColourOf(Dialog(), navy), kNavy) << navy;
        EXPECT_GE(FontOf(Control(navy)).lfWeight, FW_BOLD) << navy;
    }
    EXPECT_LT(FontOf(Control(IDC_lblUpdateMsg)).lfWeight, FW_BOLD);
    EXPECT_EQ(BarMinimum(), 0);
    EXPECT_EQ(BarMaximum(), 100);
    EXPECT_EQ(BarPosition(), 0);
    EXPECT_TRUE(OwnStyle(Control(IDC_pbar), PBS_SMOOTH));
    EXPECT_FALSE(window->ProgressTimerRunning());
    ExpectUpdatableShown("RN08", "RN05");

    EXPECT_EQ(Text(IDC_cmdUpdate), "&Update");
    EXPECT_EQ(Text(IDC_cmdClose), "&Close");
    for (int button : {IDC_cmdUpdate, IDC_cmdClose}) {
        EXPECT_FALSE(OwnStyle(Control(button), BS_ICON)) << "a glyph in place of the caption";
        EXPECT_NE(SendMessageA(Control(button), BM_GETIMAGE, IMAGE_ICON, 0), 0) << button;
    }
    EXPECT_TRUE(Enabled(IDC_cmdClose));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(window->TerminationRequested());
}

// The list's columns line up: Courier New of 13 pixels is asked for, and the font the system
// gives for it (Courier New, or the closest it has) draws every character of an entry alike.
TEST_F(Win32WindowTest, DriveListShowsEntriesInFixedPitch)
{
    AddDrive();
    MakeWindow();
    const LOGFONTA asked = FontOf(Control(IDC_cboDrives));
    EXPECT_STREQ(asked.lfFaceName, "Courier New");
    EXPECT_EQ(asked.lfHeight, -13);

    HDC context = GetDC(Control(IDC_cboDrives));
    HGDIOBJ previous = SelectObject(context,
                                    reinterpret_cast<HFONT>(SendMessageA(Control(IDC_cboDrives), WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(context, &metrics);
    // The flag's name is the wrong way round: set means a variable pitch.
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    const std::string entry = TalvoreEntry(0, "RN05");
    SIZE first = {};
    GetTextExtentPoint32A(context, entry.c_str(), 1, &first);
    for (const char character : entry) {
        SIZE size = {};
        GetTextExtentPoint32A(context, &character, 1, &size);
        EXPECT_EQ(size.cx, first.cx) << "'" << character << "'";
    }
    SelectObject(context, previous);
    ReleaseDC(Control(IDC_cboDrives), context);
}

// lblOldFW lies in the run of spaces after "from", lblNewFW right after "to", on the same line.
TEST_F(Win32WindowTest, RevisionLabelsSitInTheSentence)
{
    AddDrive();
    MakeWindow();
    HWND sentence = Control(IDC_lblUpdateMsg);
    HDC context = GetDC(sentence);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageA(sentence, WM_GETFONT, 0, 0)));
    const auto width = [context](const std::string& text) {
        SIZE size = {};
        GetTextExtentPoint32A(context, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    const RECT line = RectInDialog(sentence);
    const int gapStart = line.left + width("It will be updated from");
    const int gapEnd = line.left + width("It will be updated from             ");
    const int toEnd = line.left + width(kSentence);
    const int space = width(" ");
    SelectObject(context, previous);
    ReleaseDC(sentence, context);

    const RECT oldRevision = RectInDialog(Control(IDC_lblOldFW));
    const RECT newRevision = RectInDialog(Control(IDC_lblNewFW));
    EXPECT_GE(oldRevision.left, gapStart);
    EXPECT_LE(oldRevision.right, gapEnd);
    EXPECT_GT(newRevision.left, toEnd);
    EXPECT_LE(newRevision.left - toEnd, space + 1);
    EXPECT_EQ(oldRevision.top, line.top);
    EXPECT_EQ(newRevision.top, line.top);
    EXPECT_LE(newRevision.right, 460);
    // Above the sentence, so that it does not paint over them.
    for (HWND above = GetWindow(sentence, GW_HWNDPREV);; above = GetWindow(above, GW_HWNDPREV)) {
        ASSERT_NE(above, nullptr) << "a revision label lies below the sentence";
        if (above == Control(IDC_lblOldFW)) break;
    }
}

struct RefusalCase {
    const char* name;
    std::vector<const char*> drives;
    char howManyBin;
    char warning;
    MessageKind kind;
    const char* title;
    MessageButtons buttons;
    std::string text;
    std::vector<std::string> entries;
};

void PrintTo(const RefusalCase& refusal, std::ostream* out) { *out << refusal.name; }

class Win32StartUpRefusalTest : public Win32WindowTest, public ::testing::WithParamInterface<RefusalCase> {};

// Each refusal shows its box, tells the application to terminate (the quit waits in the queue),
// and starts no update.
TEST_P(Win32StartUpRefusalTest, ShowsItsBoxAndEnds)
{
    const RefusalCase& refusal = GetParam();
    for (const char* drive : refusal.drives) AddDrive(drive);
    Set(SettingKey::HOW_MANY_BIN, refusal.howManyBin);
    Set(SettingKey::WARNING, refusal.warning);
    Set(SettingKey::AUTOMODE, '1');
    boxes.Answer(MessageAnswer::No);
    MakeWindow();

    ASSERT_EQ(boxes.shown.size(), 1u);
    const ShownBox& box = boxes.shown[0];
    EXPECT_EQ(box.kind, refusal.kind);
    EXPECT_EQ(box.title, refusal.title);
    EXPECT_EQ(box.buttons, refusal.buttons);
    EXPECT_EQ(box.text, refusal.text);
    EXPECT_EQ(Entries(), refusal.entries);
    EXPECT_TRUE(window->TerminationRequested());
    EXPECT_FALSE(window->ProgressTimerRunning());
    EXPECT_EQ(window->Sequence().UpdateCount(), 0);
    EXPECT_EQ(CountOpcode(system.drive(0), kWriteBuffer), 0);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

INSTANTIATE_TEST_SUITE_P(Refusals, Win32StartUpRefusalTest,
                         ::testing::Values(RefusalCase{"NoFirmware",
                                                       {""},
                                                       '0',
                                                       '0',
                                                       MessageKind::Error,
                                                       "Error",
                                                       MessageButtons::Ok,
                                                       "No F/W in executable !",
                                                       {}},
                                           RefusalCase{"NoMatchedDrive",
                                                       {"rev=RN09", "product=DVDRW KRX-999T"},
                                                       '1',
                                                       '0',
                                                       MessageKind::Error,
                                                       "Error",
                                                       MessageButtons::Ok,
                                                       kNoMatchHead + " 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN09\n"
                                                                      " 0-0-1-0 sr1TALVORE DVDRW KRX-999T   RN05\n",
                                                       {" 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN09",
                                                        " 0-0-1-0 sr1TALVORE DVDRW KRX-999T   RN05"}},
                                           RefusalCase{"NoticeAnsweredNo",
                                                       {""},
                                                       '1',
                                                       '1',
                                                       MessageKind::Warning,
                                                       "Warning",
                                                       MessageButtons::YesNo,
                                                       kNotice,
                                                       {TalvoreEntry(0, "RN05")}}),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

// The guard of a message loop that should have ended by itself.
bool loopStillRunning = false;
void CALLBACK EndTheLoopAfterAll(HWND, UINT, UINT_PTR, DWORD)
{
    loopStillRunning = true;
    PostQuitMessage(0);
}

// The quit posted in the constructor ends the program's message loop as soon as it runs.
TEST_F(Win32WindowTest, TerminationAskedInTheConstructorEndsTheMessageLoop)
{
    AddDrive();
    Set(SettingKey::HOW_MANY_BIN, '0');
    loopStillRunning = false;
    const UINT_PTR guard = SetTimer(nullptr, 0, 10000, &EndTheLoopAfterAll);
    const int status = RunNorvikWindow([this] {
        return std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(block.get()),
                                             MadeUpProfiles::Allowed, &boxes);
    });
    KillTimer(nullptr, guard);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(loopStillRunning);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"No F/W in executable !"});
}

struct SelectionCase {
    std::vector<const char*> drives;
    int updatable;
    int refused;
};

void PrintTo(const SelectionCase& selection, std::ostream* out)
{
    *out << "updatable " << selection.updatable << ", refused " << selection.refused;
}

class Win32SelectionTest : public Win32WindowTest, public ::testing::WithParamInterface<SelectionCase> {};

// The user's choice in the list switches the verdict; a disabled Update takes no click, nor the
// Enter key's command.
TEST_P(Win32SelectionTest, ChoiceSwitchesTheVerdict)
{
    const SelectionCase& selection = GetParam();
    for (const char* drive : selection.drives) AddDrive(drive);
    MakeWindow();
    EXPECT_EQ(Selected(), selection.updatable);
    ExpectUpdatableShown("RN08", "RN05");

    Choose(selection.refused);
    EXPECT_EQ(Selected(), selection.refused);
    ExpectRefusedShown();

    Choose(selection.updatable);
    ExpectUpdatableShown("RN08", "RN05");

    Choose(selection.refused);
    ExpectRefusedShown();
    Click(IDC_cmdUpdate);
    SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_cmdUpdate, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(IDC_cmdUpdate)));
    EXPECT_FALSE(window->ProgressTimerRunning());
    EXPECT_EQ(window->Sequence().UpdateCount(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Selections, Win32SelectionTest,
                         ::testing::Values(SelectionCase{{"rev=RN05", "rev=RN09"}, 0, 1},
                                           SelectionCase{{"rev=RN09", "rev=RN05"}, 1, 0}));

// The worker's end reaches the window as a posted message; the completion shows "Done." in navy
// while the success box is open, then the window is at rest with the drive's new revision.
TEST_F(Win32WindowTest, ManualUpdateEndsInDoneWithTheNewRevision)
{
    sim::VirtualDrive& drive = AddDrive();
    MakeWindow();
    Click(IDC_cmdUpdate);

    EXPECT_TRUE(window->ProgressTimerRunning());
    EXPECT_FALSE(Enabled(IDC_cmdUpdate));
    EXPECT_FALSE(Enabled(IDC_cmdClose));
    EXPECT_EQ(TextColourOf(Dialog(), IDC_lblMsg), kMaroon);
    EXPECT_EQ(BarMaximum(), 330);
    EXPECT_EQ(BarPosition(), 0);

    ASSERT_TRUE(RunUntilUpdateOver());
    ASSERT_EQ(boxes.shown.size(), 1u);
    const ShownBox& box = boxes.shown[0];
    EXPECT_EQ(box.kind, MessageKind::Information);
    EXPECT_EQ(box.title, "Information");
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(box.text, kUpdated);
    EXPECT_EQ(box.statusThen, "Done.");
    EXPECT_EQ(box.statusColourThen, kNavy);

    EXPECT_EQ(Entries(), std::vector<std::string>{TalvoreEntry(0, "RN08")});
    EXPECT_EQ(Selected(), 0);
    ExpectUpdatableShown("RN08", "RN08");
    EXPECT_EQ(Text(IDC_lblMsg), "");
    EXPECT_EQ(Text(IDC_lblPercent), "0 %");
    EXPECT_EQ(BarPosition(), 0);
    EXPECT_EQ(BarMaximum(), 330);
    EXPECT_FALSE(window->ProgressTimerRunning());
    EXPECT_TRUE(Enabled(IDC_cmdClose));
    EXPECT_FALSE(window->TerminationRequested());
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
}

// Escape, the title bar's and the system's close requests are ignored, at rest and during an
// update; cmdClose is disabled during the update and ends the program after it.
TEST_F(Win32WindowTest, CloseOnlyThroughTheCloseButton)
{
    AddDrive();
    MakeWindow();
    const auto askToClose = [this] {
        SendMessageA(Dialog(), WM_CLOSE, 0, 0);
        SendMessageA(Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    askToClose();
    EXPECT_TRUE(IsWindow(Dialog()));
    EXPECT_FALSE(window->TerminationRequested());

    Click(IDC_cmdUpdate);
    EXPECT_FALSE(Enabled(IDC_cmdClose));
    SendMessageA(Dialog(), WM_COMMAND, MAKEWPARAM(IDC_cmdClose, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(IDC_cmdClose)));
    askToClose();
    EXPECT_TRUE(IsWindowVisible(Dialog()));
    EXPECT_FALSE(window->TerminationRequested());

    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kUpdated});
    EXPECT_FALSE(window->TerminationRequested());
    Click(IDC_cmdClose);
    EXPECT_TRUE(window->TerminationRequested());
    EXPECT_EQ(window->Sequence().Outcome(), SequenceOutcome::Closed);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The session may not end while the drive is written; the program ends once the outcome has been
// answered. At rest it may.
TEST_F(Win32WindowTest, EndOfSessionWaitsForTheFlash)
{
    sim::VirtualDrive& drive = AddDrive();
    MakeWindow();
    EXPECT_EQ(SendMessageA(Dialog(), WM_QUERYENDSESSION, 0, 0), TRUE);
    Click(IDC_cmdUpdate);
    EXPECT_EQ(SendMessageA(Dialog(), WM_QUERYENDSESSION, 0, 0), FALSE);
    EXPECT_FALSE(window->TerminationRequested());

    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kUpdated});
    EXPECT_TRUE(window->TerminationRequested());
    EXPECT_EQ(drive.flashState(), sim::FlashState::Good);
}

// The update starts in the constructor, before the window is first shown; the completion runs
// once, after both workers have ended, and the failing drive brings the error box.
TEST_F(Win32WindowTest, AutomaticModeWithTwoDrivesAndOneFailing)
{
    Set(SettingKey::AUTOMODE, '1');
    sim::VirtualDrive& good = AddDrive();
    sim::VirtualDrive& failing = AddDrive("fault=3B#3+:sense:4/00/00");
    window = std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(block.get()),
                                           MadeUpProfiles::Allowed, &boxes);
    EXPECT_FALSE(IsWindowVisible(Dialog()));
    EXPECT_TRUE(window->ProgressTimerRunning());
    EXPECT_FALSE(Enabled(IDC_cmdUpdate));
    EXPECT_FALSE(Enabled(IDC_cmdClose));
    EXPECT_EQ(window->Sequence().UpdateCount(), 2);
    ShowWindow(Dialog(), SW_SHOWNORMAL);

    ASSERT_TRUE(RunUntilUpdateOver());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(boxes.shown[0].title, "Error");
    EXPECT_EQ(boxes.shown[0].text, kUpdateFailed);
    EXPECT_EQ(boxes.shown[0].statusThen, "Inquiry ...");
    EXPECT_EQ(Text(IDC_lblPercent), "100 %");
    EXPECT_EQ(BarPosition(), 330);
    EXPECT_EQ(Entries(), (std::vector<std::string>{TalvoreEntry(0, "RN08"), TalvoreEntry(1, "RN05")}));
    EXPECT_TRUE(window->TerminationRequested());
    EXPECT_FALSE(window->ProgressTimerRunning());
    EXPECT_EQ(good.flashState(), sim::FlashState::Good);
    EXPECT_EQ(failing.lastCommit().commitCount, 0u);
}

struct ProgressCase {
    int ticks;
    int position;
    const char* percent;
    const char* status;
};

void PrintTo(const ProgressCase& progress, std::ostream* out) { *out << progress.ticks << " ticks"; }

class Win32ProgressTest : public Win32WindowTest, public ::testing::WithParamInterface<ProgressCase> {};

// The worker's end waits for this thread, so the ticks all come while the update is under way.
TEST_P(Win32ProgressTest, TicksMoveTheBarAndTheTexts)
{
    const ProgressCase& progress = GetParam();
    AddDrive();
    MakeWindow();
    Click(IDC_cmdUpdate);
    ASSERT_TRUE(window->ProgressTimerRunning());
    for (int tick = 0; tick < progress.ticks; ++tick) Tick();

    EXPECT_EQ(BarPosition(), progress.position);
    EXPECT_EQ(BarMaximum(), 330);
    EXPECT_EQ(Text(IDC_lblPercent), progress.percent);
    EXPECT_EQ(Text(IDC_lblMsg), progress.status);
    EXPECT_EQ(TextColourOf(Dialog(), IDC_lblMsg), kMaroon);
    ASSERT_TRUE(RunUntilUpdateOver());
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kUpdated});
}

INSTANTIATE_TEST_SUITE_P(Ticks, Win32ProgressTest,
                         ::testing::Values(ProgressCase{1, 1, "0 %", "Programming ."},
                                           ProgressCase{4, 4, "1 %", "Programming ...."},
                                           ProgressCase{10, 10, "3 %", "Programming "},
                                           ProgressCase{330, 330, "100 %", "Programming "},
                                           ProgressCase{332, 330, "100 %", "Programming .........."}));

struct StandardBoxCase {
    MessageKind kind;
    MessageButtons buttons;
    UINT style;
    int chosen;  // what the box returned
    MessageAnswer answer;
};

void PrintTo(const StandardBoxCase& box, std::ostream* out)
{
    *out << "kind " << static_cast<int>(box.kind) << ", buttons " << static_cast<int>(box.buttons) << ", chosen "
         << box.chosen;
}

class Win32StandardBoxTest : public ::testing::TestWithParam<StandardBoxCase> {};

// The system's boxes as the program asks for them, and what the user's choice answers: closing a
// give-up box or pressing Escape in it (IDCANCEL) never gives a drive up.
TEST_P(Win32StandardBoxTest, StyleAndAnswer)
{
    const StandardBoxCase& box = GetParam();
    EXPECT_EQ(MessageBoxStyle(box.kind, box.buttons), box.style);
    EXPECT_EQ(AnswerOfMessageBox(box.buttons, box.chosen), box.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, Win32StandardBoxTest,
    ::testing::Values(StandardBoxCase{MessageKind::Warning, MessageButtons::YesNo,
                                      MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON1, IDYES, MessageAnswer::Yes},
                      StandardBoxCase{MessageKind::Warning, MessageButtons::YesNo,
                                      MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON1, IDNO, MessageAnswer::No},
                      StandardBoxCase{MessageKind::Warning, MessageButtons::YesNo,
                                      MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON1, 0, MessageAnswer::No},
                      StandardBoxCase{MessageKind::Error, MessageButtons::Ok, MB_ICONERROR | MB_OK, IDOK,
                                      MessageAnswer::Ok},
                      StandardBoxCase{MessageKind::Information, MessageButtons::Ok, MB_ICONINFORMATION | MB_OK, IDOK,
                                      MessageAnswer::Ok},
                      StandardBoxCase{MessageKind::Warning, MessageButtons::OkGiveUp, MB_ICONWARNING | MB_OK, IDOK,
                                      MessageAnswer::Ok},
                      StandardBoxCase{MessageKind::Warning, MessageButtons::OkGiveUp, MB_ICONWARNING | MB_OK, IDCANCEL,
                                      MessageAnswer::Ok},
                      StandardBoxCase{MessageKind::Warning, MessageButtons::OkGiveUp, MB_ICONWARNING | MB_OK,
                                      kGiveUpButton, MessageAnswer::No}));
