// Photos dropped on the page: 30 camera photos dropped at once, from the drop
// to the last one on the page (loaded on all cores while the window repaints,
// with a progress after a moment), against djpeg decoding the same 30 files at
// the same scale on all cores. And Find... over a tree of 10,000 files,
// against find(1) walking the same tree.
//   build/bench/bench_drop [megapixels] [rounds]
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QWindow>

#include <set>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "layout/addphoto.h"
#include "layoutfile/findphotos.h"
#include "picture/jpegdecoder.h"

using namespace vintrel;

namespace {

// 10 x 10 x 10 folders of 10 files each, and one wanted file at the bottom of
// each of 30 folders four levels down.
QStringList writeTree(const QString &root)
{
    QStringList wanted;
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            for (int c = 0; c < 10; ++c) {
                const QString folder = root + QString("/%1/%2/%3").arg(a).arg(b).arg(c);
                QDir().mkpath(folder);
                for (int f = 0; f < 10; ++f)
                    QFile(folder + QString("/IMG_%1%2%3%4.jpg").arg(a).arg(b).arg(c).arg(f)).open(QIODevice::WriteOnly);
            }
    for (int i = 0; i < Page::kPhotos; ++i) {
        const QString folder = root + QString("/%1/%2/%3/deep").arg(i % 10).arg(i / 10).arg(i % 7);
        QDir().mkpath(folder);
        QFile(folder + QString("/wanted %1.jpg").arg(i)).open(QIODevice::WriteOnly);
        wanted << QString("wanted %1.jpg").arg(i);
    }
    return wanted;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenByDefault();
    QApplication app(argc, argv);
    const double megapixels = bench::megapixelsArg(argc, argv);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QSize size = bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString photo = bench::writePhoto(dir.filePath("camera.jpg"), size);
    QStringList files;
    QByteArray uris;
    for (int i = 0; i < Page::kPhotos; ++i) {
        files << dir.filePath(QString("photo %1.jpg").arg(i));
        QFile::copy(photo, files.last());
        uris += QUrl::fromLocalFile(files.last()).toEncoded() + "\r\n";
    }

    bench::BenchUi ui;
    frmMain form(ui);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    QMimeData data;
    data.setData("text/uri-list", uris);
    const QPoint at = form.page().surface()->mapTo(&form, QPoint(10, 10));
    bench::Figures ours, limit;
    QSize shownAt;
    for (int r = 0; r < rounds; ++r) {
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QElapsedTimer t;
        t.start();
        QCoreApplication::sendEvent(form.windowHandle(), &enter);
        QCoreApplication::sendEvent(form.windowHandle(), &drop);
        while (!form.page().PicUsed[Page::kPhotos - 1] && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        ours.ms << t.nsecsElapsed() / 1e6;
        const ImageControl &pic = form.page().Pic(0);
        shownAt = form.page().devicePixels(QSizeF(pic.Width(), pic.Height()));
        form.command("mnuNew")->trigger();
        limit.ms << bench::djpegMs(files, jpeg::scaleFor(size, shownAt));
    }
    const int eighths = jpeg::scaleFor(size, shownAt);
    std::printf("Drop: 30 photos of %dx%d (%.0f MP), each shown at %dx%d px, decoded at %d/8; %d rounds, %d cores\n",
                size.width(), size.height(), megapixels, shownAt.width(), shownAt.height(), eighths, rounds,
                QThread::idealThreadCount());
    ours.print("30 photos dropped");
    limit.print(qPrintable(QString("djpeg -scale %1/8, all cores").arg(eighths)));
    bench::printRatio("ratio (medians)", ours.median(), limit.median(), 1.10);

    const QString tree = dir.filePath("tree");
    const QStringList wanted = writeTree(tree);
    const std::set<QString> names(wanted.begin(), wanted.end());
    bench::Figures search, walk;
    std::size_t found = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        found = findByName(tree, names).size();
        search.ms << t.nsecsElapsed() / 1e6;
        t.restart();
        QProcess find;
        find.setStandardOutputFile(QProcess::nullDevice());
        find.start("find", {tree, "-maxdepth", "5", "-type", "f"});
        find.waitForFinished(-1);
        walk.ms << t.nsecsElapsed() / 1e6;
    }
    std::printf("Find...: %zu of %lld names found among 10,030 files in 1,141 folders\n", found, qlonglong(names.size()));
    search.print("Find... search");
    walk.print("find -maxdepth 5 -type f");
    std::printf("%-34s %.2fx\n", "ratio (medians)", search.median() / walk.median());
    std::printf("%-34s %.0f ms (at most 1000 ms)\n", "Find... search, median", search.median());
    return 0;
}
