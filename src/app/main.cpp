// `dialvane`, the station's one command: the service, the configuration check and the reports.
// It runs on QCoreApplication and links no GUI library, so a server without a display (and
// without the GUI packages) runs every command. The station's window is a program of its own,
// dialvane-window from the package dialvane-desktop: `dialvane` without a command hands over
// to it, so the command lines that opened the window still do.
#include "WindowProgram.h"
#include "station/Check.h"
#include "station/ConfigFolder.h"
#include "station/PasswordCommand.h"
#include "station/ReportCommand.h"
#include "station/Service.h"
#ifdef DIALVANE_HAVE_HTTP
#include "http/HttpEndpoint.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {

const char kUsage[] =
    "Usage: dialvane [--line NAME | --config-dir DIR]            the station's window\n"
    "       dialvane --service [--line NAME | --config-dir DIR]  the station without windows\n"
    "       dialvane --check [--line NAME | --config-dir DIR]    check configuration, folders, "
    "port\n"
    "       dialvane calls [OPTIONS]                             the calls of the call journal\n"
    "       dialvane overdue [OPTIONS]                           restaurants without a file "
    "lately\n"
    "       dialvane status [--line NAME | --config-dir DIR]     the running station: pid, port, "
    "calls\n"
    "       dialvane password                                    the PasswordHash line for a "
    "password\n"
    "       dialvane --help | --version\n";

const char kHelp[] =
    "\n"
    "Dialvane answers the calls of restaurant sites on a modem, a serial cable or a network\n"
    "line, and files the data they exchange under each restaurant's folder.\n"
    "\n"
    "Options:\n"
    "  --line NAME       the installed line NAME: its Dialvane.ini is "
    "/etc/dialvane/NAME/Dialvane.ini\n"
    "  --config-dir DIR  the folder holding Dialvane.ini\n"
    "  --service         run without windows, logging to standard error (for systemd)\n"
    "  --check           print the configuration in effect and check the folders and the port\n"
    "  -h, --help        print this help\n"
    "  --version         print the version\n"
    "\n"
    "Without --line or --config-dir, a station run from its own folder (a build tree) reads the\n"
    "Dialvane.ini beside the program; an installed station takes the only line under\n"
    "/etc/dialvane, and the window the user's folder ~/.config/dialvane.\n"
    "`dialvane calls --help` and `dialvane overdue --help` list the reports' options.\n"
    "`dialvane password` asks for a password (or reads one line from standard input) and\n"
    "prints the PasswordHash line that makes it the configuration panel's password.\n"
    "\n"
    "Exit status: 0 success, 1 a failure or a finding (a check failed, a restaurant overdue,\n"
    "the station not running), 2 a command line that makes no sense, 78 a Dialvane.ini that\n"
    "is there but cannot be read.\n";

int usage(const QString& problem) {
    QTextStream err(stderr);
    err << "dialvane: " << problem << '\n' << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Dialvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DIALVANE_VERSION));
    QTextStream out(stdout);

    QCommandLineParser parser;
    // Whatever follows a command is the command's own: its options are parsed by it.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption service(QStringLiteral("service"), QString());
    const QCommandLineOption check(QStringLiteral("check"), QString());
    const dialvane::ConfigFolderOptions folderOptions = dialvane::configFolderOptions();
    parser.addOptions({help, version, service, check, folderOptions.configDir, folderOptions.line});
    const QStringList arguments = QCoreApplication::arguments();
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        out << kUsage << kHelp;
        return 0;
    }
    if (parser.isSet(version)) {
        out << "dialvane " << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }

    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        const QString& command = positional.front();
        if (command != QStringLiteral("calls") && command != QStringLiteral("overdue") &&
            command != QStringLiteral("status") && command != QStringLiteral("password"))
            return usage(QStringLiteral("unknown command \"%1\"").arg(command));
        if (parser.isSet(service) || parser.isSet(check))
            return usage(QStringLiteral("%1 is a command of its own, not an option of --service "
                                        "or --check")
                             .arg(command));
        // The report reads the command first, then the options given before and after it.
        const qsizetype commandAt = arguments.size() - positional.size();
        QStringList reportArguments{arguments.front(), command};
        reportArguments += arguments.mid(1, commandAt - 1);
        reportArguments += positional.mid(1);
        QTextStream err(stderr);
        if (command == QStringLiteral("password"))
            return dialvane::runPasswordCommand(reportArguments, stdin, out, err);
        return dialvane::runReport(reportArguments, out, err);
    }
    if (parser.isSet(service) && parser.isSet(check))
        return usage(QStringLiteral("--service and --check exclude each other"));
    if (!parser.isSet(service) && !parser.isSet(check))
        return dialvane::startWindowProgram(arguments);

    const dialvane::ConfigFolder chosen =
        dialvane::chooseConfigFolder(parser, folderOptions, QCoreApplication::applicationDirPath(),
                                     dialvane::ConfigUser::Command);
    if (!chosen.problem.isEmpty())
        return usage(chosen.problem);
    if (parser.isSet(check))
        return dialvane::runCheck(chosen.folder, out);
#ifdef DIALVANE_HAVE_HTTP
    return dialvane::runService(chosen.folder, dialvane::attachHttpEndpoint);
#else
    return dialvane::runService(chosen.folder);
#endif
}
