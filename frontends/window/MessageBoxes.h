#pragma once
// How the window asks the user: one modal message box of a kind, with a caption, a text and its
// buttons, answered when the user has chosen. The program uses Qt's standard boxes; window tests
// give a scripted implementation that records every box and answers it.

#include <string_view>

#include "update/UpdateView.h"

class QWidget;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // owner is the window the box belongs to (centred over it when it is shown). An OK box
    // answers Ok; a Yes/No box answers Yes or No, and closing it counts as No; an OK box with a
    // give-up button answers No for that button and Ok otherwise, closing it included.
    virtual MessageAnswer Ask(QWidget* owner, MessageKind kind, std::string_view title, std::string_view text,
                              MessageButtons buttons) = 0;
};

// Qt's standard boxes: the warning, critical and information icons, the texts as plain text
// (line feeds and runs of spaces kept), Yes as the default button of a question, OK as the
// default and escape button of a box that offers to give a drive up ("Give Up", Qt's Abort).
class StandardMessageBoxes : public MessageBoxes {
public:
    MessageAnswer Ask(QWidget* owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override;
};
