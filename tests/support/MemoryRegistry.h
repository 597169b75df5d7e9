#pragma once
// The per-user registry area in memory, keyed "app/section/key", for tests that must not touch
// the real one.

#include "settings/RegistryArea.h"

#include <QMap>

namespace dialvane::test {

class MemoryRegistry final : public RegistryArea {
public:
    QString read(const QString& app, const QString& section, const QString& key,
                 const QString& defaultValue) const override {
        return values.value(app + '/' + section + '/' + key, defaultValue);
    }
    void write(const QString& app, const QString& section, const QString& key,
               const QString& value) override {
        values[app + '/' + section + '/' + key] = value;
    }
    QMap<QString, QString> values;
};

} // namespace dialvane::test
