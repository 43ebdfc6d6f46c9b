#include "heiffile.h"

#include <dlfcn.h>

#include <cstring>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "buildinfo.h"

namespace vintrel::heif {

namespace {

// The plugin's opener, loaded once: beside the program, in its installed
// library folder, or one folder up (the build's tests, benchmarks and fuzzers
// stand in folders below the plugin).
Opener opener()
{
    static const Opener found = [] {
        const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
        const QString name = QStringLiteral("libvintrelheif.so");
        for (const QString &path : {QDir(program).filePath(name),
                                    QDir(program).filePath(QStringLiteral(VINTREL_LIBRARY_FROM_PROGRAM "/") + name),
                                    QDir(program).filePath(QStringLiteral("../") + name)}) {
            if (!QFileInfo(path).isFile())
                continue;
            if (void *plugin = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
                if (auto open = reinterpret_cast<Opener>(dlsym(plugin, kOpener)))
                    return open; // and it stays loaded
        }
        return Opener(nullptr);
    }();
    return found;
}

} // namespace

bool isHeif(const uchar *data, qint64 size)
{
    // An ISO file type box naming a HEIF or AVIF brand, as its own or as one it is compatible with.
    static const char *const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs",
                                         "mif1", "msf1", "avif", "avis"};
    if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0)
        return false;
    const qint64 end = std::min<qint64>({size, qint64(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3], 64});
    for (qint64 at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) // the major brand, a version, the compatible brands
        for (const char *brand : brands)
            if (std::memcmp(data + at, brand, 4) == 0)
                return true;
    return false;
}

std::unique_ptr<File> open(const uchar *data, qint64 size, QString &why)
{
    const Opener open = opener();
    if (!open) {
        why = QStringLiteral("HEIF and AVIF pictures cannot be read: libvintrelheif.so is not installed");
        return nullptr;
    }
    return std::unique_ptr<File>(open(data, size, &why));
}

} // namespace vintrel::heif
