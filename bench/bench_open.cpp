// Open Layout of a page of 30 camera photos at Add Photo's starting size: the
// wall time against the decoder's limit (djpeg at the scale the program needs,
// on all cores), and the program's peak memory after opening that layout and
// after opening a second one like it. Then, in the same process, the undo of
// that second Open (the first page back, with its pictures, repainted) and
// its redo, what 1000 more steps of history add to the memory, and the page at
// twice the size: its screen copies' pixels against those at actual size. A
// last process opens the layout at twice the size, for its peak memory. Each
// round is a fresh run of the program (this benchmark started again), so that
// the memory is a first run's.
//   build/bench/bench_open [megapixels] [rounds]
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThreadPool>

#include <QUndoStack>

#include "app/frmmain.h"
#include "app/pageview.h"
#include "benchsupport.h"
#include "layout/addphoto.h"
#include "layoutfile/layoutfile.h"
#include "picture/jpegdecoder.h"

using namespace vintrel;

namespace {

// The screen copies' pixels of the photos on the page, once every sharper copy
// asked for by their painting has come.
qint64 screenPixels(frmMain &form)
{
    qint64 before = -1, now = 0;
    while (now != before) {
        QCoreApplication::processEvents();
        decodingThreads().waitForDone();
        QCoreApplication::processEvents();
        before = now, now = 0;
        for (int i = 0; i < Page::kPhotos; ++i) {
            const QImage copy = form.page().Pic(i).picture().display();
            now += qint64(copy.width()) * copy.height();
        }
    }
    return now;
}

// One round, in a process of its own: opens the layouts in turn and prints
// "open <ms> <peak MB>" for each; then, with "--open", "undo <ms> <redo ms>",
// "history <KB added by 1000 steps>" and "pixels <at actual size> <at twice>";
// with "--zoomed", at twice the size from the start, "open" lines only.
int openRound(const QStringList &layouts, bool zoomed)
{
    bench::BenchUi ui;
    frmMain form(ui);
    form.Form_Load();
    form.resize(900, 1010); // the whole page in view at twice its size
    if (zoomed)
        form.view().setZoom(2);
    form.show();
    QCoreApplication::processEvents();
    for (const QString &layout : layouts) {
        QElapsedTimer t;
        t.start();
        openLayoutFile(form.page(), layout, ui);
        if (zoomed)
            screenPixels(form); // and its sharper copies
        std::printf("open %.1f %.1f\n", t.nsecsElapsed() / 1e6, bench::peakMB());
    }
    if (zoomed)
        return 0;
    // The undo of the last Open and its redo, each with its repaint.
    QElapsedTimer t;
    const auto timed = [&](const char *command) {
        t.start();
        form.command(command)->trigger();
        form.repaint();
        return t.nsecsElapsed() / 1e6;
    };
    const double undo = timed("mnuUndo");
    if (!form.page().PicFile[0].contains("/first/"))
        std::fprintf(stderr, "the undo did not give the first page back\n");
    std::printf("undo %.1f %.1f\n", undo, timed("mnuRedo"));
    // 1000 steps, each a nudge of another photo than the last (no two merge):
    // the bytes they hold on the heap, from an empty history.
    form.page().history().stack().clear();
    const size_t before = mallinfo2().uordblks;
    for (int n = 0; n < 1000; ++n) {
        form.page().CurPic = n % Page::kPhotos;
        QKeyEvent key(QEvent::KeyPress, n % 2 ? Qt::Key_Left : Qt::Key_Right, Qt::NoModifier);
        QCoreApplication::sendEvent(form.page().surface(), &key);
    }
    std::printf("history %ld %d\n", long(mallinfo2().uordblks - before) / 1024, form.page().history().stack().count());
    const qint64 actual = screenPixels(form);
    form.view().setZoom(2);
    std::printf("pixels %lld %lld\n", actual, screenPixels(form));
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
        page.Pic(i).setVisible(true); // on the page, as Add Photo leaves it
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
    if (argc > 2 && (QByteArray(argv[1]) == "--open" || QByteArray(argv[1]) == "--zoomed"))
        return openRound(app.arguments().mid(2), QByteArray(argv[1]) == "--zoomed");

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

    // A round's lines, each split into its words.
    const auto run = [](const QStringList &arguments, int lines) {
        QProcess round;
        round.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        round.start(QCoreApplication::applicationFilePath(), arguments);
        round.waitForFinished(-1);
        QList<QList<QByteArray>> out;
        for (const QByteArray &line : round.readAllStandardOutput().trimmed().split('\n'))
            out << line.split(' ');
        if (out.size() != lines) {
            std::fprintf(stderr, "the round failed\n");
            std::exit(1);
        }
        return out;
    };
    bench::Figures ours, limit, undo, redo;
    double peakFirst = 0, peakSecond = 0, peakZoomed = 0;
    long historyKb = 0, steps = 0;
    double pixelRatio = 0;
    for (int r = 0; r < rounds; ++r) {
        const auto lines = run({"--open", first, second}, 5);
        ours.ms << lines[0][1].toDouble();
        peakFirst = std::max(peakFirst, lines[0][2].toDouble());
        peakSecond = std::max(peakSecond, lines[1][2].toDouble());
        undo.ms << lines[2][1].toDouble();
        redo.ms << lines[2][2].toDouble();
        historyKb = std::max(historyKb, lines[3][1].toLong());
        steps = lines[3][2].toLong();
        pixelRatio = std::max(pixelRatio, lines[4][2].toDouble() / lines[4][1].toDouble());
        limit.ms << bench::djpegMs(files, eighths);
        peakZoomed = std::max(peakZoomed, run({"--zoomed", first}, 1)[0][2].toDouble());
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
    undo.print("undo of the second Open");
    redo.print("its redo");
    std::printf("%-34s %.0f ms (at most 30 ms; decoding again: djpeg %.0f ms)\n", "undo, median", undo.median(),
                limit.median());
    std::printf("%-34s %.1f MB (at most 5 MB; %ld steps kept)\n", "1000 steps of history add", historyKb / 1024.0,
                steps);
    std::printf("%-34s %.2fx (at most 4x)\n", "screen copies at 200 % / 100 %", pixelRatio);
    std::printf("%-34s %.0f MB (at most 150 MB)\n", "peak memory, opened at 200 %", peakZoomed);
    return 0;
}
