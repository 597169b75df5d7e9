#include "textentry/MainModule.h"

#include "common/Paths.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace dialvane {

namespace {

constexpr int kBackspace = 8;
constexpr int kEnter = 13;

std::function<void()>& refusalBeep() {
    static std::function<void()> beep;
    return beep;
}

void soundRefusal() {
    if (const auto& beep = refusalBeep())
        beep();
    else
        QApplication::beep();
}

// Only a plain single-line text box has a text the filter may read and clear; the edit part of
// a combo box belongs to the combo box.
QLineEdit* asTextBox(QWidget* control) {
    auto* box = qobject_cast<QLineEdit*>(control);
    if (!box || qobject_cast<QComboBox*>(box->parentWidget()))
        return nullptr;
    return box;
}

// 1-based position of the first or last `c` in `text`, 0 when it has none: the mask rules
// below are written in these terms, where "no separator" conveniently counts as position 0.
qsizetype firstPosition(const QString& text, QChar c) {
    return text.indexOf(c) + 1;
}
qsizetype lastPosition(const QString& text, QChar c) {
    return text.lastIndexOf(c) + 1;
}

// What the box would hold with `typed` accepted, group separators left out. A mask that starts
// with "-" reserves a sign position, so an unsigned text is measured as if it had its sign.
QString projectedText(const QString& text, qsizetype start, qsizetype length, QChar typed,
                      const QString& mask, QChar group) {
    QString projected;
    if (mask.startsWith(QLatin1Char('-')) && !text.startsWith(QLatin1Char('-')))
        projected += QLatin1Char('-');
    projected += text.left(start) + typed + text.mid(start + length);
    projected.remove(group);
    return projected;
}

bool fitsMask(const QString& projected, const QString& mask, QChar decimal) {
    const QChar point = QLatin1Char('.');
    if (projected.contains(decimal)) {
        const qsizetype fraction = projected.size() - lastPosition(projected, decimal);
        const qsizetype allowedFraction = mask.size() - lastPosition(mask, point);
        if (fraction > allowedFraction)
            return false;
        return firstPosition(projected, decimal) <= firstPosition(mask, point);
    }
    if (mask.contains(point))
        return projected.size() <= firstPosition(mask, point) - 1;
    return projected.size() <= mask.size();
}

} // namespace

QChar GetDecimalSeparator(const QLocale& locale) {
    const QString text = locale.toString(3.0 / 2.0).trimmed();
    return text.size() > 1 ? text.at(1) : QLatin1Char('.');
}

QChar GetGroupSeparator(const QLocale& locale) {
    const QString text = locale.toString(1000.0, 'f', 2).trimmed();
    return text.size() > 1 ? text.at(1) : QLatin1Char('0');
}

void setRefusalBeep(std::function<void()> beep) {
    refusalBeep() = std::move(beep);
}

int FilterNumericKey(QWidget* focused, int& keyCode, const QString& mask, const QLocale& locale) {
    const QChar decimal = GetDecimalSeparator(locale);
    const QChar group = GetGroupSeparator(locale);
    QLineEdit* box = asTextBox(focused);
    const QString text = box ? box->text() : QString();
    const qsizetype length = box ? box->selectedText().size() : 0;
    const qsizetype start =
        box ? (box->hasSelectedText() ? box->selectionStart() : box->cursorPosition()) : 0;
    const auto fits = [&] {
        const QChar typed(static_cast<char16_t>(keyCode));
        return fitsMask(projectedText(text, start, length, typed, mask, group), mask, decimal);
    };
    const bool maskAllowsMinus = mask.isEmpty() || mask.contains(QLatin1Char('-'));
    const bool maskAllowsDecimal = mask.isEmpty() || mask.contains(QLatin1Char('.'));

    if (keyCode >= '0' && keyCode <= '9') {
        if (box) {
            // A digit in front of the sign would leave the sign inside the number.
            if (text.startsWith(QLatin1Char('-')) && start == 0 && length == 0)
                keyCode = 0;
            else if (!mask.isEmpty() && !fits())
                keyCode = 0;
        }
    } else if (keyCode == '-') {
        // Only with the caret at the start; a sign already there is not looked for.
        if (!maskAllowsMinus || (box && start != 0))
            keyCode = 0;
    } else if (keyCode != decimal.unicode()) {
        // Backspace and Enter edit and leave the field as usual: nothing cleared, no beep.
        if (keyCode == kBackspace || keyCode == kEnter)
            return keyCode;
        keyCode = 0;
    } else if (!maskAllowsDecimal) {
        keyCode = 0;
    } else if (box) {
        const qsizetype existing = firstPosition(text, decimal);
        if (existing == 0) {
            if (!mask.isEmpty() && !fits())
                keyCode = 0;
        } else if (length == 0 || existing < start + 1 || existing > start + length) {
            // A second separator only replaces the first one when the selection covers it.
            keyCode = 0;
        } else if (!mask.isEmpty() && !fits()) {
            keyCode = 0;
        }
    }

    // A wholly selected text is the old value the operator is typing over (the focus selects
    // it all): it goes on the first key, even a refused one.
    if (box && text.size() == length)
        box->setText(QString());
    if (keyCode == 0)
        soundRefusal();
    return keyCode;
}

void DaysToKeepKeyPress(QLineEdit* field, int& keyCode, const QLocale& locale) {
    FilterNumericKey(field, keyCode, QStringLiteral("999"), locale);
    if (keyCode == kEnter && field) {
        // Posted, not sent: the Enter key finishes first, then the focus moves on exactly as
        // the operator's Tab would move it (same order, same focus reason for the handlers).
        QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab,
                                                         Qt::NoModifier, QStringLiteral("\t")));
    }
}

void DaysToKeepValidate(QLineEdit* field, std::int16_t keepDays,
                        const std::function<void()>& checkForChanges) {
    if (field->text().isEmpty())
        field->setText(QString::number(keepDays));
    if (checkForChanges)
        checkForChanges();
}

} // namespace dialvane
