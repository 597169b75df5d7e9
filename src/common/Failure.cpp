#include "common/Failure.h"

namespace dialvane {

Failure::Failure(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description) {}

QString describeFailure(const std::exception& thrown) {
    if (const auto* failure = dynamic_cast<const Failure*>(&thrown))
        return failure->description();
    return QString::fromLocal8Bit(thrown.what());
}

} // namespace dialvane
