#include "settings.h"

#include <QSettings>

namespace vintrel {


QString GetSetting(const QString &application, const QString &section, const QString &key)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, application, application);
    return s.value(section + QLatin1Char('/') + key).toString();
}

bool SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, application, application);
    s.setValue(section + QLatin1Char('/') + key, value);
    s.sync();
    return s.status() == QSettings::NoError;
}

} // namespace vintrel
