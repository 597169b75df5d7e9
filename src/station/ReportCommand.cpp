#include "station/ReportCommand.h"

#include "common/Paths.h"
#include "journal/Reports.h"
#include "link/CallSummary.h"
#include "settings/SettingsManager.h"
#include "station/ConfigFolder.h"
#include "station/Configuration.h"
#include "station/StatusFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

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

int usage(const QString& command, const QString& text, QTextStream& err) {
    err << "dialvane " << command << ": " << text << "\n(see dialvane " << command << " --help)\n";
    return 2;
}

} // namespace

int runReport(const QStringList& arguments, QTextStream& out, QTextStream& err,
              RegistryArea* registry) {
    const QString command = arguments.value(1);
    QCommandLineParser parser;
    const bool calls = command == QStringLiteral("calls");
    const bool statusCommand = command == QStringLiteral("status");
    parser.setApplicationDescription(
        command == QStringLiteral("calls")
            ? QStringLiteral("The calls of the call journal, oldest first, with totals.")
        : statusCommand
            ? QStringLiteral("Whether the station runs (its pid), its port, the calls in "
                             "progress and the last call. Exit status 0 when it runs with "
                             "its port open, 1 otherwise.")
            : QStringLiteral("The restaurants that have not sent a file lately."));
    parser.addHelpOption();
    parser.addPositionalArgument(command, QString());
    const ConfigFolderOptions folderOptions = configFolderOptions();
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Calls from N days ago (7d) or a date "
                                                  "(YYYY-MM-DD); default 7d."),
                                   QStringLiteral("WHEN"), QStringLiteral("7d"));
    const QCommandLineOption resto(QStringLiteral("resto"), QStringLiteral("One restaurant."),
                                   QStringLiteral("N"));
    const QStringList outcomes = outcomeNames();
    const QCommandLineOption outcome(
        QStringLiteral("outcome"),
        QStringLiteral("One outcome: %1.").arg(outcomes.join(QStringLiteral(", "))),
        QStringLiteral("O"));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("The journal's rows as CSV instead of a table."));
    const QCommandLineOption days(QStringLiteral("days"),
                                  QStringLiteral("Overdue after N days without a file (1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({folderOptions.configDir, folderOptions.line});
    if (command == QStringLiteral("calls"))
        parser.addOptions({since, resto, outcome, csv});
    else if (!statusCommand)
        parser.addOption(days);
    if (!parser.parse(arguments))
        return usage(command, parser.errorText(), err);
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return 0;
    }
    if (parser.positionalArguments().size() > 1)
        return usage(command,
                     QStringLiteral("%1 takes no argument \"%2\"")
                         .arg(command, parser.positionalArguments().at(1)),
                     err);
    if (calls && parser.isSet(outcome) && !outcomes.contains(parser.value(outcome)))
        return usage(command,
                     QStringLiteral("--outcome takes one of %1, not \"%2\"")
                         .arg(outcomes.join(QStringLiteral(", ")), parser.value(outcome)),
                     err);
    static const QRegularExpression restaurantNumber(QStringLiteral("^\\d{1,6}$"));
    if (calls && parser.isSet(resto) && !restaurantNumber.match(parser.value(resto)).hasMatch())
        return usage(command,
                     QStringLiteral("--resto takes a restaurant number of up to six digits, not "
                                    "\"%1\"")
                         .arg(parser.value(resto)),
                     err);
    const ConfigFolder chosen = chooseConfigFolder(
        parser, folderOptions, QCoreApplication::applicationDirPath(), ConfigUser::Command);
    if (!chosen.problem.isEmpty())
        return usage(command, chosen.problem, err);
    const QString& folder = chosen.folder;
    // Built-in folders in place of an unreadable file would report on the wrong journal.
    if (const QString fault =
            configurationFault(withTrailingSeparator(folder) + QStringLiteral("Dialvane.ini"));
        !fault.isEmpty()) {
        err << "dialvane " << command << ": " << fault << '\n';
        return kExitConfig;
    }
    const Configuration config = configurationIn(folder, registry);
    const QDateTime now = QDateTime::currentDateTime();
    if (statusCommand)
        return printStatus(folder, config.LogFolder, out);

    if (command == QStringLiteral("calls")) {
        journal::CallsQuery query;
        const auto from = journal::parseSince(parser.value(since), now.date());
        if (!from) {
            return usage(command,
                         QStringLiteral("--since takes 7d (days back) or YYYY-MM-DD, not \"%1\"")
                             .arg(parser.value(since)),
                         err);
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
        return usage(command,
                     QStringLiteral("--days takes a whole number of days, not \"%1\"")
                         .arg(parser.value(days)),
                     err);
    }
    query.now = now;
    const journal::OverdueFindings found =
        journal::overdueReport(config.LogFolder, config.BackroomFolder, query, out);
    // Monitoring runs this and reads its status: a restaurant overdue is a finding.
    const int status = finish(found.problems, out, err);
    return status == 0 && found.overdue > 0 ? 1 : status;
}

} // namespace dialvane
