#include "mainwindow/TextBox.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace dialvane {

int keyAscii(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return 0; // shortcuts and editing commands, not characters
    const QString text = key.text();
    if (text.size() != 1 || !text.at(0).isPrint())
        return 0;
    return text.at(0).unicode();
}

void TextBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // The window coming back to the front does not move the focus between controls.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit gotFocus();
}

void TextBox::focusOutEvent(QFocusEvent* event) {
    const bool toAnotherControl =
        event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
    if (toAnotherControl)
        emit validate();
    QLineEdit::focusOutEvent(event);
    if (toAnotherControl)
        emit lostFocus();
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    int keyCode = keyPress ? keyAscii(*event) : 0;
    if (keyCode == 0) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    keyPress(keyCode);
    if (keyCode == 0) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace dialvane
