// The Windows window at the system's DPI (tests/frontends/win32/dpi-sweep runs it under Wine at
// several LogPixels values) and through a change of DPI: its client area grows with the DPI, and
// every text fits the control that shows it, the window's caption included. Proportions only:
// the pixel widths of texts depend on the fonts installed.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "frontends/win32/ControlIds.h"
#include "frontends/win32/NorvikMain.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"

namespace {

// The client area and a control of the template, in its pixels at 96 DPI.
constexpr int kTemplateWidth = 460;
constexpr int kTemplateHeight = 167;
constexpr RECT kTemplateClose = {356, 135, 448, 161};
constexpr int kTolerance = 2;  // pixels lost to rounding

int SystemDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

RECT RectInDialog(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The size of a text in a font.
SIZE Measure(HFONT font, const std::string& text)
{
    HDC context = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(context, font);
    SIZE size = {};
    GetTextExtentPoint32A(context, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(context, previous);
    ReleaseDC(nullptr, context);
    return size;
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// No box may wait for a hand: each is acknowledged, or declined when it asks.
class AnsweringBoxes : public MessageBoxes {
public:
    MessageAnswer Ask(HWND, MessageKind, std::string_view, std::string_view, MessageButtons buttons) override
    {
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
};

class Win32DpiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        block = std::make_unique<payload::PackageBlock>();
        std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
        // A synthetic firmware in the image area, without the notice and the restart.
        for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
            block->imageArea[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
        for (SettingKey key : {SettingKey::WARNING, SettingKey::REBOOT}) {
            const payload::EntryLocation& entry = payload::kConfigurationEntries[static_cast<int>(key)];
            reinterpret_cast<uint8_t*>(block.get())[entry.offset + entry.key.size()] = '0';
        }
        std::string reason;
        ASSERT_NE(system.AddDrive("", reason), nullptr) << reason;
        window = std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(block.get()),
                                               MadeUpProfiles::Allowed, &boxes);
        ASSERT_FALSE(window->TerminationRequested());
        ShowWindow(window->Handle(), SW_SHOWNORMAL);
    }

    void TearDown() override
    {
        window.reset();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND Dialog() const { return window->Handle(); }

    // Every text of the window fits its control, in the control's own font; the caption fits the
    // title bar beside the window's icon and its button.
    void ExpectTextsFit()
    {
        for (int id : {IDC_Label1, IDC_lblUpdateMsg, IDC_lblMsg, IDC_lblPercent, IDC_lblNewFW, IDC_lblOldFW,
                       IDC_cmdUpdate, IDC_cmdClose}) {
            SCOPED_TRACE(id);
            HWND control = window->Control(id);
            const SIZE text = Measure(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)),
                                      TextOf(control));
            const RECT rect = RectInDialog(control);
            EXPECT_LE(text.cx, rect.right - rect.left);
            EXPECT_LE(text.cy, rect.bottom - rect.top);
        }
        NONCLIENTMETRICSA metrics = {};
        metrics.cbSize = sizeof(metrics);
        ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
        HFONT captionFont = CreateFontIndirectA(&metrics.lfCaptionFont);
        const std::string caption = TextOf(Dialog());
        const SIZE text = Measure(captionFont, caption);
        DeleteObject(captionFont);
        RECT frame = {};
        GetWindowRect(Dialog(), &frame);
        const int beside = GetSystemMetrics(SM_CXSMICON) + GetSystemMetrics(SM_CXSIZE) +
                           4 * GetSystemMetrics(SM_CXFRAME);
        EXPECT_GT(caption.size(), 20u);
        EXPECT_LE(text.cx + beside, frame.right - frame.left) << caption;
    }

    // The client area, the Close button and the fonts at a DPI, within rounding.
    void ExpectScaledTo(int dpi)
    {
        RECT client = {};
        GetClientRect(Dialog(), &client);
        EXPECT_NEAR(client.right, MulDiv(kTemplateWidth, dpi, 96), kTolerance);
        EXPECT_NEAR(client.bottom, MulDiv(kTemplateHeight, dpi, 96), kTolerance);
        const RECT close = RectInDialog(window->Control(IDC_cmdClose));
        EXPECT_NEAR(close.left, MulDiv(kTemplateClose.left, dpi, 96), kTolerance);
        EXPECT_NEAR(close.bottom, MulDiv(kTemplateClose.bottom, dpi, 96), kTolerance);
        LOGFONTA label = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window->Control(IDC_Label1), WM_GETFONT, 0, 0)), sizeof(label),
                   &label);
        EXPECT_EQ(std::abs(label.lfHeight), MulDiv(8, dpi, 72));
        LOGFONTA list = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window->Control(IDC_cboDrives), WM_GETFONT, 0, 0)),
                   sizeof(list), &list);
        EXPECT_EQ(std::abs(list.lfHeight), MulDiv(13, dpi, 96));
    }

    std::unique_ptr<payload::PackageBlock> block;
    sim::VirtualSystem system;
    AnsweringBoxes boxes;
    std::unique_ptr<TNorvikMain> window;
};

// At the system's DPI, which must be the one the run was set up for when it says so.
TEST_F(Win32DpiTest, WindowScalesWithTheSystemDpi)
{
    const int dpi = SystemDpi();
    const char* expected = std::getenv("NORVIK_EXPECTED_DPI");
    if (expected != nullptr) {
        EXPECT_EQ(dpi, std::atoi(expected));
    }
    ExpectScaledTo(dpi);
    ExpectTextsFit();
}

// Moved to a monitor of another DPI: the window takes the frame the system suggests and lays
// itself out for that DPI; back on the first, it is as it was.
TEST_F(Win32DpiTest, DpiChangeTakesTheSuggestedFrameAndScalesAgain)
{
    const int dpi = SystemDpi();
    RECT before = {};
    GetWindowRect(Dialog(), &before);
    const RECT closeBefore = RectInDialog(window->Control(IDC_cmdClose));
    for (const int other : {dpi * 3 / 2, dpi * 3 / 4}) {
        SCOPED_TRACE(other);
        RECT suggested = {10, 20, 10 + MulDiv(before.right - before.left, other, dpi),
                          20 + MulDiv(before.bottom - before.top, other, dpi)};
        SendMessageA(Dialog(), WM_DPICHANGED, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&suggested));
        RECT frame = {};
        GetWindowRect(Dialog(), &frame);
        EXPECT_EQ(frame.left, suggested.left);
        EXPECT_EQ(frame.top, suggested.top);
        EXPECT_EQ(frame.right, suggested.right);
        EXPECT_EQ(frame.bottom, suggested.bottom);
        const RECT close = RectInDialog(window->Control(IDC_cmdClose));
        EXPECT_NEAR(close.right, MulDiv(kTemplateClose.right, other, 96), kTolerance);
        LOGFONTA list = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window->Control(IDC_cboDrives), WM_GETFONT, 0, 0)),
                   sizeof(list), &list);
        EXPECT_EQ(std::abs(list.lfHeight), MulDiv(13, other, 96));
    }
    SendMessageA(Dialog(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&before));
    ExpectScaledTo(dpi);
    const RECT closeAfter = RectInDialog(window->Control(IDC_cmdClose));
    EXPECT_TRUE(EqualRect(&closeBefore, &closeAfter));
}

}  // namespace
