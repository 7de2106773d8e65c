#include "frontends/window/MessageBoxes.h"

#include <QtCore/QCoreApplication>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>

namespace {

QMessageBox::Icon IconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QString FromView(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QMessageBox::StandardButtons StandardButtonsOf(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::OkGiveUp: return QMessageBox::Ok | QMessageBox::Abort;
    }
    return QMessageBox::Ok;
}

// What the button the box was left with answers; Abort is the give-up button of an OK box.
MessageAnswer AnswerOf(MessageButtons buttons, int chosen)
{
    switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return chosen == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    case MessageButtons::OkGiveUp: return chosen == QMessageBox::Abort ? MessageAnswer::No : MessageAnswer::Ok;
    }
    return MessageAnswer::Ok;
}

}  // namespace

MessageAnswer StandardMessageBoxes::Ask(QWidget* owner, MessageKind kind, std::string_view title, std::string_view text,
                                        MessageButtons buttons)
{
    QMessageBox box(IconOf(kind), FromView(title), FromView(text), StandardButtonsOf(buttons), owner);
    // The texts carry their own line feeds and spacing; nothing in them is markup.
    box.setTextFormat(Qt::PlainText);
    switch (buttons) {
    case MessageButtons::Ok: break;
    case MessageButtons::YesNo:
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    case MessageButtons::OkGiveUp:
        box.button(QMessageBox::Abort)->setText(QCoreApplication::translate("MessageBoxes", "Give Up"));
        // Giving a drive up must be a deliberate click: Enter, Escape and closing the box all
        // mean OK (Qt would otherwise let Escape take the Abort button, a rejecting one).
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    }
    return AnswerOf(buttons, box.exec());
}
