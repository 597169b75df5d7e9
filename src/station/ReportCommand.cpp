#include "station/ReportCommand.h"

#include "common/Paths.h"
#include "journal/Reports.h"
#include "settings/SettingsManager.h"
#include "station/Configuration.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace dialvane {

namespace {

Configuration configurationIn(const QString& programFolder, RegistryArea* registry) {
    SettingsManager settings = registry ? SettingsManager(*registry) : SettingsManager();
    settings.Init(QStringLiteral("Dialvane"), programFolder);
    const QString iniFile = withTrailingSeparator(programFolder) + QStringLiteral("Dialvane.ini");
    return loadConfiguration(settings, iniFile, QLocale::system()).config;
}

int finish(const QStringList& problems, QTextStream& out, QTextStream& err) {
    out.flush();
    for (const QString& text : problems)
        err << text << '\n';
    err.flush();
    return problems.isEmpty() ? 0 : 1;
}

} // namespace

int runReport(const QStringList& arguments, QTextStream& out, QTextStream& err,
              RegistryArea* registry) {
    const QString command = arguments.value(1);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        command == QStringLiteral("calls")
            ? QStringLiteral("The calls of the call journal, oldest first, with totals.")
            : QStringLiteral("The restaurants that have not sent a file lately."));
    parser.addHelpOption();
    parser.addPositionalArgument(command, QString());
    const QCommandLineOption configDir(QStringLiteral("config-dir"),
                                       QStringLiteral("Folder holding Dialvane.ini."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Calls from N days ago (7d) or a date "
                                                  "(YYYY-MM-DD); default 7d."),
                                   QStringLiteral("WHEN"), QStringLiteral("7d"));
    const QCommandLineOption resto(QStringLiteral("resto"), QStringLiteral("One restaurant."),
                                   QStringLiteral("N"));
    const QCommandLineOption outcome(
        QStringLiteral("outcome"),
        QStringLiteral("One outcome: completed, dropped, refused, busy, hung-up, failed, "
                       "stopped."),
        QStringLiteral("O"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("The journal's rows as CSV instead of a table."));
    const QCommandLineOption days(QStringLiteral("days"),
                                  QStringLiteral("Overdue after N days without a file (1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    parser.addOption(configDir);
    if (command == QStringLiteral("calls"))
        parser.addOptions({since, resto, outcome, csv});
    else
        parser.addOption(days);
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n';
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return 0;
    }
    const QString folder = parser.isSet(configDir) ? QDir(parser.value(configDir)).absolutePath()
                                                   : QCoreApplication::applicationDirPath();
    const Configuration config = configurationIn(folder, registry);
    const QDateTime now = QDateTime::currentDateTime();

    if (command == QStringLiteral("calls")) {
        journal::CallsQuery query;
        const auto from = journal::parseSince(parser.value(since), now.date());
        if (!from) {
            err << "--since takes 7d (days back) or YYYY-MM-DD, not " << parser.value(since)
                << '\n';
            return 2;
        }
        query.since = *from;
        query.restaurant = parser.value(resto);
        query.outcome = parser.value(outcome);
        query.csv = parser.isSet(csv);
        return finish(journal::callsReport(config.LogFolder, query, out), out, err);
    }
    journal::OverdueQuery query;
    bool ok = false;
    query.days = parser.value(days).toInt(&ok);
    if (!ok || query.days < 0) {
        err << "--days takes a whole number of days, not " << parser.value(days) << '\n';
        return 2;
    }
    query.now = now;
    return finish(journal::overdueReport(config.LogFolder, config.BackroomFolder, query, out), out,
                  err);
}

} // namespace dialvane
