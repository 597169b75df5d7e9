#include "http/StationWatch.h"

#include "common/EightBitText.h"
#include "housekeeping/Housekeeping.h"
#include "journal/Reports.h"
#include "link/CallSummary.h"
#include "station/CallHistory.h"

namespace dialvane {

namespace {

constexpr std::size_t kRecentCalls = 50;

// A label value as the text format wants it: backslash, double quote and line feed escaped.
// Every value is already printable ASCII or a name of ours; the escapes are for the format.
QByteArray label(const QString& value) {
    QByteArray out;
    for (char c : value.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

void family(QByteArray& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void sample(QByteArray& out, const char* name,
            std::initializer_list<std::pair<const char*, QString>> labels, qint64 value) {
    out += name;
    if (labels.size() > 0) {
        out += '{';
        bool first = true;
        for (const auto& [key, text] : labels) {
            if (!first)
                out += ',';
            first = false;
            out += key;
            out += "=\"";
            out += label(text);
            out += '"';
        }
        out += '}';
    }
    out += ' ';
    out += QByteArray::number(value);
    out += '\n';
}

QString directionOf(const QByteArray& transaction) {
    if (transaction.trimmed().isEmpty() || transaction == "N")
        return QString();
    return transaction == "S" ? QStringLiteral("receive") : QStringLiteral("send");
}

} // namespace

StationWatch::StationWatch(const QLocale& locale) : locale_(locale) {}

QStringList StationWatch::seed(const WatchSettings& settings, const QDateTime& now) {
    settings_ = settings;
    calls_.clear();
    records_.clear();
    bytes_.clear();
    lastReceive_.clear();
    recent_.clear();
    const QDate today = now.date();
    const QDate monthStart(today.year(), today.month(), 1);
    receivesSince_ = std::min(monthStart.addMonths(-1), today.addDays(-settings.overdueDays));
    const QByteArray month = today.toString(QStringLiteral("yyyy-MM")).toUtf8();
    const QByteArray line = settings.line.toUtf8();
    std::map<QByteArray, QByteArray> received; // restaurant, start of its last completed receive
    QStringList problems =
        journal::readJournals(settings.logFolder, receivesSince_, [&](const journal::Row& row) {
            using journal::Column;
            const QByteArrayView start = row.cell(Column::Start);
            const bool completed = row.cell(Column::Outcome) == QByteArrayView("completed");
            if (completed && row.cell(Column::Direction) == QByteArrayView("receive")) {
                QByteArray& last = received[row.cell(Column::Restaurant).toByteArray()];
                if (start.first(std::min<qsizetype>(19, start.size())) >=
                    QByteArrayView(last).first(std::min<qsizetype>(19, last.size())))
                    last = start.toByteArray();
            }
            if (!start.startsWith(month) || row.cell(Column::Port) != QByteArrayView(line))
                return;
            count(settings.line, row.text(Column::Outcome), row.text(Column::Direction),
                  row.number(Column::Records), row.number(Column::Bytes));
            recent_.push_back(journal::entryOf(row));
            if (recent_.size() > kRecentCalls)
                recent_.pop_front();
        });
    for (const auto& [resto, start] : received)
        noteReceived(
            QString::fromUtf8(resto),
            QDateTime::fromString(QString::fromUtf8(start), Qt::ISODate).toSecsSinceEpoch());
    problems += refreshRestaurants();
    problems_ = problems;
    return problems;
}

QStringList StationWatch::refreshRestaurants() {
    std::vector<TravelPathRow> rows;
    try {
        rows = ListTravelPathDates(settings_.backroomFolder, locale_);
    } catch (const HousekeepingError& failure) {
        return {failure.description()};
    }
    std::vector<Restaurant> fresh;
    std::map<QString, std::size_t> index;
    QStringList unknown;
    for (const TravelPathRow& row : rows) {
        Restaurant r;
        r.name = row.restonum;
        r.trfbru = row.timestamp;
        if (const auto old = restaurantIndex_.find(r.name); old != restaurantIndex_.end()) {
            const Restaurant& before = restaurants_[old->second];
            r.known = before.known;
            r.lastCall = before.lastCall;
            r.result = before.result;
        } else {
            unknown << r.name;
        }
        makeRow(r);
        index[r.name] = fresh.size();
        fresh.push_back(std::move(r));
    }
    restaurants_ = std::move(fresh);
    restaurantIndex_ = std::move(index);
    if (unknown.isEmpty())
        return {};
    // The window's own reading of the journal: the last call of each restaurant.
    const journal::LastCalls found =
        journal::lastCalls(settings_.logFolder, unknown, QDate::currentDate());
    for (const auto& [resto, call] : found.byRestaurant)
        noteLastCall(restaurants_[restaurantIndex_[resto]], call);
    return found.problems;
}

void StationWatch::noteLastCall(Restaurant& row, const journal::Entry& call) const {
    row.known = true;
    row.lastCall = formatTravelPathTime(call.start, locale_);
    row.result = callResult(call, locale_);
    makeRow(row);
}

void StationWatch::noteReceived(const QString& resto, qint64 at) {
    Received& r = lastReceive_[resto];
    if (at < r.at)
        return;
    r.at = at;
    r.sample.clear();
    sample(r.sample, "dialvane_last_receive_timestamp_seconds", {{"restaurant", resto}}, at);
}

void StationWatch::count(const QString& line, const QString& outcome, const QString& direction,
                         qint64 records, qint64 bytes) {
    ++calls_[{line, outcome}];
    if (direction == QStringLiteral("receive") || direction == QStringLiteral("send")) {
        records_[{line, direction}] += records;
        bytes_[{line, direction}] += bytes;
    }
}

void StationWatch::heard(const LinkEvent& event) {
    using Kind = LinkEvent::Kind;
    switch (event.kind) {
    case Kind::PortOpening:
        portUp_ = false;
        settings_.line = QStringLiteral("COM%1").arg(event.portNumber);
        settings_.device = event.device;
        portText_ = QStringLiteral("opening");
        break;
    case Kind::PortOpened:
        portUp_ = true;
        portText_.clear();
        break;
    case Kind::PortClosed:
        portUp_ = false;
        portText_ = event.text.isEmpty() ? QStringLiteral("closed") : event.text;
        break;
    case Kind::CallStarted: {
        Live& call = live_[event.call];
        call.start = event.summary.start;
        call.line = event.summary.port;
        call.peer = event.summary.peer;
        break;
    }
    case Kind::HeaderReceived:
        if (const auto found = live_.find(event.call);
            found != live_.end() && !directionOf(event.transaction).isEmpty()) {
            found->second.restaurant = printable(event.restoNum);
            found->second.direction = directionOf(event.transaction);
        }
        break;
    case Kind::BlockMoved:
        if (const auto found = live_.find(event.call); found != live_.end())
            found->second.records = event.summary.blocks();
        break;
    case Kind::CallEnded:
        live_.erase(event.call);
        break;
    default:
        break;
    }
}

void StationWatch::recorded(const journal::Entry& call) {
    count(call.port, call.outcome, call.direction, call.records, call.bytes);
    const QString resto = printable(call.restaurant);
    if (call.outcome == QStringLiteral("completed") && call.direction == QStringLiteral("receive"))
        noteReceived(resto, call.start.toSecsSinceEpoch());
    if (const auto found = restaurantIndex_.find(resto); found != restaurantIndex_.end())
        noteLastCall(restaurants_[found->second], call);
    // Kept as the journal shows it, as the rows read at start are.
    journal::Entry shown = call;
    shown.restaurant = resto.toUtf8();
    shown.transaction = printable(call.transaction).toUtf8();
    shown.type = printable(call.type).toUtf8();
    recent_.push_back(std::move(shown));
    if (recent_.size() > kRecentCalls)
        recent_.pop_front();
}

void StationWatch::hookFinished(const HookRun& run) {
    ++hooks_[{run.job.hook, resultName(run.result)}];
}

QString StationWatch::portState() const {
    const QString port = QStringLiteral("port %1 (%2)").arg(settings_.line, settings_.device);
    return portUp_ ? port + QStringLiteral(" open")
                   : port + QStringLiteral(" closed: ") + portText_;
}

QStringList StationWatch::overdue(const QDateTime& now) const {
    const qint64 cutoff = now.addDays(-settings_.overdueDays).toSecsSinceEpoch();
    std::vector<std::pair<qint64, QString>> late;
    for (const Restaurant& r : restaurants_) {
        const auto found = lastReceive_.find(r.name);
        if (found == lastReceive_.end())
            late.emplace_back(0, r.name); // never: first
        else if (found->second.at < cutoff)
            late.emplace_back(found->second.at, r.name);
    }
    std::stable_sort(late.begin(), late.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList names;
    for (const auto& [when, name] : late)
        names << name;
    return names;
}

QByteArray StationWatch::metrics(const QDateTime& now) const {
    QByteArray out;
    out.reserve(4096 + 80 * static_cast<qsizetype>(lastReceive_.size()));
    const QString& line = settings_.line;

    family(out, "dialvane_calls_total", "counter",
           "Calls that ended, by line and outcome; from the month's journal at start.");
    std::map<std::pair<QString, QString>, qint64> calls = calls_;
    for (const QString& outcome : outcomeNames())
        calls.try_emplace({line, outcome}, 0);
    for (const auto& [key, value] : calls)
        sample(out, "dialvane_calls_total", {{"line", key.first}, {"outcome", key.second}}, value);

    const auto directed = [&](const char* name, const char* help,
                              const std::map<std::pair<QString, QString>, qint64>& values) {
        family(out, name, "counter", help);
        std::map<std::pair<QString, QString>, qint64> all = values;
        for (const char* d : {"receive", "send"})
            all.try_emplace({line, QString::fromLatin1(d)}, 0);
        for (const auto& [key, value] : all)
            sample(out, name, {{"line", key.first}, {"direction", key.second}}, value);
    };
    directed("dialvane_records_total",
             "Records received and installed, or sent and acknowledged, by line and direction.",
             records_);
    directed("dialvane_bytes_total", "Data bytes received or sent, by line and direction.", bytes_);

    family(out, "dialvane_calls_in_progress", "gauge", "Calls in progress, by line.");
    std::map<QString, qint64> inProgress{{line, 0}};
    for (const auto& [id, call] : live_)
        ++inProgress[call.line];
    for (const auto& [name, value] : inProgress)
        sample(out, "dialvane_calls_in_progress", {{"line", name}}, value);

    family(out, "dialvane_port_up", "gauge", "1 while the line's port answers calls, else 0.");
    sample(out, "dialvane_port_up", {{"line", line}}, portUp_ ? 1 : 0);

    family(out, "dialvane_last_receive_timestamp_seconds", "gauge",
           "When each restaurant's last file was received and installed (Unix time).");
    for (const auto& [resto, received] : lastReceive_)
        out += received.sample;

    family(out, "dialvane_overdue_restaurants", "gauge",
           "Restaurants of the Backroom without a received file for OverdueDays.");
    sample(out, "dialvane_overdue_restaurants", {}, overdue(now).size());

    family(out, "dialvane_hooks_total", "counter",
           "Hooks run since start, by hook and result (ok, failed, timeout, not_started).");
    std::map<std::pair<QString, QString>, qint64> hooks = hooks_;
    for (const char* hook : {"OnReceived", "OnFetched"})
        for (auto result : {HookRun::Result::Ok, HookRun::Result::Failed, HookRun::Result::TimedOut,
                            HookRun::Result::NotStarted})
            hooks.try_emplace({QString::fromLatin1(hook), resultName(result)}, 0);
    for (const auto& [key, value] : hooks)
        sample(out, "dialvane_hooks_total", {{"hook", key.first}, {"result", key.second}}, value);

    family(out, "dialvane_hooks_pending", "gauge", "Hooks queued or running.");
    sample(out, "dialvane_hooks_pending", {}, hooksPending_);
    return out;
}

} // namespace dialvane
