#pragma once
// A single-line text box that reports what the main window's handlers listen for: the focus
// arriving, the focus about to leave for another control (validation, then lost focus), and
// each character typed, as a character code the handler may swallow (set it to 0).

#include <QLineEdit>

#include <functional>

namespace dialvane {

class TextBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

    // Given the character code of each typed character; set it to 0 to swallow the key.
    std::function<void(int& keyCode)> keyPress;

signals:
    void gotFocus();
    void validate();
    void lostFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The character code a key delivers to a text box (13 for Enter, 8 for backspace, 27 for
// Escape), or 0 for a key that types nothing (arrows, function keys, modifiers).
int keyAscii(const QKeyEvent& key);

} // namespace dialvane
