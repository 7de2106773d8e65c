// norvik-demo.exe's window under Wine: its command line makes the drives and the choice it
// describes, and the user's hand behind its message boxes takes the disc off the open tray. The
// drives run on instant timing (each drive's own entry overrides the demo's realistic one).

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontends/demo/DemoOptions.h"
#include "frontends/demo/DemoPackage.h"
#include "frontends/demo/DemoSystem.h"
#include "frontends/win32/ControlIds.h"
#include "frontends/win32/DemoRun.h"
#include "tests/frontends/win32/MessagePump.h"
#include "update/SequenceTexts.h"

namespace {

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// The user answers every box: OK, Yes, and gives a drive up where the box offers it, so that a
// check that never ends ends the test instead.
class AnsweringBoxes : public MessageBoxes {
public:
    MessageAnswer Ask(HWND, MessageKind, std::string_view, std::string_view text, MessageButtons buttons) override
    {
        texts.emplace_back(text);
        if (buttons == MessageButtons::OkGiveUp) return MessageAnswer::No;
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }

    std::vector<std::string> texts;
};

class NorvikDemoWin32Test : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // The program's entry up to its message loop, on these arguments.
    void Start(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "norvik-demo");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        std::string reason;
        ASSERT_TRUE(ParseDemoOptions(static_cast<int>(argv.size()), argv.data(), options, reason)) << reason;
        package = MakeDemoPackage(options.settings, reason);
        ASSERT_NE(package, nullptr) << reason;
        ASSERT_TRUE(system.AddDrives(options.drives, reason)) << reason;
        window = MakeDemoWindow(system, *package, boxes, options);
        ShowWindow(window->Handle(), SW_SHOWNORMAL);
    }

    bool RunUntil(const std::function<bool()>& done) { return PumpMessagesUntil(*window, done); }

    HWND Control(int id) const { return window->Control(id); }
    int Selected() const { return static_cast<int>(SendMessageA(Control(IDC_cboDrives), CB_GETCURSEL, 0, 0)); }

    DemoOptions options;
    std::unique_ptr<payload::PackageBlock> package;
    DemoSystem system;
    AnsweringBoxes answering;
    DemoMessageBoxes boxes{system, &answering};
    std::unique_ptr<TNorvikMain> window;
};

TEST_F(NorvikDemoWin32Test, ChooseTakesTheEntryOnceTheLoopRuns)
{
    Start({"--set", "WARNING=0", "rev=RN05,timing=instant", "rev=RN09,timing=instant", "--choose", "1"});
    ASSERT_EQ(SendMessageA(Control(IDC_cboDrives), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(Selected(), 0);

    ASSERT_TRUE(RunUntil([this] { return Selected() == 1; }));
    RunUntil([] { return true; });
    EXPECT_EQ(TextOf(Control(IDC_lblUpdateMsg)), "This drive is not allowed to be updated.");
    EXPECT_EQ(IsWindowEnabled(Control(IDC_cmdUpdate)), FALSE);
    EXPECT_TRUE(answering.texts.empty());
}

// The demo's own package checks the disc: the disc the check ejects is taken off the tray once
// the box asking for it is answered, the drive is programmed, and the restart it asks for is
// shown in a box of its own.
TEST_F(NorvikDemoWin32Test, AnsweredDiscBoxEmptiesTheTrayAndTheRestartIsShown)
{
    Start({"--set", "WARNING=0", "rev=RN05,disc=1,timing=instant"});
    SendMessageA(Control(IDC_cmdUpdate), BM_CLICK, 0, 0);
    ASSERT_TRUE(RunUntil([this] { return window->TerminationRequested(); }));

    // With the package's REBOOT=1 the restart takes the place of the success box.
    const std::vector<std::string> expected{std::string(texts::kRemoveDisc), kRestartText};
    EXPECT_EQ(answering.texts, expected);
    EXPECT_FALSE(system.drive(0).discPresent());
    EXPECT_STREQ(system.drive(0).revision(), "RN08");
    EXPECT_EQ(system.restartRequests().size(), 1u);
}

}  // namespace
