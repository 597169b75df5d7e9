#pragma once
// Routines shared by the text fields of the main window: the folder rule, the numeric key filter
// of the days field and that field's key-press and validation handling.

#include "common/Paths.h"

#include <QChar>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <functional>

class QLineEdit;
class QWidget;

namespace dialvane {

// The decimal separator of `locale`: the second character of 1.5 as the locale writes it.
QChar GetDecimalSeparator(const QLocale& locale = QLocale::system());

// The group separator of `locale`: the second character of 1000 written with two decimals and
// the locale's default grouping ("1,000.00" gives ','). Where the locale does not group four-digit
// numbers this is the digit '0', and the filter then leaves zeros out of its length count.
QChar GetGroupSeparator(const QLocale& locale = QLocale::system());

// Decides whether the typed character `keyCode` (its character code; 8 backspace, 13 Enter) may
// enter the text box `focused`, the control that has the focus, given the shape `mask` of the
// number it holds: "999" a whole number of three digits, "-999.99" an optional sign, three
// integer places and two fraction places, the empty mask any number. A refused key is set to 0
// and the system beep sounds. When the whole text is selected (or the box is empty) the box is
// emptied before the key goes in, whether or not the key is accepted. `focused` may be null or
// another kind of control: then only the tests that need no text apply. Returns `keyCode`.
int FilterNumericKey(QWidget* focused, int& keyCode, const QString& mask,
                     const QLocale& locale = QLocale::system());

// Key press of the days-to-keep field: the filter with the mask "999"; Enter, which passes,
// also moves the focus on to the next control in tab order, as Tab would, once the key itself
// has been handled.
void DaysToKeepKeyPress(QLineEdit* field, int& keyCode, const QLocale& locale = QLocale::system());

// Validation of the days-to-keep field as the focus leaves it: an empty field shows `keepDays`,
// the days in effect, again; then `checkForChanges` runs. The focus is never held back.
void DaysToKeepValidate(QLineEdit* field, std::int16_t keepDays,
                        const std::function<void()>& checkForChanges);

// The sound of a refused key. Tests replace it to hear it; an empty function restores the
// system beep.
void setRefusalBeep(std::function<void()> beep);

} // namespace dialvane
