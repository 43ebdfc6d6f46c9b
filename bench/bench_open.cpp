// Open Layout of a page of 30 camera photos at Add Photo's starting size: the
// wall time against the decoder's limit (djpeg at the scale the program needs,
// on all cores), and the program's peak memory after opening that layout and
// after opening a second one like it. Each round is a fresh run of the program
// (this benchmark started again), so that the memory is a first run's.
//   build/bench/bench_open [megapixels] [rounds]
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "layout/addphoto.h"
#include "layoutfile/layoutfile.h"
#include "picture/jpegdecoder.h"

using namespace vintrel;

namespace {

// One round, in a process of its own: opens the layouts in turn and prints
// "open <ms> <peak MB>" for each.
int openRound(const QStringList &layouts)
{
    bench::BenchUi ui;
    frmMain form(ui);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    for (const QString &layout : layouts) {
        QElapsedTimer t;
        t.start();
        openLayoutFile(form.page(), layout, ui);
        std::printf("open %.1f %.1f\n", t.nsecsElapsed() / 1e6, bench::peakMB());
    }
    return 0;
}

// A layout of 30 copies of the photo (as 30 different photos would be), each
// at Add Photo's starting size in its slot's place.
QString writeLayout(const QString &photo, const QString &folder, QSize &shownAt)
{
    QDir().mkpath(folder);
    bench::BenchUi ui;
    Page page;
    for (int i = 0; i < Page::kPhotos; ++i) {
        const QString copy = folder + QString("/photo %1.jpg").arg(i);
        QFile::copy(photo, copy);
        recordPhoto(page, i, copy);
        fitStartingSize(page, i);
    }
    shownAt = page.devicePixels(QSizeF(page.Pic(0).Width(), page.Pic(0).Height()));
    const QString path = folder + ".ppy";
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(writeLayout(page));
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenByDefault();
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--open")
        return openRound(app.arguments().mid(2));

    const double megapixels = bench::megapixelsArg(argc, argv);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QSize size = bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString photo = bench::writePhoto(dir.filePath("camera.jpg"), size);
    QSize shownAt;
    const QString first = writeLayout(photo, dir.filePath("first"), shownAt);
    const QString second = writeLayout(photo, dir.filePath("second"), shownAt);
    const int eighths = jpeg::scaleFor(size, shownAt);
    QStringList files;
    for (int i = 0; i < Page::kPhotos; ++i)
        files << dir.filePath(QString("first/photo %1.jpg").arg(i));

    bench::Figures ours, limit;
    double peakFirst = 0, peakSecond = 0;
    for (int r = 0; r < rounds; ++r) {
        QProcess round;
        round.start(QCoreApplication::applicationFilePath(), {"--open", first, second});
        round.waitForFinished(-1);
        const QList<QByteArray> lines = round.readAllStandardOutput().trimmed().split('\n');
        if (lines.size() != 2) {
            std::fprintf(stderr, "the open round failed: %s\n", round.readAllStandardError().constData());
            return 1;
        }
        ours.ms << lines[0].split(' ')[1].toDouble();
        peakFirst = std::max(peakFirst, lines[0].split(' ')[2].toDouble());
        peakSecond = std::max(peakSecond, lines[1].split(' ')[2].toDouble());
        limit.ms << bench::djpegMs(files, eighths);
    }
    std::printf("Open Layout: 30 photos of %dx%d (%.0f MP), each shown at %dx%d px, decoded at %d/8; "
                "%d rounds, %d cores\n",
                size.width(), size.height(), megapixels, shownAt.width(), shownAt.height(), eighths, rounds,
                QThread::idealThreadCount());
    ours.print("Open Layout");
    limit.print(qPrintable(QString("djpeg -scale %1/8, all cores").arg(eighths)));
    bench::printRatio("ratio (medians)", ours.median(), limit.median(), 1.10);
    std::printf("%-34s %.0f MB (at most 100 MB)\n", "peak memory after the first open", peakFirst);
    std::printf("%-34s %.0f MB (at most 150 MB)\n", "peak memory after a second open", peakSecond);
    return 0;
}
