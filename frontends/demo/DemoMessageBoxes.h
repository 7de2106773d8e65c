#pragma once
// The demo's message boxes for any toolkit: the boxes the user answers (the toolkit's standard
// boxes unless others are given), and the user's hand behind them: once a warning asking for the
// disc is acknowledged, the disc is gone from the open tray.
//
// Boxes is the toolkit's box interface, StandardBoxes its standard boxes, Owner what a box is
// shown over.

#include <string_view>

#include "frontends/demo/DemoSystem.h"
#include "update/UpdateView.h"

template <class Boxes, class StandardBoxes, class Owner>
class DemoBoxes : public Boxes {
public:
    // answering: who answers the boxes (null: the standard boxes); it must outlive these.
    explicit DemoBoxes(DemoSystem& system, Boxes* answering = nullptr)
        : system(system), answering(answering != nullptr ? *answering : standardBoxes)
    {}

    MessageAnswer Ask(Owner owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override
    {
        const MessageAnswer answer = answering.Ask(owner, kind, title, text, buttons);
        system.MessageAnswered(text);
        return answer;
    }

private:
    DemoSystem& system;
    StandardBoxes standardBoxes;
    Boxes& answering;
};
