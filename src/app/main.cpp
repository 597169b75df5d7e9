// The station: one main window, the link thread behind it.
#include "link/LinkThread.h"
#include "mainwindow/frmmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dialvane"));

    // Dialvane.ini lives beside the program, unless another folder is named: one installed
    // program can then run one station per line, each with its own folder.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Dialvane data-exchange station"));
    parser.addHelpOption();
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Folder holding Dialvane.ini (default: the program's folder)."),
        QStringLiteral("DIR"));
    parser.addOption(configDir);
    parser.process(app);
    const QString folder = parser.isSet(configDir) ? QDir(parser.value(configDir)).absolutePath()
                                                   : QApplication::applicationDirPath();

    // Declared before the window so that it outlives it: the window's last requests reach it,
    // and its destruction ends any call and releases the port.
    dialvane::LinkThread link;
    dialvane::MainWindowContext context;
    context.programFolder = folder;
    context.link = &link;
    dialvane::frmmain window(context);
    QObject::connect(&window, &dialvane::frmmain::unloaded, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}
