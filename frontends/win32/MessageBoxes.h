#pragma once
// How the window asks the user: one modal message box of a kind, with a caption, a text and its
// buttons, answered when the user has chosen. The program uses the system's standard boxes;
// window tests give a scripted implementation that records every box and answers it.
//
// A box runs its own message loop: the window's messages (a worker's end among them) are handled
// while it is open, as the sequence expects.

#include <windows.h>

#include <string_view>

#include "update/UpdateView.h"

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // owner is the window the box belongs to. An OK box answers Ok; a Yes/No box answers Yes or
    // No; an OK box with a give-up button answers No for that button and Ok otherwise, closing
    // it and the Escape key included.
    virtual MessageAnswer Ask(HWND owner, MessageKind kind, std::string_view title, std::string_view text,
                              MessageButtons buttons) = 0;
};

// MessageBoxA with the warning, error or information icon, OK or Yes and No (Yes the default).
// The give-up box is a task dialog with OK (the default) and "Give Up"; where the system has no
// task dialogs it is a plain OK box, which never gives a drive up.
class StandardMessageBoxes : public MessageBoxes {
public:
    MessageAnswer Ask(HWND owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override;
};

// What a standard box is made of, and what its answer means: for the window's tests.
UINT MessageBoxStyle(MessageKind kind, MessageButtons buttons);
MessageAnswer AnswerOfMessageBox(MessageButtons buttons, int chosen);
// The task dialog's identifier of the give-up button.
inline constexpr int kGiveUpButton = 1001;
