#pragma once

// The one way this program says "this failed": a description that names what failed (the
// file, folder, port or value) and why, ready to be shown to the operator as it is. The
// subsystems derive their own kinds from it so that a call can tell a lost line from a
// file it cannot write, while the start-up and the service report any of them alike.

#include <QString>

#include <exception>
#include <stdexcept>

namespace dialvane {

class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description);
    QString description() const { return description_; }

private:
    QString description_;
};

// The text to report for anything thrown: a failure's own description, or the library's
// message for the rest (a bad_alloc, a filesystem_error).
QString describeFailure(const std::exception& thrown);

} // namespace dialvane
