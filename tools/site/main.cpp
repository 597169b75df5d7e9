// dialvane-site: plays a remote restaurant site against a station, over a serial device or
// a station's network line, in real time. For field technicians and end-to-end tests.
#include "SiteLine.h"
#include "common/Failure.h"
#include "site/ActionQueue.h"
#include "site/Site.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

using namespace dialvane;
using namespace dialvane::site;
using namespace std::chrono_literals;

namespace {

const char* kDescription =
    "Plays a remote restaurant site against a Dialvane station.\n\n"
    "Commands:\n"
    "  send FILE   transaction \"S\": each line of FILE becomes one data block, then the\n"
    "              end block; FILE may be a pipe, or - for standard input\n"
    "  fetch DIR   transaction \"X\" (or --transaction C): receive the station's three files\n"
    "              into DIR as trfloc, trfbru<T>, trfinv<T>, one 126-character record per\n"
    "              line, CR LF\n\n"
    "Fault options count the blocks of the transfer after the header, from 1, end blocks\n"
    "included. Exit status: 0 when the exchange completed as asked, 1 when it did not,\n"
    "2 for a usage or line error.";

struct Options {
    QString line;
    int speed = 9600;
    QString dial;
    SiteTls tls;
    SiteScript script;
    QString command;
    QString target;
};

int usage(const QString& message) {
    std::fprintf(stderr, "dialvane-site: %s\n(see --help)\n", qPrintable(message));
    return 2;
}

// The records of a file, a pipe or standard input ("-"), read to the end: a pipe reports
// nothing available before its writer has written, which must not read as an empty file.
std::vector<QByteArray> readRecords(const QString& path, QString* error) {
    QFile file;
    const bool opened = path == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                    : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = "cannot read " + path + ": " + file.errorString();
        return {};
    }
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = "cannot read " + path + ": " + file.errorString();
        return {};
    }
    std::vector<QByteArray> records;
    for (QByteArray line : all.split('\n')) {
        while (line.endsWith('\r'))
            line.chop(1);
        records.push_back(line);
    }
    if (all.endsWith('\n') || all.isEmpty())
        records.pop_back(); // the text after the last line end is no record
    return records;
}

bool writeFetched(const QString& dir, char type, const Site& site) {
    QDir().mkpath(dir);
    const QString names[3] = {"trfloc", QString("trfbru") + type, QString("trfinv") + type};
    for (std::size_t f = 0; f < site.files().size() && f < 3; ++f) {
        QFile file(QDir(dir).filePath(names[f]));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        for (const QByteArray& record : site.files()[f])
            file.write(record + "\r\n");
    }
    return true;
}

void printLog(const Site& site, std::size_t* printed) {
    const auto& log = site.log();
    for (; *printed < log.size(); ++(*printed)) {
        const auto& e = log[*printed];
        const QByteArray what =
            e.block == 0 ? QByteArray("header") : "block " + QByteArray::number(e.block);
        std::printf("%8.3f s  %-10s %s %s\n", e.at.count() / 1000.0, what.constData(),
                    e.outgoing ? "-> station" : "<- station", e.note.constData());
    }
    std::fflush(stdout);
}

// Runs the site's actions at their times and feeds it what the station sends.
int run(const Options& options) {
    std::unique_ptr<site::SiteLine> line;
    try {
        line = site::openSiteLine(options.line, options.speed, options.dial, options.tls);
    } catch (const std::exception& e) {
        return usage(describeFailure(e));
    }
    Site site(options.script);
    site.start();

    ActionQueue queue;
    const auto collect = [&] { queue.collect(site); };
    collect();

    QElapsedTimer clock;
    clock.start();
    const auto now = [&] { return Millis(clock.elapsed()); };
    bool connected = false;
    std::size_t printed = 0;
    const Millis limit = 6h;

    try {
        while (now() < limit) {
            while (!queue.empty() && queue.top().at <= now()) {
                const Action action = queue.pop();
                switch (action.kind) {
                case Action::Kind::Bytes:
                    if (connected)
                        line->write(action.bytes);
                    break;
                case Action::Kind::CarrierUp:
                    line->callUp();
                    connected = true;
                    break;
                case Action::Kind::CarrierDown:
                    line->hangUp();
                    connected = false;
                    break;
                case Action::Kind::Timer:
                    site.onTimer(now());
                    break;
                }
                collect();
            }
            printLog(site, &printed);
            if (site.outcome() != Site::Outcome::Running) {
                // Once the exchange is over, only its last bytes and the hang-up matter.
                if (!queue.lineActionsLeft())
                    break;
            }
            const Millis next = queue.empty() ? 50ms : queue.top().at - now();
            const QByteArray bytes =
                line->read(static_cast<int>(std::clamp(next, 1ms, 50ms).count()));
            if (!bytes.isEmpty()) {
                site.onStationBytes(now(), bytes);
                collect();
            }
            if (connected && !line->stationPresent()) {
                connected = false;
                site.onStationDtr(now(), false);
                collect();
            }
        }
    } catch (const std::exception& e) {
        return usage(describeFailure(e));
    }
    printLog(site, &printed);

    long blocks = 0;
    if (options.command == "send")
        blocks = static_cast<long>(options.script.records.size());
    for (const auto& f : site.files())
        blocks += static_cast<long>(f.size());
    const double seconds = clock.elapsed() / 1000.0;
    const long bytes = site.bytesSent() + site.bytesReceived();
    std::printf("blocks %ld, failures %d, bytes %ld, seconds %.3f, bytes/s %.0f\n", blocks,
                site.failures(), bytes, seconds, seconds > 0 ? bytes / seconds : 0.0);

    if (options.command == "fetch" && !writeFetched(options.target, options.script.type, site)) {
        std::fprintf(stderr, "dialvane-site: cannot write into %s\n", qPrintable(options.target));
        return 2;
    }
    if (!site.completed()) {
        const char* why[] = {"still running", "completed", "the station went silent",
                             "the carrier dropped", "the station hung up"};
        std::printf("not completed: %s\n", why[static_cast<int>(site.outcome())]);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("dialvane-site");
    QCoreApplication::setApplicationVersion(DIALVANE_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption line(
        "line", "tcp:HOST:PORT or tls:HOST:PORT of a station's network line, or a serial DEVICE.",
        "LINE");
    const QCommandLineOption tls("tls", "Encrypt the call (implied by a tls: line).");
    const QCommandLineOption ca("ca", "The authority of the station's certificate (PEM).", "FILE");
    const QCommandLineOption cert("cert", "The restaurant's certificate (PEM), with --key.",
                                  "FILE");
    const QCommandLineOption key("key", "The restaurant's private key (PEM).", "FILE");
    const QCommandLineOption speed("speed", "Serial speed (default 9600).", "BPS", "9600");
    const QCommandLineOption dial(
        "dial", "Reset the modem on DEVICE and dial NUMBER (ATZ, ATDT, waits for CONNECT).",
        "NUMBER");
    const QCommandLineOption resto("resto", "Restaurant number, six characters.", "NNNNNN");
    const QCommandLineOption type("type", "Type code, one character (default 1).", "T", "1");
    const QCommandLineOption transaction("transaction", "Transaction code for fetch (default X).",
                                         "C", "X");
    const QCommandLineOption delay(
        "delay", "The site's own pause before each block or answer, ms (default 0).", "MS", "0");
    const QCommandLineOption headersN("headers-n", "Send K headers with code N first.", "K", "0");
    const QCommandLineOption nakBlock(
        "nak-block", "Fetch: answer NAK to block K. Send: send block K once with a broken STX.",
        "K", "0");
    const QCommandLineOption silentBlock(
        "silent-block", "Fetch: do not answer block K. Send: leave block K unsent once.", "K", "0");
    const QCommandLineOption garbageBlock(
        "garbage-block",
        "Fetch: answer block K with ACK and junk. Send: send a short block once instead of K.", "K",
        "0");
    const QCommandLineOption dropAfter(
        "drop-after-bytes", "Hang up once N bytes crossed the line (both directions).", "N", "-1");
    const QCommandLineOption allowEmpty("allow-empty",
                                        "send: send a file without records (an empty file).");
    for (const auto* o :
         {&line, &tls, &ca, &cert, &key, &speed, &dial, &resto, &type, &transaction, &delay,
          &headersN, &nakBlock, &silentBlock, &garbageBlock, &dropAfter, &allowEmpty})
        parser.addOption(*o);
    parser.addPositionalArgument("command", "send FILE (- for standard input) | fetch DIR");
    // Not process(): it ends a wrong command line with status 1, which means a failed exchange.
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet("help")) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet("version")) {
        std::printf("dialvane-site %s\n", DIALVANE_VERSION);
        return 0;
    }

    const QStringList args = parser.positionalArguments();
    if (!parser.isSet(line))
        return usage("--line is required");
    if (!parser.isSet(resto))
        return usage("--resto is required");
    if (args.size() != 2 || (args[0] != "send" && args[0] != "fetch"))
        return usage("expected: send FILE, or fetch DIR");

    Options options;
    options.line = parser.value(line);
    options.speed = parser.value(speed).toInt();
    options.dial = parser.value(dial);
    options.tls = {parser.isSet(tls), parser.value(ca), parser.value(cert), parser.value(key)};
    options.command = args[0];
    options.target = args[1];
    SiteScript& s = options.script;
    s.restoNum = parser.value(resto).toLatin1();
    if (parser.value(type).size() != 1 || parser.value(transaction).size() != 1)
        return usage("--type and --transaction take one character");
    s.type = parser.value(type).toLatin1()[0];
    s.transaction = options.command == "send" ? 'S' : parser.value(transaction).toLatin1()[0];
    if (options.command == "fetch" && s.transaction == 'S')
        return usage("fetch cannot use the transaction S");
    s.answerDelay = Millis(parser.value(delay).toInt());
    s.headersN = parser.value(headersN).toInt();
    s.nakBlock = parser.value(nakBlock).toInt();
    s.silentBlock = parser.value(silentBlock).toInt();
    s.garbageBlock = parser.value(garbageBlock).toInt();
    s.dropAfterBytes = parser.value(dropAfter).toLong();
    if (options.command == "send") {
        QString error;
        s.records = readRecords(options.target, &error);
        if (!error.isEmpty())
            return usage(error);
        // Sending nothing replaces the restaurant's file with an empty one: only on purpose.
        if (s.records.empty() && !parser.isSet(allowEmpty))
            return usage(options.target + " holds no record (use --allow-empty to send none)");
    }
    return run(options);
}
