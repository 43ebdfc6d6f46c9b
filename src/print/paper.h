#pragma once
// The paper the page prints on: the printer, its paper, orientation and
// margins, and whether the page shrinks to fit it. Remembered in the settings
// after each print or preview; at the first start, the default printer's
// default paper, or with no printer the system's paper with Qt's margins.
#include <vector>

#include <QPageLayout>
#include <QSizeF>
#include <QString>

class QPrinter;

namespace vintrel {

struct PrintItem;

struct PaperSetup {
    QString printerName; // empty: printing to a PDF file
    QPageLayout layout;
    bool shrinkToFit = false;
};

// The system's paper: $PAPERSIZE, the file $PAPERCONF or /etc/papersize,
// else Letter where the locale measures in US units and A4 elsewhere.
QPageSize systemPaper();
// The paper of the default printer, or the system's paper with no printer.
PaperSetup defaultPaper();
// The paper remembered from the last print or preview, while its printer is
// still there; else the default.
PaperSetup rememberedPaper();
void rememberPaper(const PaperSetup &paper);
// The printer's choice, with the page shrunk to fit or not.
PaperSetup paperOf(const QPrinter &printer, bool shrinkToFit);
// Sets the printer to the paper: its printer, when still there, and its layout.
void usePaper(QPrinter &printer, const PaperSetup &paper);

// The printable area in printer twips (1/1440 inch of paper).
QSizeF printableTwips(const QPageLayout &layout);
// How much of the page prints on that paper at true size: the printable area
// in page twips, from the page's corner.
QSizeF printableOnPage(const QPageLayout &layout);

// The scale the page prints at: 2.14 (true size), or when shrinking to fit the
// largest scale up to 2.14 at which every photo's far edges stay on the
// printable area of that many printer twips.
double printScale(const std::vector<PrintItem> &atTrueSize, QSizeF printable, bool shrinkToFit);
// Whether any of the items (in printer twips) reaches beyond the printable area.
bool reachesBeyond(const std::vector<PrintItem> &items, QSizeF printable);

} // namespace vintrel
