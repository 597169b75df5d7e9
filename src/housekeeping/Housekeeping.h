#pragma once
// Start-up housekeeping of the station: transfer logs past their keeping time are deleted, and
// the restaurant folders are listed with the time their travel path file "trfbru1" last changed.
//
// Both run once per start; a failure stops the routine at the point where it happens and is
// raised as HousekeepingError, which start-up shows in a message box titled "Dialvane" before
// skipping the rest of its steps.

#include "common/Failure.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <vector>

namespace dialvane {

// A failed file-system operation of the housekeeping; the description names the file or folder
// and the system's reason, ready to be shown to the operator as it is.
class HousekeepingError : public Failure {
public:
    using Failure::Failure;
};

// Deletes from `logFolder` (not from its subfolders) the transfer logs dated before the cutoff
// date, `today` moved back by `keepDays` calendar days (a negative count moves it forward).
// A file is deleted when its name
//   - sorts, on its first sixteen characters and by character code, strictly before
//     "Dialvane" + cutoff date as yyyyMMdd (so capitals sort before small letters),
//   - starts with "Dialvane" and the century digits of the cutoff year, case ignored, and
//   - ends with ".log", case included.
// With the station's own names ("Dialvane" + yyyyMMdd-hhmmss- + restaurant + ".log") that keeps
// the logs of today and of the `keepDays` days before it.
// Throws HousekeepingError when the folder cannot be read or a file cannot be deleted; the files
// deleted before that stay deleted and the rest are not looked at.
void PurgeOldLogs(const QString& logFolder, std::int16_t keepDays,
                  QDate today = QDate::currentDate());

struct TravelPathRow {
    QString restonum;   // the restaurant folder's name: six digits
    QString timestamp;  // `modified` as shown to the operator (formatTravelPathTime)
    QDateTime modified; // last change of the folder's trfbru1, local time, whole seconds
};

// One row per restaurant folder of `backroomFolder` that holds a file "trfbru1", in the order the
// file system lists the folders. Restaurant folders are the subfolders named by six digits;
// hidden folders are skipped. A missing Backroom folder gives no rows.
// Throws HousekeepingError when the folder or an entry of it cannot be read. The rows found
// before the failure are not returned: start-up keeps its list hidden after a failure anyway.
std::vector<TravelPathRow> ListTravelPathDates(const QString& backroomFolder,
                                               const QLocale& locale = QLocale::system());

// The locale's general date and time: the short date, then the time with seconds (without a
// time zone); the date alone when the time is exactly midnight.
QString formatTravelPathTime(const QDateTime& when, const QLocale& locale = QLocale::system());

} // namespace dialvane
