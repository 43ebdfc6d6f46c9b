// How long putting a camera-sized photo on the page takes, and what it holds in
// memory, against decoding the whole picture. Prints ratios measured in one run.
//   build/bench/bench_picture [megapixels]
#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/picture.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double megapixels = argc > 1 ? atof(argv[1]) : 24;
    const int width = int(std::sqrt(megapixels * 1e6 * 1.5)), height = width * 2 / 3;
    QTemporaryDir dir;
    const QString path = dir.filePath("camera.jpg");
    {
        QImage image(width, height, QImage::Format_RGB32);
        QPainter p(&image);
        QLinearGradient g(0, 0, width, height);
        g.setColorAt(0, Qt::darkBlue);
        g.setColorAt(1, Qt::yellow);
        p.fillRect(image.rect(), g);
        for (int i = 0; i < 2000; ++i)
            p.fillRect((i * 7919) % width, (i * 104729) % height, 40, 40, QColor::fromHsv(i % 360, 200, 200));
        p.end();
        image.save(path, "JPG", 90);
    }
    QImageReader::setAllocationLimit(1024);
    const int rounds = 5;
    QElapsedTimer t;
    qint64 full = 0, load = 0, fullBytes = 0, loadBytes = 0;
    for (int r = 0; r < rounds; ++r) {
        t.start();
        QImage whole = QImageReader(path).read();
        full += t.nsecsElapsed();
        fullBytes = whole.sizeInBytes();
        t.start();
        vintrel::Picture picture = vintrel::LoadPicture(path);
        load += t.nsecsElapsed();
        loadBytes = picture.display().sizeInBytes();
    }
    std::printf("%dx%d JPEG (%.0f MP), %d rounds\n", width, height, megapixels, rounds);
    std::printf("full decode : %7.1f ms  %7.1f MB\n", full / 1e6 / rounds, fullBytes / 1e6);
    std::printf("LoadPicture : %7.1f ms  %7.1f MB\n", load / 1e6 / rounds, loadBytes / 1e6);
    std::printf("ratio       : %7.2fx faster, %.0fx less memory\n", double(full) / load, double(fullBytes) / loadBytes);
    return 0;
}
