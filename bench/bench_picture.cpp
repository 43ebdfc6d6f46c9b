// How long putting a camera-sized photo on the page takes, and what it holds in
// memory, against decoding the whole picture. Prints ratios measured in one run.
//   build/bench/bench_picture [megapixels]
#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <cstdio>

#include "benchsupport.h"
#include "platform/picture.h"

int main(int argc, char **argv)
{
    vintrel::bench::offscreenByDefault();
    QApplication app(argc, argv);
    const double megapixels = vintrel::bench::megapixelsArg(argc, argv);
    const QSize size = vintrel::bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString path = vintrel::bench::writePhoto(dir.filePath("camera.jpg"), size);
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
    std::printf("%dx%d JPEG (%.0f MP), %d rounds\n", size.width(), size.height(), megapixels, rounds);
    std::printf("full decode : %7.1f ms  %7.1f MB\n", full / 1e6 / rounds, fullBytes / 1e6);
    std::printf("LoadPicture : %7.1f ms  %7.1f MB\n", load / 1e6 / rounds, loadBytes / 1e6);
    std::printf("ratio       : %7.2fx faster, %.0fx less memory\n", double(full) / load, double(fullBytes) / loadBytes);
    return 0;
}
