// Print Page of 30 camera photos at Add Photo's starting size, overlapping as
// Add Photo places them, into a PDF: the time against djpeg decoding the photos
// at the size their print needs (at most 600 dots an inch, on all cores), the
// spool's size, the finest picture in it (pdfimages) and the program's peak
// memory; then Print Preview's first sheet against djpeg at the scale the
// preview's pictures need, and the longest the window waited for its events
// meanwhile. Each round is a fresh run of the program (this benchmark again).
//   build/bench/bench_print [megapixels] [rounds]
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>
#include <QTemporaryDir>

#include "benchsupport.h"
#include "layout/addphoto.h"
#include "layout/page.h"
#include "picture/jpegdecoder.h"
#include "print/printpage.h"

using namespace vintrel;

namespace {

void fillPage(Page &page, const QString &folder)
{
    for (int i = 0; i < Page::kPhotos; ++i) {
        // Held at the size the page shows them, as Add Photo holds them.
        recordPhoto(page, i, folder + QString("/photo %1.jpg").arg(i), firstShownAt(page, startingSize));
        fitStartingSize(page, i);
    }
}

// One preview in a process of its own: prints "preview <ms to the first sheet>
// <longest ms the window waited for its events>".
int previewRound(const QString &folder)
{
    bench::BenchUi ui;
    Page page;
    fillPage(page, folder);
    double ms = 0, longestWait = 0;
    ui.preview = [&](QPrinter &printer, const Ui::PaintSheet &paint) {
        QPrintPreviewWidget preview(&printer);
        QtUi::wirePreview(preview, paint);
        preview.resize(900, 1100);
        preview.show();
        QElapsedTimer t, sinceTick;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestWait = std::max(longestWait, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        tick.start(5);
        t.start();
        sinceTick.start();
        preview.updatePreview();
        ms = t.nsecsElapsed() / 1e6;
        longestWait = std::max(longestWait, sinceTick.nsecsElapsed() / 1e6);
    };
    mnuPrintPreview_Click(page, ui);
    std::printf("preview %.1f %.1f\n", ms, longestWait);
    return 0;
}

// One round in a process of its own: prints "print <ms> <peak MB>".
int printRound(const QString &folder, const QString &pdf)
{
    Page page;
    fillPage(page, folder);
    bench::resetPeak();
    QElapsedTimer t;
    t.start();
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QPainter painter(&printer);
        paintPage(painter, page, printItems(page), printer.resolution(), printer.resolution());
    }
    std::printf("print %.1f %.1f\n", t.nsecsElapsed() / 1e6, bench::peakMB());
    return 0;
}

// The largest dots per inch of a picture in the PDF, from pdfimages -list.
double finestPicture(const QString &pdf)
{
    QProcess list;
    list.start("pdfimages", {"-list", pdf});
    list.waitForFinished(-1);
    double finest = 0;
    for (const QByteArray &line : list.readAllStandardOutput().split('\n').mid(2)) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 13)
            finest = std::max({finest, f[12].toDouble(), f[13].toDouble()});
    }
    return finest;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenByDefault();
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--print")
        return printRound(app.arguments()[2], app.arguments()[3]);
    if (argc == 3 && QByteArray(argv[1]) == "--preview")
        return previewRound(app.arguments()[2]);

    const double megapixels = bench::megapixelsArg(argc, argv);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QSize size = bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString photo = bench::writePhoto(dir.filePath("camera.jpg"), size);
    const QString folder = dir.filePath("photos");
    QDir().mkpath(folder);
    QStringList files;
    for (int i = 0; i < Page::kPhotos; ++i) {
        files << folder + QString("/photo %1.jpg").arg(i);
        QFile::copy(photo, files.last());
    }
    // The scale each photo's whole print needs at 600 dots an inch.
    Page page;
    fillPage(page, folder);
    const QRectF printed = printItems(page).front().twips;
    const int eighths = jpeg::scaleFor(size, QSize(int(std::ceil(printed.width() / 1440 * 600)),
                                                   int(std::ceil(printed.height() / 1440 * 600))));
    const QString pdf = dir.filePath("page.pdf");
    bench::Figures ours, limit;
    double peak = 0;
    for (int r = 0; r < rounds; ++r) {
        QProcess round;
        round.start(QCoreApplication::applicationFilePath(), {"--print", folder, pdf});
        round.waitForFinished(-1);
        const QList<QByteArray> f = round.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 3) {
            std::fprintf(stderr, "the print round failed: %s\n", round.readAllStandardError().constData());
            return 1;
        }
        ours.ms << f[1].toDouble();
        peak = std::max(peak, f[2].toDouble());
        limit.ms << bench::djpegMs(files, eighths);
    }
    std::printf("Print Page: 30 photos of %dx%d (%.0f MP), each printed %.2f x %.2f in, needing %d/8; "
                "%d rounds, %d cores\n",
                size.width(), size.height(), megapixels, printed.width() / 1440, printed.height() / 1440,
                eighths, rounds, QThread::idealThreadCount());
    ours.print("Print Page to PDF");
    limit.print(qPrintable(QString("djpeg -scale %1/8, all cores").arg(eighths)));
    bench::printRatio("ratio (medians)", ours.median(), limit.median(), megapixels > 30 ? 1.5 : 1.2);
    std::printf("%-34s %.1f MB (at most 10 MB)\n", "spool", QFileInfo(pdf).size() / 1e6);
    std::printf("%-34s %.0f dpi (at most 600)\n", "finest picture in it", finestPicture(pdf));
    std::printf("%-34s %.0f MB (at most 200 MB)\n", "peak memory while printing", peak);

    // Print Preview, interleaved with djpeg at the scale its pictures need.
    const int previewEighths = jpeg::scaleFor(size, QSize(int(std::ceil(printed.width() / 1440 * kPreviewDpi)),
                                                          int(std::ceil(printed.height() / 1440 * kPreviewDpi))));
    bench::Figures preview, previewLimit;
    double longestWait = 0;
    for (int r = 0; r < rounds; ++r) {
        QProcess round;
        round.start(QCoreApplication::applicationFilePath(), {"--preview", folder});
        round.waitForFinished(-1);
        const QList<QByteArray> f = round.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 3) {
            std::fprintf(stderr, "the preview round failed: %s\n", round.readAllStandardError().constData());
            return 1;
        }
        preview.ms << f[1].toDouble();
        longestWait = std::max(longestWait, f[2].toDouble());
        previewLimit.ms << bench::djpegMs(files, previewEighths);
    }
    preview.print("Print Preview, first sheet");
    previewLimit.print(qPrintable(QString("djpeg -scale %1/8, all cores").arg(previewEighths)));
    bench::printRatio("ratio (medians)", preview.median(), previewLimit.median(), 1.2);
    std::printf("%-34s %.0f ms (the window repaints meanwhile)\n", "longest wait for the window", longestWait);
    return 0;
}
