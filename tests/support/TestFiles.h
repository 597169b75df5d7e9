#pragma once
// Whole files, read and written by tests that check the station's files byte for byte, Qt
// strings printed readably in failure messages, the failure an action throws, and environment
// variables put back.

#include "common/Failure.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace dialvane::test {

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The description of the failure of kind `Kind` that `action` throws, or "<no failure>".
template <typename Kind = Failure, typename Action> std::string failureOf(Action action) {
    try {
        action();
    } catch (const Kind& failure) {
        return failure.description().toStdString();
    }
    return "<no failure>";
}

// An environment variable as it was, put back when the test ends.
class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name)
        : name_(name), set_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {}
    ~EnvironmentVariable() { set_ ? qputenv(name_, old_) : qunsetenv(name_); }

private:
    const char* name_;
    bool set_;
    QByteArray old_;
};

} // namespace dialvane::test
