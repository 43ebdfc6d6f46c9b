// Printing a full page of camera photos to PDF: the time and the size of the
// spool, drawing each photo at the resolution its printed size needs (at most
// 600 dots an inch) against drawing the whole decoded photo.
//   build/bench/bench_print [megapixels]
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <cstdio>

#include "benchsupport.h"
#include "layout/addphoto.h"
#include "layout/page.h"
#include "print/printpage.h"

namespace {
void startPdf(QPrinter &printer, const QString &path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
}
} // namespace

int main(int argc, char **argv)
{
    vintrel::bench::offscreenByDefault();
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(1024);
    const double megapixels = vintrel::bench::megapixelsArg(argc, argv);
    const QSize size = vintrel::bench::cameraSize(megapixels);
    QTemporaryDir dir;
    const QString photo = vintrel::bench::writePhoto(dir.filePath("camera.jpg"), size);

    vintrel::Page page;
    for (int i = 0; i < vintrel::Page::kPhotos; ++i) {
        vintrel::RecordPhoto(page, i, photo);
        vintrel::FitStartingSize(page, i);
    }
    const auto items = vintrel::PrintItems(page);

    QElapsedTimer t;
    t.start();
    {
        QPrinter printer(QPrinter::HighResolution);
        startPdf(printer, dir.filePath("page.pdf"));
        QPainter painter(&printer);
        vintrel::PaintPage(painter, page, items, printer.resolution(), printer.resolution());
    }
    const double ours = t.nsecsElapsed() / 1e6;

    t.start();
    {
        // Every photo drawn from its whole decoded picture.
        QPrinter printer(QPrinter::HighResolution);
        startPdf(printer, dir.filePath("whole.pdf"));
        QPainter painter(&printer);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QImage whole = QImageReader(photo).read();
        const double s = printer.resolution() / 1440.0;
        // A copy each, as thirty different photos would be (the PDF writer
        // stores one image only once).
        for (const auto &item : items)
            painter.drawImage(QRectF(item.twips.x() * s, item.twips.y() * s, item.twips.width() * s,
                                     item.twips.height() * s),
                              whole.copy());
    }
    const double whole = t.nsecsElapsed() / 1e6;
    const double oursMB = QFileInfo(dir.filePath("page.pdf")).size() / 1e6;
    const double wholeMB = QFileInfo(dir.filePath("whole.pdf")).size() / 1e6;
    std::printf("30 photos of %dx%d (%.0f MP) on one page\n", size.width(), size.height(), megapixels);
    std::printf("at printed size : %8.0f ms  %8.1f MB\n", ours, oursMB);
    std::printf("whole pictures  : %8.0f ms  %8.1f MB\n", whole, wholeMB);
    std::printf("ratio           : %8.2fx faster, %.0fx smaller\n", whole / ours, wholeMB / oursMB);
    return 0;
}
