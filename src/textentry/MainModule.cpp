#include "textentry/MainModule.h"

#include "common/Paths.h"

namespace dialvane {

QString AddBackslash(const QString& path) {
    // The root "/" is a whole folder on POSIX, as "C:\\" is on Windows: keep it.
    if (path == QStringLiteral("/") && pathSeparator() == QLatin1Char('/'))
        return path;
    if (path.size() < 2)
        return QString();
    return withTrailingSeparator(path);
}

} // namespace dialvane
