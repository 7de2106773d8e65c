// Drive-letter roots, their volume devices, and the texts the user reads about a drive.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/DriveTexts.h"

namespace {

using namespace platform::win32;

TEST(DriveLetterRoot, OnlyALetterAndAColonNameAVolume)
{
    struct {
        const char* root;
        const char* volume;
    } const cases[] = {
        {"D:\\", "\\\\.\\D:"},
        {"d:", "\\\\.\\D:"},
        {"Z:\\", "\\\\.\\Z:"},
        {"D:\\x", ""},
        {"D", ""},
        {"1:\\", ""},
        {"", ""},
        {"/dev/sr0", ""},
        {nullptr, ""},
        {"\\\\.\\D:", ""},
        {"DD:\\", ""},
    };
    for (const auto& c : cases) {
        char volume[kVolumePathSize];
        EXPECT_EQ(VolumePathOfRoot(c.root, volume), c.volume[0] != '\0') << (c.root ? c.root : "(null)");
        EXPECT_STREQ(volume, c.volume) << (c.root ? c.root : "(null)");
    }
}

TEST(DriveTexts, NameTheDriveAndSayWhatToDo)
{
    char refusal[platform::kRefusalSize];
    FormatInUseRefusal('E', refusal);
    EXPECT_STREQ(refusal, "The drive E: is in use by another program");
    FormatOpenRefusal('E', "The device is not ready", refusal);
    EXPECT_STREQ(refusal, "The drive E: could not be opened: The device is not ready");

    char advice[kAdviceSize];
    struct {
        RefusedStep step;
        AdviceHost host;
        const char* remedy;
    } const cases[] = {
        {RefusedStep::Open, AdviceHost::Windows, "\nRun Norvik as an administrator"},
        {RefusedStep::Command, AdviceHost::Windows, "\nRun Norvik as an administrator"},
        {RefusedStep::Open, AdviceHost::Wine, "dosdevices/e:: leads to: add your user to that node's group"},
        {RefusedStep::Command, AdviceHost::Wine, "dosdevices/e:: lead to the drive's SCSI generic node"},
    };
    for (const auto& c : cases) {
        FormatPermissionAdvice(c.step, 'E', c.host, advice);
        EXPECT_NE(std::strstr(advice, "the drive E:"), nullptr) << advice;
        EXPECT_NE(std::strstr(advice, c.remedy), nullptr) << advice;
    }
    // A console's advice is one line that says what to do from a command prompt.
    FormatPermissionAdvice(RefusedStep::Open, 'E', AdviceHost::Windows, advice, AdviceReader::Console);
    EXPECT_STREQ(advice,
                 "No permission to open the drive E: for drive commands; run norvik-cli from an administrator's "
                 "command prompt (right-click Command Prompt, \"Run as administrator\").");
}

TEST(DriveTexts, SystemMessagesLoseTheirLineEndAndFullStop)
{
    char text[] = "Access is denied.\r\n";
    TrimSystemMessage(text);
    EXPECT_STREQ(text, "Access is denied");
}

TEST(DriveNote, TheFirstNoteStays)
{
    FirstNote note;
    EXPECT_EQ(note.Text(), nullptr);
    EXPECT_TRUE(note.Note("first"));
    EXPECT_FALSE(note.Note("second"));
    EXPECT_STREQ(note.Text(), "first");
}

}  // namespace
