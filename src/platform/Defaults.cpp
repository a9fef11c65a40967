#include "Defaults.h"

#include <QSettings>

namespace {
std::unique_ptr<Defaults> g_standard;
}

Defaults::Defaults(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{
}

Defaults::~Defaults() = default;

Defaults &Defaults::standard()
{
    if (!g_standard)
        g_standard = std::make_unique<Defaults>(std::make_unique<QSettings>(QStringLiteral("Nuvalto"), QStringLiteral("Corvane")));
    return *g_standard;
}

void Defaults::useFileForTesting(const QString &iniPath)
{
    if (iniPath.isEmpty())
        g_standard.reset();
    else
        g_standard = std::make_unique<Defaults>(std::make_unique<QSettings>(iniPath, QSettings::IniFormat));
}

bool Defaults::contains(const QString &key) const
{
    return m_settings->contains(key);
}

QVariant Defaults::value(const QString &key, const QVariant &fallback) const
{
    return m_settings->value(key, fallback);
}

int Defaults::intValue(const QString &key, int fallback) const
{
    bool ok = false;
    const int v = m_settings->value(key).toInt(&ok);
    return ok ? v : fallback;
}

bool Defaults::boolValue(const QString &key, bool fallback) const
{
    const QVariant v = m_settings->value(key);
    if (!v.isValid())
        return fallback;
    // INI files give back "true"/"false" texts; numbers count as usual.
    const QString text = v.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("no"))
        return false;
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok ? n != 0 : fallback;
}

double Defaults::doubleValue(const QString &key, double fallback) const
{
    bool ok = false;
    const double v = m_settings->value(key).toDouble(&ok);
    return ok ? v : fallback;
}

QString Defaults::stringValue(const QString &key, const QString &fallback) const
{
    const QVariant v = m_settings->value(key);
    return v.isValid() ? v.toString() : fallback;
}

void Defaults::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
}

void Defaults::remove(const QString &key)
{
    m_settings->remove(key);
}

bool Defaults::synchronize()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
