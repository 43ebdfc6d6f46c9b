#include "printpage.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QThread>
#include <QRegion>
#include <QScopedValueRollback>
#include <QtConcurrent/QtConcurrentRun>

#include "layout/page.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"
#include "platform/ui.h"
#include "platform/waiting.h"
#include "paper.h"

namespace vintrel {

namespace {

// Left x 2.14 and Top x 2.14 are rounded to single precision; the sizes stay double.
QRectF printRect(const ImageControl &pic, double scale)
{
    const float x = toSingle(pic.Left() * scale);
    const float y = toSingle(pic.Top() * scale);
    const double w = pic.Width() * scale;
    const double h = pic.Height() * scale;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h))
        throw RuntimeError(QStringLiteral("a photo stands beyond any printable place"));
    return QRectF(x, y, w, h);
}
} // namespace

std::vector<PrintItem> printItems(const Page &page, double scale, bool pictures)
{
    std::vector<PrintItem> items;
    for (int i : page.slotsByRank(0))
        if (page.PicUsed[i] && page.Pic(i).picture().isEmpty() != pictures)
            items.push_back({i, printRect(page.Pic(i), scale)});
    return items;
}

std::vector<PrintPiece> printPieces(const std::vector<PrintItem> &items, QSizeF sheet, double dpiX, double dpiY,
                                    double finest)
{
    const double sx = dpiX / 1440, sy = dpiY / 1440;
    const QRectF paper(QPointF(0, 0), sheet);
    std::vector<QRectF> device(items.size());
    for (size_t k = 0; k < items.size(); ++k) {
        const QRectF &t = items[k].twips;
        device[k] = QRectF(t.x() * sx, t.y() * sy, t.width() * sx, t.height() * sy);
    }
    // What shows of each photo: its rectangle on the sheet, less those of the
    // photos drawn after it, in whole device pixels.
    auto whole = [&](const QRectF &r) { return (r & paper).toAlignedRect(); };
    std::vector<PrintPiece> pieces;
    QRegion above;
    for (size_t k = items.size(); k-- > 0;) {
        const QRect onSheet = whole(device[k]);
        const QRect shows = (QRegion(onSheet) - above).boundingRect();
        above += onSheet;
        if (shows.isEmpty() || device[k].isEmpty())
            continue;
        const QRectF r = device[k];
        const QRectF part((shows.x() - r.x()) / r.width(), (shows.y() - r.y()) / r.height(),
                          shows.width() / r.width(), shows.height() / r.height());
        // The pixels that part needs: no more than `finest` dots an inch.
        const QSize pixels(int(std::ceil(shows.width() / dpiX * std::min(dpiX, finest))),
                           int(std::ceil(shows.height() / dpiY * std::min(dpiY, finest))));
        pieces.push_back({items[k].slot, QRectF(shows), part & QRectF(0, 0, 1, 1), pixels.expandedTo({1, 1})});
    }
    std::reverse(pieces.begin(), pieces.end());
    return pieces;
}

void paintPage(QPainter &painter, const Page &page, const std::vector<PrintItem> &items, double dpiX, double dpiY,
               double finest)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF sheet(painter.device()->width(), painter.device()->height());
    const std::vector<PrintPiece> pieces = printPieces(items, sheet, dpiX, dpiY, finest);
    Waiting waiting;
    waiting.objectName = QStringLiteral("PrintProgress");
    waiting.text = [](int, int) { return QStringLiteral("Preparing the photos for the printer..."); };
    // Decoded on the pool, a few ahead, and drawn in stacking order as each is
    // ready: only those few print-sized pictures are held at once.
    const size_t ahead = size_t(std::max(2, QThread::idealThreadCount()));
    std::vector<QFuture<QImage>> decoded(pieces.size());
    auto start = [&](size_t k) {
        if (k < pieces.size())
            decoded[k] = QtConcurrent::run(&decodingThreads(), [picture = page.Pic(pieces[k].slot).picture(), piece = pieces[k]] {
                return picture.render(piece.pixels, piece.part);
            });
    };
    for (size_t k = 0; k < ahead; ++k)
        start(k);
    for (size_t k = 0; k < pieces.size(); ++k) {
        // The windows go on repainting meanwhile.
        if (!decoded[k].isFinished())
            waiting.waitFor(QFuture<void>(decoded[k]));
        const QImage image = decoded[k].result();
        decoded[k] = QFuture<QImage>();
        start(k + ahead);
        painter.drawImage(pieces[k].target, image);
    }
}

bool printSheet(QPrinter &printer, const Page &page, bool shrinkToFit, Ui *asking, double finest, bool preview)
{
    // Drawn once at a time: a preview asked to draw again while it waits for its photos draws nothing.
    static bool drawing = false;
    if (drawing)
        return false;
    const QScopedValueRollback<bool> once(drawing, true);
    const QSizeF printable = printableTwips(printer.pageLayout());
    const double scale = printScale(printItems(page), printable, shrinkToFit);
    const std::vector<PrintItem> items = printItems(page, scale);
    // The document starts with the first photo drawn: a page without photos
    // prints no sheet. Its preview shows the sheet all the same.
    if (items.empty() && !preview)
        return false;
    if (asking && reachesBeyond(items, printable) &&
        MsgBox(*asking,
               QStringLiteral("Some photos reach beyond the printable area of the paper and will be cut off. "
                              "Print anyway?"),
               MsgButtons::YesNo, MsgIcon::Question) == MsgAnswer::No)
        return false;
    // A PDF file says its colours are sRGB, as every photo's are made. (Set
    // on a preview's printer, it leaves the preview without a sheet.)
    if (printer.outputFormat() == QPrinter::PdfFormat && !preview)
        printer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    paintPage(painter, page, items, printer.resolution(), printer.resolution(), finest);
    if (preview) {
        // The photos whose files are missing or unreadable, which print
        // nothing, show as frames naming their files, as on the page.
        const double dots = printer.resolution() / 1440.0;
        QFont font = painter.font();
        font.setPointSizeF(8);
        painter.setFont(font);
        for (const PrintItem &frame : printItems(page, scale, false)) {
            const QRectF r(frame.twips.topLeft() * dots, frame.twips.size() * dots);
            painter.fillRect(r, QColor(245, 245, 245));
            painter.setPen(QPen(QColor(150, 150, 150), 0, Qt::DashLine));
            painter.drawRect(r);
            painter.drawText(r, Qt::AlignCenter | Qt::TextWrapAnywhere,
                             QFileInfo(page.Pic(frame.slot).missing()).fileName());
        }
    }
    if (!painter.end()) {
        printer.abort();
        return false;
    }
    return true;
}

void mnuPrint_Click(Page &page, CommonDialog &cdDialog, Ui &ui)
{
    cdDialog.CancelError = true;
    cdDialog.Flags = CommonDialog::NoSelectionChoice | CommonDialog::NoPageRange | CommonDialog::NoPrintToFile;
    QPrinter printer(QPrinter::HighResolution);
    PaperSetup paper = rememberedPaper();
    usePaper(printer, paper);
    cdDialog.shrinkToFit = paper.shrinkToFit;
    if (!completed([&] { cdDialog.ShowPrinter(printer); }))
        return; // Cancel
    paper = paperOf(printer, cdDialog.shrinkToFit);
    rememberPaper(paper);
    page.surface()->setPrintableArea(printableOnPage(paper.layout));
    if (!completed([&] { printSheet(printer, page, paper.shrinkToFit, &ui); }))
        printer.abort(); // ends quietly; nothing half-drawn is sent
}

void mnuPrintPreview_Click(Page &page, Ui &ui)
{
    QPrinter printer(QPrinter::HighResolution);
    PaperSetup paper = rememberedPaper();
    usePaper(printer, paper);
    ui.printPreview(printer, paper.shrinkToFit, [&](QPrinter &sheet, bool forReal) {
        // The preview's pictures at the screen's detail, the printer's at the paper's.
        const double finest = forReal ? kMaxPrintDpi : kPreviewDpi;
        if (!completed([&] { printSheet(sheet, page, paper.shrinkToFit, forReal ? &ui : nullptr, finest, !forReal); }))
            sheet.abort();
    });
    paper = paperOf(printer, paper.shrinkToFit);
    rememberPaper(paper);
    page.surface()->setPrintableArea(printableOnPage(paper.layout));
}

} // namespace vintrel
