#include "registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "app.h"

namespace vintrel::registry {

namespace {
// Whether a registry file may be read: a regular file of root's or the user's
// that nobody else may write; for the one beside an installed copy, every
// folder above it too (a copy run from a folder others may write would
// otherwise start what they wrote there), but for a folder of root's that
// keeps each one's files its own, such as /tmp.
bool trusted(const QString &path, bool folders)
{
    QByteArray name = QFile::encodeName(path);
    struct stat st {};
    auto own = [&] { return st.st_uid == 0 || st.st_uid == ::getuid(); };
    if (::lstat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode) || !own() || (st.st_mode & 022))
        return false;
    while (folders && name.lastIndexOf('/') > 0) {
        name.truncate(name.lastIndexOf('/'));
        if (::stat(name.constData(), &st) != 0 || !own() || ((st.st_mode & 022) && !((st.st_mode & S_ISVTX) && st.st_uid == 0)))
            return false;
    }
    return true;
}

struct Value {
    std::int32_t type;
    QByteArray bytes;
};
using Values = std::map<QString, Value>;                // by value name, in lower case
std::map<std::int32_t, std::pair<QString, Values>> g_open; // open keys by handle
std::int32_t g_next = 1;

QString normal(QString path) { return path.replace(QLatin1Char('/'), QLatin1Char('\\')).toLower(); }

// The key's values as the files give them, or nothing when no file names it.
std::optional<Values> readKey(const QString &wanted)
{
    std::optional<Values> found;
    for (const QString &path : files()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 20)
            continue;
        bool inKey = false;
        for (const QByteArray &raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
                inKey = normal(line.mid(1, line.size() - 2)) == wanted;
                if (inKey && !found)
                    found.emplace();
            } else if (inKey && line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char(';'))) {
                const QString name = line.section(QLatin1Char('='), 0, 0).trimmed().toLower();
                const QString typed = line.section(QLatin1Char('='), 1).trimmed();
                const QString kind = typed.section(QLatin1Char(':'), 0, 0), text = typed.section(QLatin1Char(':'), 1);
                bool ok = false;
                const std::uint32_t number = text.toUInt(&ok, 16);
                if (kind == QLatin1String("sz")) {
                    (*found)[name] = {REG_SZ, text.toLocal8Bit() + '\0'};
                } else if (kind == QLatin1String("dword") && ok) {
                    QByteArray bytes(4, '\0');
                    for (int i = 0; i < 4; ++i)
                        bytes[i] = char(number >> (8 * i));
                    (*found)[name] = {REG_DWORD, bytes};
                } else if (kind == QLatin1String("hex")) {
                    (*found)[name] = {REG_BINARY, QByteArray::fromHex(text.toLatin1())};
                }
            }
        }
    }
    return found;
}
} // namespace

QStringList files()
{
    QStringList files;
    const QString name = QStringLiteral("/Vintrel/registry.ini");
    // The system's folders (the most important of XDG_CONFIG_DIRS last), an
    // installed copy's own, then the user's.
    QStringList system = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).mid(1);
    std::reverse(system.begin(), system.end());
    system.prepend(QStringLiteral("/etc/xdg"));
    const QString prefix = QDir::cleanPath(App::Path() + QStringLiteral("/../etc/xdg") + name);
    system << QFileInfo(prefix).path();
    system << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const QString &folder : system) {
        const QString path = QDir::cleanPath(folder + name);
        if (!files.contains(path) && trusted(path, path == prefix))
            files << path;
    }
    return files;
}

std::int32_t RegOpenKeyEx(Key root, const QString &path, std::int32_t options, std::int32_t access, Key &opened)
{
    opened = 0;
    if (root != HKEY_LOCAL_MACHINE || options != 0 || !(access & KEY_QUERY_VALUE))
        return ERROR_FILE_NOT_FOUND;
    std::optional<Values> values = readKey(normal(QStringLiteral("HKEY_LOCAL_MACHINE\\") + path));
    if (!values)
        return ERROR_FILE_NOT_FOUND;
    opened = g_next++;
    g_open[opened] = {path, std::move(*values)};
    return ERROR_SUCCESS;
}

std::int32_t RegQueryValueEx(Key key, const QString &name, std::int32_t, std::int32_t &type, char *buffer,
                             std::int32_t &size)
{
    const auto open = g_open.find(key);
    if (open == g_open.end())
        return ERROR_FILE_NOT_FOUND;
    const auto value = open->second.second.find(name.toLower());
    if (value == open->second.second.end())
        return ERROR_FILE_NOT_FOUND;
    type = value->second.type;
    const QByteArray &bytes = value->second.bytes;
    if (bytes.size() > size) {
        size = std::int32_t(bytes.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    size = std::int32_t(bytes.size());
    return ERROR_SUCCESS;
}

std::int32_t RegCloseKey(Key key)
{
    return g_open.erase(key) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

} // namespace vintrel::registry
