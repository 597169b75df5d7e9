#include "housekeeping/FolderScan.h"
#include "housekeeping/Housekeeping.h"

namespace dialvane {

QString scan::failureText(const char* what, const QString& path, const std::string& reason) {
    return QStringLiteral("%1 \"%2\": %3.")
        .arg(QString::fromUtf8(what), path, QString::fromLocal8Bit(reason));
}

} // namespace dialvane
