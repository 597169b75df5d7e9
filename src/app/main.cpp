// The station: one main window with the link thread behind it, or the same station as a
// service without windows, a check of its configuration, or a report from its call journal.
#include "link/LinkThread.h"
#include "mainwindow/frmmain.h"
#include "station/Check.h"
#include "station/ReportCommand.h"
#include "station/Service.h"
#include "station/Signals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstring>
#include <memory>

namespace {

enum class Mode { Window, Service, Check, Report };

// The mode decides which application object exists, so it is read before any is made: the
// service and the check must run where there is no display at all.
Mode modeOf(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "calls") == 0 || std::strcmp(argv[1], "overdue") == 0))
        return Mode::Report;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--service") == 0)
            return Mode::Service;
        if (std::strcmp(argv[i], "--check") == 0)
            return Mode::Check;
    }
    return Mode::Window;
}

// Dialvane.ini lives beside the program, unless another folder is named: one installed
// program can then run one station per line, each with its own folder.
QString programFolder(QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Dialvane data-exchange station"));
    parser.addHelpOption();
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Folder holding Dialvane.ini (default: the program's folder)."),
        QStringLiteral("DIR"));
    parser.addOption(configDir);
    parser.addOption({QStringLiteral("service"),
                      QStringLiteral("Run without windows, logging to standard error (for a "
                                     "supervisor such as systemd).")});
    parser.addOption({QStringLiteral("check"),
                      QStringLiteral("Print the effective configuration and check folders and "
                                     "port; exit status 0 when all is well.")});
    parser.addPositionalArgument(
        QStringLiteral("report"),
        QStringLiteral("calls or overdue: a report from the call journal (see calls --help)."),
        QStringLiteral("[calls|overdue]"));
    parser.process(app);
    return parser.isSet(configDir) ? QDir(parser.value(configDir)).absolutePath()
                                   : QCoreApplication::applicationDirPath();
}

int runWindow(QApplication& app, const QString& folder) {
    // Declared before the window so that it outlives it: the window's last requests reach it,
    // and its destruction ends any call and releases the port.
    dialvane::LinkThread link;
    dialvane::MainWindowContext context;
    context.programFolder = folder;
    context.link = &link;
    dialvane::frmmain window(context);
    QObject::connect(&window, &dialvane::frmmain::unloaded, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    // A signal closes the window as its close box does: the call ends, the port is released.
    dialvane::SignalWatch watch(dialvane::SignalWatch::Reload::Default);
    QObject::connect(&watch, &dialvane::SignalWatch::stopRequested, &window, &QWidget::close);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    const Mode mode = modeOf(argc, argv);
    if (mode == Mode::Window) {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Dialvane"));
        return runWindow(app, programFolder(app));
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Dialvane"));
    if (mode == Mode::Report) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return dialvane::runReport(QCoreApplication::arguments(), out, err);
    }
    const QString folder = programFolder(app);
    if (mode == Mode::Check) {
        QTextStream out(stdout);
        return dialvane::runCheck(folder, out);
    }
    return dialvane::runService(folder);
}
