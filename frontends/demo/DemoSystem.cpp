#include "frontends/demo/DemoSystem.h"

#include "update/SequenceTexts.h"

bool DemoSystem::AddDrives(const std::vector<std::string>& drives, std::string& reason)
{
    for (const std::string& text : drives) {
        std::string why;
        if (AddDrive(text, why) == nullptr) {
            reason = "drive \"" + text + "\": " + (why.empty() ? "no room for another drive" : why);
            return false;
        }
    }
    return true;
}

bool DemoSystem::RequestRestart(uint32_t flags)
{
    const bool accepted = sim::VirtualSystem::RequestRestart(flags);
    if (tellRestart) tellRestart(flags);
    return accepted;
}

void DemoSystem::TakeDiscsFromOpenTrays()
{
    for (int index = 0; index < driveCount(); ++index) {
        sim::VirtualDrive& virtualDrive = drive(index);
        if (virtualDrive.trayOpen() && virtualDrive.discPresent()) virtualDrive.TakeDiscAway();
    }
}

void DemoSystem::MessageAnswered(std::string_view text)
{
    const auto shown = [this](std::string_view source) {
        return shownIn != nullptr ? shownIn->Translated(source) : source;
    };
    if (text == shown(texts::kRemoveDisc) || text == shown(texts::kDiscLocked)) TakeDiscsFromOpenTrays();
}
