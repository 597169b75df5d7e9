#pragma once
// A text box that hands each typed character to a key filter before taking it, the way the main
// window's text boxes do: the filter gets the character code (13 Enter, 8 backspace) and may
// set it to 0 to swallow the key.

#include <QKeyEvent>
#include <QLineEdit>

#include <functional>

namespace dialvane::test {

class TypingBox : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void(int& KeyAscii)> filter;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        int code = 0;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            code = 13;
        else if (event->key() == Qt::Key_Backspace)
            code = 8;
        else if (event->text().size() == 1)
            code = event->text().at(0).unicode();
        if (code != 0 && filter) {
            filter(code);
            if (code == 0) {
                event->accept();
                return;
            }
        }
        QLineEdit::keyPressEvent(event);
    }
};

} // namespace dialvane::test
