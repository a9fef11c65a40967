#pragma once

#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

// The per-user defaults store (QSettings, organisation "Nuvalto",
// application "Corvane"). Reads are typed and take the default that applies
// when the key is absent.
class Defaults
{
public:
    // The process-wide defaults.
    static Defaults &standard();
    // Points the process-wide defaults at an INI file (tests); an empty path
    // returns to the user's own settings.
    static void useFileForTesting(const QString &iniPath);

    bool contains(const QString &key) const;
    QVariant value(const QString &key, const QVariant &fallback = {}) const;
    int intValue(const QString &key, int fallback = 0) const;
    bool boolValue(const QString &key, bool fallback = false) const;
    double doubleValue(const QString &key, double fallback = 0.0) const;
    QString stringValue(const QString &key, const QString &fallback = {}) const;

    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // Writes pending changes to permanent storage; false when they could not be written.
    bool synchronize();

    explicit Defaults(std::unique_ptr<QSettings> settings);
    ~Defaults();

private:
    std::unique_ptr<QSettings> m_settings;
};
