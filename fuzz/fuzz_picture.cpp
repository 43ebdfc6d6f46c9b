// libFuzzer target for picture loading with the program's own checks and
// limits: any bytes, under any name, must load as a picture whose copies keep
// within their bounds or be refused with PictureError, never crash, hang,
// allocate without bound or touch memory they do not own.
#include <cstdint>
#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>

#include "picture/pictureerror.h"
#include "picture/picture.h"

using namespace vintrel;

namespace {
QString g_path;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // for Qt's picture plugins
    g_path = QStringLiteral("/tmp/vintrel-fuzz-picture-%1").arg(::getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    {
        QFile file(g_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            __builtin_trap();
    }
    // The first byte picks the size the photo is shown at, as Add and Open ask.
    const int shown = size ? 1 + data[0] % 64 * 16 : 64;
    try {
        const Picture picture = LoadPicture(g_path, [shown](QSize) { return QSize(shown, shown); });
        const QSize natural = picture.size();
        const QImage copy = picture.display();
        if (natural.isEmpty() || copy.isNull() || copy.width() > Picture::kLargestCopy ||
            copy.height() > Picture::kLargestCopy)
            __builtin_trap();
        // The printer's way: a part of the picture at a given size, never more
        // pixels than asked for.
        const QImage part = picture.render(QSize(300, 200), QRectF(0.25, 0.25, 0.5, 0.5));
        if (part.width() > 300 || part.height() > 200)
            __builtin_trap();
        (void)picture.sharper(QSize(512, 512));
    } catch (const PictureError &) {
    }
    return 0;
}
