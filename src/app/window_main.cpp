// dialvane-window, the station with its window (package dialvane-desktop): the main window
// with the link thread behind it. `dialvane` without a command starts it.
#include "link/LinkThread.h"
#include "mainwindow/frmmain.h"
#ifdef DIALVANE_HAVE_HTTP
#include "http/HttpEndpoint.h"
#endif
#include "station/ConfigFolder.h"
#include "station/Signals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

namespace {

const char kUsage[] = "Usage: dialvane-window [--line NAME | --config-dir DIR]\n";

int usage(const QString& problem) {
    std::fprintf(stderr, "dialvane-window: %s\n%s", qPrintable(problem), kUsage);
    return 2;
}

// Without a display Qt would abort in the application's constructor; say so and leave.
bool displayMissing() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    return false;
#endif
}

int runWindow(QApplication& app, const QString& folder) {
    // Declared before the window so that it outlives it: the window's last requests reach it,
    // and its destruction ends any call and releases the port.
    dialvane::LinkThread link;
    dialvane::MainWindowContext context;
    context.programFolder = folder;
    context.link = &link;
    dialvane::frmmain window(context);
#ifdef DIALVANE_HAVE_HTTP
    dialvane::attachHttpEndpoint(window.station());
#endif
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
    // The command line is read before the application object exists: --help and a wrong
    // option need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const dialvane::ConfigFolderOptions folderOptions = dialvane::configFolderOptions();
    parser.addOptions({help, version, folderOptions.configDir, folderOptions.line});
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        std::printf("%s\nThe station's window on the Dialvane.ini of --line NAME "
                    "(/etc/dialvane/NAME) or --config-dir DIR; without either, the one beside the\n"
                    "program in a build tree, or ~/.config/dialvane for an installed station.\n",
                    kUsage);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("dialvane-window %s\n", DIALVANE_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(
            QStringLiteral("unknown command \"%1\"").arg(parser.positionalArguments().front()));
    if (displayMissing()) {
        std::fprintf(stderr, "dialvane-window: no display (DISPLAY and WAYLAND_DISPLAY are not "
                             "set): run the station without windows with `dialvane --service`\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dialvane"));
    QApplication::setApplicationVersion(QStringLiteral(DIALVANE_VERSION));
    const dialvane::ConfigFolder chosen =
        dialvane::chooseConfigFolder(parser, folderOptions, QCoreApplication::applicationDirPath(),
                                     dialvane::ConfigUser::Window);
    if (!chosen.problem.isEmpty())
        return usage(chosen.problem);
    // The user's own folder is made on first use; a folder named on the command line is not.
    if (!QDir().mkpath(chosen.folder) && !QDir(chosen.folder).exists())
        return usage(QStringLiteral("cannot make the folder %1").arg(chosen.folder));
    return runWindow(app, chosen.folder);
}
