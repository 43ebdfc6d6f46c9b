#pragma once
// The per-user settings store: text values under an application, a section and a key.
#include <QString>

namespace vintrel {

// The stored text, or an empty string when there is none.
QString GetSetting(const QString &application, const QString &section, const QString &key);
// Stores the text; returns false when the store could not be written.
bool SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value);

} // namespace vintrel
