#pragma once
// Message boxes answered by a script, for the window tests: every box is recorded with what the
// window showed while it was open, and answered in turn. An action given with an answer runs
// while the box is "open", as the user's hands and a modal box's own event loop would.

#include <QtGui/QColor>
#include <QtGui/QPalette>
#include <QtWidgets/QLabel>
#include <QtWidgets/QWidget>

#include <deque>
#include <functional>
#include <vector>

#include "frontends/window/MessageBoxes.h"
#include "tests/update/ScriptedView.h"

namespace windowtest {

struct ShownBox {
    MessageKind kind;
    QString title;
    QString text;
    MessageButtons buttons;
    QString statusThen;  // lblMsg while the box was open
    QColor statusColourThen;
};

class ScriptedBoxes : public MessageBoxes {
public:
    void Answer(MessageAnswer answer, std::function<void()> whileOpen = {})
    {
        script.push_back({answer, std::move(whileOpen)});
    }

    MessageAnswer Ask(QWidget* owner, MessageKind kind, std::string_view title, std::string_view text,
                      MessageButtons buttons) override
    {
        ShownBox box{kind, ToQString(title), ToQString(text), buttons, {}, {}};
        if (const auto* status = owner->findChild<QLabel*>(QStringLiteral("lblMsg"))) {
            box.statusThen = status->text();
            box.statusColourThen = status->palette().color(QPalette::WindowText);
        }
        shown.push_back(box);
        if (script.empty()) return sequencetest::Unscripted(buttons);
        Scripted next = std::move(script.front());
        script.pop_front();
        if (next.whileOpen) next.whileOpen();
        return next.answer;
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const ShownBox& box : shown) texts << box.text;
        return texts;
    }

    std::vector<ShownBox> shown;

private:
    struct Scripted {
        MessageAnswer answer;
        std::function<void()> whileOpen;
    };
    static QString ToQString(std::string_view text)
    {
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }

    std::deque<Scripted> script;
};

}  // namespace windowtest
