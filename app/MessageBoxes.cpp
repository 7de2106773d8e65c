#include "app/MessageBoxes.h"

#include <QtWidgets/QMessageBox>

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

QString FromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MessageAnswer StandardMessageBoxes::Ask(QWidget* owner, MessageKind kind, std::string_view title,
                                        std::string_view text, MessageButtons buttons)
{
    const bool question = buttons == MessageButtons::YesNo;
    QMessageBox box(IconOf(kind), FromView(title), FromView(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    // The texts carry their own line feeds and spacing; nothing in them is markup.
    box.setTextFormat(Qt::PlainText);
    if (question) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const int chosen = box.exec();
    if (!question) return MessageAnswer::Ok;
    return chosen == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}
