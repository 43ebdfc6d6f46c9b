#pragma once
// Print Page: the page on one sheet, every place and size times 2.14, measured
// from the top-left corner of the printable area, photos drawn from the lowest
// stacking rank to the highest.
#include <vector>

#include <QRectF>
#include <QSize>

#include "platform/twips.h"

class QPainter;
class QPrinter;

namespace vintrel {

class CommonDialog;
class Page;

class Ui;
struct PaperSetup;

// More detail than this cannot be seen on paper; it only makes the spool larger.
constexpr double kMaxPrintDpi = 600;
// The preview's pictures: sharp on screen up to twice the paper's size.
constexpr double kPreviewDpi = 200;

// One photo to draw: its slot and its rectangle in printer twips.
struct PrintItem {
    int slot;
    QRectF twips;
};

// The used photos with pictures (or, not `pictures`, those without: their
// files missing or unreadable), in drawing order: by rank, then by slot, each
// place and size times the scale. Ranks that are not whole, are negative or are
// above the counter are not printed. Throws RuntimeError when a place or size
// cannot be printed.
std::vector<PrintItem> printItems(const Page &page, double scale = kPrintScale, bool pictures = true);

// What is drawn of one photo: the part of it that shows (photos above it
// covering the rest, or the sheet ending), its rectangle on the sheet in device
// pixels, that part in fractions of the photo, and the pixels it needs there.
struct PrintPiece {
    int slot;
    QRectF target;
    QRectF part;
    QSize pixels;
};
// The pieces of the items on a sheet of that many device pixels, in drawing order.
std::vector<PrintPiece> printPieces(const std::vector<PrintItem> &items, QSizeF sheet, double dpiX, double dpiY,
                                    double finest = kMaxPrintDpi);

// Draws the items onto a painter whose origin is the printable area's top-left
// corner and whose device has the given dots per inch. Of each photo only the
// part that shows is drawn, from the file at the resolution it needs there (at
// most `finest` dots an inch), smoothly scaled. While it waits for a picture
// the windows go on repainting, and a progress shows after a moment.
void paintPage(QPainter &painter, const Page &page, const std::vector<PrintItem> &items, double dpiX, double dpiY,
               double finest = kMaxPrintDpi);

// The page on the printer's sheet, at 2.14 or shrunk to fit its paper, as
// Print Page and the preview draw it, its pictures at most `finest` dots an
// inch. When `asking`, a page with photos that reach beyond the printable area
// is printed only if the user says so. False when nothing was drawn. Its
// `preview` is a sheet however few photos print, and shows the frames of
// photos whose files are missing.
bool printSheet(QPrinter &printer, const Page &page, bool shrinkToFit, Ui *asking, double finest = kMaxPrintDpi,
                bool preview = false);

// The Print Page command. The paper chosen becomes the page's printable area.
void mnuPrint_Click(Page &page, CommonDialog &cdDialog, Ui &ui);
// Print Preview: the sheet as Print Page prints it, with its own printer and
// page setup, printing from it as Print Page does.
void mnuPrintPreview_Click(Page &page, Ui &ui);

} // namespace vintrel
