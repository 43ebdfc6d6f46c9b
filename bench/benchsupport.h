#pragma once
// What the benchmarks share: offscreen windows, and a camera-sized test photo.
#include <cmath>
#include <cstdlib>

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>

namespace vintrel::bench {

// Windows offscreen unless the caller chose a platform.
inline void offscreenByDefault()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The photo size a benchmark was asked for: its first argument, in megapixels
// (24 by default).
inline double megapixelsArg(int argc, char **argv) { return argc > 1 ? std::atof(argv[1]) : 24; }

// A 3:2 size of about the given megapixels.
inline QSize cameraSize(double megapixels)
{
    const int width = int(std::sqrt(megapixels * 1e6 * 1.5));
    return QSize(width, width * 2 / 3);
}

// A JPEG with a gradient and many small squares, so that it compresses about
// as a photo does.
inline QString writePhoto(const QString &path, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, Qt::darkBlue);
    g.setColorAt(1, Qt::yellow);
    p.fillRect(image.rect(), g);
    for (int i = 0; i < 3000; ++i)
        p.fillRect((i * 7919) % size.width(), (i * 104729) % size.height(), 30, 30,
                   QColor::fromHsv(i % 360, 200, 200));
    p.end();
    image.save(path, "JPG", 90);
    return path;
}

} // namespace vintrel::bench
