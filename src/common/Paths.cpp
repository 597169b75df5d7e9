#include "common/Paths.h"

#include <QDir>

namespace dialvane {

QChar pathSeparator() {
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

QString withTrailingSeparator(const QString& folder) {
    if (folder.endsWith(pathSeparator()))
        return folder;
    return folder + pathSeparator();
}

QString fallbackFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return withTrailingSeparator(QDir::homePath());
#endif
}

QString AddBackslash(const QString& path) {
    // The root "/" is a whole folder on POSIX, as "C:\\" is on Windows: keep it.
    if (path == QStringLiteral("/") && pathSeparator() == QLatin1Char('/'))
        return path;
    if (path.size() < 2)
        return QString();
    return withTrailingSeparator(path);
}

} // namespace dialvane
