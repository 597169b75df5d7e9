// The restaurant list: which Backroom subfolders are restaurants, and how the time of their
// travel path file is shown.

#include "housekeeping/FolderScan.h"
#include "housekeeping/Housekeeping.h"

#include <algorithm>
#include <string_view>

namespace dialvane {

namespace {

constexpr std::string_view kTravelPathFile = "trfbru1";

// A restaurant folder is named by six ASCII digits, nothing else. Restaurant numbers are digits
// on every site; a sign, a decimal point, an exponent ("1E+003") or a group separator would only
// make the list depend on the operator's regional settings and let in folders that belong to no
// restaurant, so none of them counts as numeric here.
bool isRestaurantNumber(std::string_view name) {
    return name.size() == 6 &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The locale's long time without its time zone: the time part of the general date format.
QString timeWithSeconds(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) {
            kept.append(c);
            continue;
        }
        // Drop the zone, with the brackets some locales put around it and one space before it.
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
            ++i;
        if (kept.endsWith(QLatin1Char('(')) && i + 1 < format.size() &&
            format[i + 1] == QLatin1Char(')')) {
            kept.chop(1);
            ++i;
        }
        if (kept.endsWith(QLatin1Char(' ')))
            kept.chop(1);
    }
    return kept.trimmed();
}

struct TimestampFormat {
    explicit TimestampFormat(const QLocale& locale)
        : locale(locale), date(locale.dateFormat(QLocale::ShortFormat)),
          time(timeWithSeconds(locale)) {}

    QString operator()(const QDateTime& when) const {
        const QString day = locale.toString(when.date(), date);
        if (when.time() == QTime(0, 0))
            return day;
        return day + QLatin1Char(' ') + locale.toString(when.time(), time);
    }

    const QLocale& locale;
    QString date;
    QString time;
};

} // namespace

QString formatTravelPathTime(const QDateTime& when, const QLocale& locale) {
    return TimestampFormat(locale)(when);
}

std::vector<TravelPathRow> ListTravelPathDates(const QString& backroomFolder,
                                               const QLocale& locale) {
    const TimestampFormat format(locale);
    std::vector<TravelPathRow> rows;
    scan::visitSubfoldersHolding(backroomFolder, kTravelPathFile, isRestaurantNumber,
                                 [&](std::string_view name, std::int64_t modifiedSeconds) {
                                     TravelPathRow row;
                                     row.restonum = QString::fromLatin1(
                                         name.data(), static_cast<qsizetype>(name.size()));
                                     row.modified = QDateTime::fromSecsSinceEpoch(modifiedSeconds);
                                     row.timestamp = format(row.modified);
                                     rows.push_back(std::move(row));
                                 });
    return rows;
}

} // namespace dialvane
