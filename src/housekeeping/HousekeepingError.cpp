#include "housekeeping/FolderScan.h"
#include "housekeeping/Housekeeping.h"

namespace dialvane {

HousekeepingError::HousekeepingError(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description) {}

QString scan::failureText(const char* what, const QString& path, const std::string& reason) {
    return QStringLiteral("%1 \"%2\": %3.")
        .arg(QString::fromUtf8(what), path, QString::fromLocal8Bit(reason));
}

} // namespace dialvane
