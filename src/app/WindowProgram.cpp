#include "WindowProgram.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#ifdef Q_OS_WIN
#include <QProcess>
#else
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>
#endif

namespace dialvane {

QString windowProgramPath() {
#ifdef Q_OS_WIN
    return QCoreApplication::applicationDirPath() + QStringLiteral("/dialvane-window.exe");
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/dialvane-window");
#endif
}

int startWindowProgram(const QStringList& arguments) {
    QTextStream err(stderr);
    const QString program = windowProgramPath();
    if (!QFileInfo(program).isExecutable()) {
        err << "dialvane: the station's window is not installed (" << program
            << " is missing): install the package dialvane-desktop, or run the station without "
               "windows with `dialvane --service` (see dialvane --help)\n";
        return 1;
    }
#ifdef Q_OS_WIN
    // Windows has no exec that keeps the process: the window runs on, and this one waits for it
    // so that its exit status is the window's.
    return QProcess::execute(program, arguments.mid(1));
#else
    std::vector<QByteArray> encoded{QFile::encodeName(program)};
    for (const QString& argument : arguments.mid(1))
        encoded.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(argv.front(), argv.data());
    err << "dialvane: cannot start " << program << ": " << std::strerror(errno) << '\n';
    return 1;
#endif
}

} // namespace dialvane
