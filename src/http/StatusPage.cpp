// The status page: what an operator reads at a glance on a phone or a wall screen. One HTML
// document with its style inline, no script and no external asset (a station's network may
// reach nothing else), refreshed by the browser every 5 seconds. Every text that came from a
// site or a file is escaped.
#include "housekeeping/Housekeeping.h"
#include "http/StationWatch.h"

namespace dialvane {

namespace {

QByteArray esc(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

const char kHead[] = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta http-equiv="refresh" content="5">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Dialvane</title>
<style>
body{font-family:sans-serif;margin:0.6em;color:#222;background:#fff}
h1{font-size:1.3em;margin:0.2em 0}
h2{font-size:1.05em;margin:1em 0 0.3em;border-bottom:1px solid #ccc}
.up{color:#075e07}.down{color:#a00;font-weight:bold}.late{color:#a00}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-size:0.9em;min-width:100%}
th,td{text-align:left;padding:0.15em 0.5em;border-bottom:1px solid #eee;white-space:nowrap}
td.n{text-align:right}
td.wrap{white-space:normal;min-width:12em}
p.none{color:#666;margin:0.3em 0}
</style></head><body>
)";

void cell(QByteArray& out, const QString& text, const char* cls = nullptr) {
    out += cls ? QByteArray("<td class=\"") + cls + "\">" : QByteArray("<td>");
    out += esc(text);
    out += "</td>";
}

void tableStart(QByteArray& out, std::initializer_list<const char*> headings) {
    out += "<div class=\"scroll\"><table><tr>";
    for (const char* h : headings)
        out += QByteArray("<th>") + h + "</th>";
    out += "</tr>\n";
}

const char kTableEnd[] = "</table></div>\n";

} // namespace

void StationWatch::makeRow(Restaurant& r) const {
    r.row = "<tr>";
    cell(r.row, r.name);
    cell(r.row, r.trfbru);
    cell(r.row, r.lastCall);
    cell(r.row, r.result, "wrap");
    r.row += "</tr>\n";
}

QByteArray StationWatch::page(const QDateTime& now) const {
    QByteArray out;
    out.reserve(4096 + 160 * static_cast<qsizetype>(restaurants_.size()));
    out += kHead;
    out += "<h1>Dialvane ";
    out += esc(settings_.line);
    out += "</h1>\n<p class=\"";
    out += portUp_ ? "up" : "down";
    out += "\">";
    out += esc(portState());
    out += "</p>\n<p>";
    out += esc(now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    out += "</p>\n";
    for (const QString& problem : problems_)
        out += "<p class=\"late\">" + esc(problem) + "</p>\n";

    out += "<h2>Calls in progress: " + QByteArray::number(live_.size()) + "</h2>\n";
    if (live_.empty()) {
        out += "<p class=\"none\">No call in progress.</p>\n";
    } else {
        tableStart(out, {"Restaurant", "Direction", "Records", "Seconds", "Caller"});
        for (const auto& [id, call] : live_) {
            out += "<tr>";
            cell(out,
                 call.restaurant.isEmpty() ? QStringLiteral("(no header yet)") : call.restaurant);
            cell(out, call.direction);
            cell(out, QString::number(call.records), "n");
            cell(out, QString::number(call.start.isValid() ? call.start.secsTo(now) : 0), "n");
            cell(out, call.peer);
            out += "</tr>\n";
        }
        out += kTableEnd;
    }

    const QStringList late = overdue(now);
    out += "<h2>Overdue: " + QByteArray::number(late.size()) + " without a file for " +
           QByteArray::number(settings_.overdueDays) + " days</h2>\n";
    if (late.isEmpty()) {
        out += "<p class=\"none\">Every restaurant sent a file.</p>\n";
    } else {
        tableStart(out, {"Restaurant", "Last file received", "Last call", "Result"});
        const QString none =
            QStringLiteral("none since %1").arg(receivesSince_.toString(Qt::ISODate));
        for (const QString& name : late) {
            const Restaurant& r = restaurants_[restaurantIndex_.at(name)];
            const auto received = lastReceive_.find(name);
            out += "<tr class=\"late\">";
            cell(out, name);
            cell(out, received == lastReceive_.end()
                          ? none
                          : formatTravelPathTime(QDateTime::fromSecsSinceEpoch(received->second.at),
                                                 locale_));
            cell(out, r.known ? r.lastCall : QStringLiteral("none"));
            cell(out, r.result, "wrap");
            out += "</tr>\n";
        }
        out += kTableEnd;
    }

    out += "<h2>Restaurants: " + QByteArray::number(restaurants_.size()) + "</h2>\n";
    tableStart(out, {"Restaurant", "trfbru1", "Last call", "Result"});
    for (const Restaurant& r : restaurants_)
        out += r.row;
    out += kTableEnd;

    out += "<h2>Last calls</h2>\n";
    if (recent_.empty()) {
        out += "<p class=\"none\">No call this month.</p>\n";
    } else {
        tableStart(out, {"Start", "Restaurant", "Call", "Direction", "Records", "Seconds",
                         "Outcome", "Reason"});
        for (auto call = recent_.rbegin(); call != recent_.rend(); ++call) {
            out += "<tr>";
            cell(out, call->start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            // Kept escaped as the journal shows them.
            cell(out, QString::fromUtf8(call->restaurant));
            cell(out, QString::fromUtf8(call->transaction + call->type));
            cell(out, call->direction);
            cell(out, QString::number(call->records), "n");
            cell(out, QString::number(call->seconds, 'f', 1), "n");
            cell(out, call->outcome);
            cell(out, call->reason, "wrap");
            out += "</tr>\n";
        }
        out += kTableEnd;
    }
    out += "</body></html>\n";
    return out;
}

} // namespace dialvane
