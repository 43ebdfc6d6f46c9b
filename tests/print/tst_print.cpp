// Print Page through the same code path as the real printer: to PDF files
// (checked with poppler's tools), to a picture, and through a real CUPS queue
// of a scheduler started for this test (cups.sh).

#include <sys/stat.h>

#include "layout/photowidget.h"
#include "platform/twips.h"
#include "print/paper.h"
#include "print/printpage.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
// The images poppler finds on the first page, in drawing order, each one's
// rectangle in 1/144 inch (10 twips) from the sheet's top-left corner, less the
// printable area's corner (of Qt's PDF paper unless given).
QList<QRect> imagesIn(const QString &pdf, std::optional<QPageLayout> paper = std::nullopt)
{
    QTemporaryDir out;
    tool("pdftohtml", {"-xml", "-zoom", "2", "-q", pdf, out.filePath("page")});
    const QString xml = QString::fromUtf8(readBytes(out.filePath("page.xml")));
    if (!paper) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        paper = printer.pageLayout();
    }
    const QPoint corner = paper->paintRectPoints().topLeft() * 2;
    QList<QRect> images;
    static const QRegularExpression image(R"re(<image top="(-?\d+)" left="(-?\d+)" width="(\d+)" height="(\d+)")re");
    for (auto m = image.globalMatch(xml); m.hasNext();) {
        const auto hit = m.next();
        images << QRect(hit.captured(2).toInt() - corner.x(), hit.captured(1).toInt() - corner.y(),
                        hit.captured(3).toInt(), hit.captured(4).toInt());
    }
    return images;
}
// The first page of a PDF as a picture, at that many dots an inch.
QImage rasterOf(const QString &pdf, int dpi)
{
    QTemporaryDir out;
    tool("pdftoppm", {"-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile", "-png", pdf, out.filePath("page")});
    return QImage(out.filePath("page.png")).convertToFormat(QImage::Format_RGB32);
}
// Letter and A4 with quarter-inch margins.
QPageLayout paper(const QString &name)
{
    return QPageLayout(QPageSize(name == "A4" ? QPageSize::A4 : QPageSize::Letter), QPageLayout::Portrait,
                       QMarginsF(18, 18, 18, 18));
}
const QString kCutOff = "question: Some photos reach beyond the printable area of the paper and will be cut off. "
                        "Print anyway?";
// The embedded images' pixel sizes, as pdfimages lists them.
QList<QSize> embeddedSizes(const QString &pdf)
{
    QList<QSize> sizes;
    for (const QString &line : tool("pdfimages", {"-list", pdf}).split('\n').mid(2)) {
        const QStringList cols = line.simplified().split(' ');
        if (cols.size() > 4 && cols[2] == "image")
            sizes << QSize(cols[3].toInt(), cols[4].toInt());
    }
    return sizes;
}
} // namespace

class TestPrint : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString red, blue, green;

    void place(Desk &desk, int i, const QString &path, QRectF at, double rank)
    {
        desk.place(i, path, float(at.x()), float(at.y()), float(at.width()), float(at.height()));
        desk.page.PicZOrder[i] = rank;
    }
    QString print(Desk &desk, const QString &name)
    {
        const QString pdf = dir.filePath(name);
        desk.ui.printers << pdf;
        desk.run("mnuPrint");
        return pdf;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("pdftohtml").isEmpty())
            QSKIP("poppler-utils is not installed");
        red = writePicture(dir.filePath("red.png"), {64, 48}, "PNG", Qt::red);
        blue = writePicture(dir.filePath("blue.png"), {64, 48}, "PNG", Qt::blue);
        green = writePicture(dir.filePath("green.png"), {64, 48}, "PNG", Qt::green);
    }

    void drawnScaledInRankOrder()
    {
        Desk desk;
        // Slot 5 was clicked last; slot 2 has rank 0 (as after opening a layout),
        // slot 1 a rank that is not whole, slot 3 is visible but not used, slot 4
        // is used with a rank above the counter.
        place(desk, 0, red, {0, 0, 1000, 1000}, 2);
        place(desk, 5, blue, {500, 500, 1000, 1000}, 3);
        place(desk, 2, green, {1000, 1000, 1000, 1000}, 0);
        place(desk, 1, red, {3000, 0, 500, 500}, 1.5);
        place(desk, 3, red, {3000, 3000, 500, 500}, 1);
        desk.page.PicUsed[3] = false;
        place(desk, 4, red, {4000, 4000, 500, 500}, 9);
        place(desk, 6, red, {1000, 5000, 2000, 1500}, 1);
        desk.page.ZOrderCount = 3;
        // Each place and size times 2.14: 1000, 5000, 2000 x 1500 twips print at
        // 2140, 10700, 4280 x 3210 from the printable area's corner.
        QCOMPARE(imagesIn(print(desk, "order.pdf")),
                 QList<QRect>({{214, 214, 214, 214}, {214, 1070, 428, 321}, {0, 0, 214, 214}, {107, 107, 214, 214}}));
        QCOMPARE(desk.ui.printFlags, QList<int>({0x8000C}));
        // The same routine on a picture: where photos overlap, the higher rank shows.
        QImage sheet(1300, 1300, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        paintPage(painter, desk.page, printItems(desk.page), 144, 144);
        painter.end();
        QCOMPARE(QColor(sheet.pixel(180, 180)), QColor(Qt::blue));  // slot 5 over slot 0
        QCOMPARE(QColor(sheet.pixel(400, 400)), QColor(Qt::green)); // slot 2 alone
    }

    void whatPrintsNoSheet_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("no photos") << "empty";
        QTest::newRow("only a missing photo's frame") << "missing";
        QTest::newRow("a photo beyond any printable place") << "far";
        QTest::newRow("cancelled") << "cancel";
    }
    void whatPrintsNoSheet()
    {
        QFETCH(QString, page);
        Desk desk;
        desk.page.Pic(0).setVisible(true);
        if (page == "missing") {
            place(desk, 1, blue, {2000, 0, 1000, 1000}, 1);
            desk.page.Pic(1).setMissing(dir.filePath("moved.jpg"));
        } else if (page != "empty") {
            place(desk, 0, red, {0, 0, 1000, 1000}, 1);
            place(desk, 1, red, {page == "far" ? 3e38f : 0, 0, 1000, 1000}, 1);
        }
        desk.page.ZOrderCount = 1;
        const QString pdf = dir.filePath(page + ".pdf");
        desk.ui.printers << (page == "cancel" ? std::nullopt : std::optional<QString>(pdf));
        desk.run("mnuPrint");
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(desk.ui.said().isEmpty());
    }

    // What prints of a photo whose file changed after it was placed: the file
    // while it is still the picture that was placed, else the copy the photo
    // holds for the screen; never a hang, never another picture.
    void fileChangedAfterPlacing_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"", "delete", "swap", "cut", "fifo"})
            QTest::newRow(*change ? change : "as placed") << QString(change);
    }
    void fileChangedAfterPlacing()
    {
        QFETCH(QString, change);
        const bool fromFile = change.isEmpty();
        Desk desk;
        const QString path = writePicture(dir.filePath("changing.jpg"), {2000, 1500});
        place(desk, 0, path, {1000, 500, 2000, 1500}, 1);
        desk.page.ZOrderCount = 1;
        const QSize held = desk.page.Pic(0).picture().display().size();
        QVERIFY(held.width() < 1784);
        // A small photo printed large keeps its own pixels; a camera photo prints upright.
        place(desk, 1, red, {0, 3000, 4000, 3000}, 1);
        place(desk, 2, jpegTurned(dir.filePath("turned.jpg"), {64, 48}), {4000, 0, 480, 640}, 1);
        if (change == "delete" || change == "fifo")
            QVERIFY(QFile::remove(path));
        if (change == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (change == "swap")
            QVERIFY(QFile::remove(path) && !writePicture(path, {2000, 1500}, "JPG", Qt::red).isEmpty());
        if (change == "cut")
            QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        // 2000 x 1500 twips print 2.97 x 2.23 inches: 1784 x 1338 at 600 dots an
        // inch, however fine the printer.
        QCOMPARE(embeddedSizes(print(desk, "changed.pdf")),
                 QList<QSize>({fromFile ? QSize(1784, 1338) : held, QSize(64, 48), QSize(48, 64)}));
    }

    // Letter and A4 through Print Page, the preview and the CUPS queue: what
    // prints, the question when a photo reaches beyond the printable area,
    // shrinking to fit, the line on the page and the paper remembered.
    void printableArea_data()
    {
        QTest::addColumn<QString>("paperName");
        QTest::addColumn<QString>("route");
        QTest::addColumn<bool>("crossing");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("shrink");
        QTest::newRow("Letter, inside") << "Letter" << "print" << false << true << false;
        QTest::newRow("Letter, crossing, printed cut") << "Letter" << "print" << true << true << false;
        QTest::newRow("A4, crossing, not printed") << "A4" << "print" << true << false << false;
        QTest::newRow("Letter, crossing, shrunk") << "Letter" << "print" << true << true << true;
        QTest::newRow("A4 preview, crossing, printed cut") << "A4" << "preview" << true << true << false;
        QTest::newRow("Letter preview, crossing, not printed") << "Letter" << "preview" << true << false << false;
        QTest::newRow("A4 preview, shrunk") << "A4" << "preview" << true << true << true;
        QTest::newRow("A4 CUPS queue, crossing, printed cut") << "A4" << "cups" << true << true << false;
    }
    void printableArea()
    {
        QFETCH(QString, paperName);
        QFETCH(QString, route);
        QFETCH(bool, crossing);
        QFETCH(bool, yes);
        QFETCH(bool, shrink);
        const bool cups = route == "cups";
        if (cups && !QFileInfo::exists(qEnvironmentVariable("CUPS_SERVER")))
            QSKIP("no CUPS scheduler for this test (is CUPS installed?)");
        const QPageLayout layout = paper(paperName);
        const QSizeF printable = layout.paintRect(QPageLayout::Point).size() * 20; // twips of paper
        Desk desk;
        const QList<QRectF> photos = {{1000, 500, 2000, 1500}, {crossing ? 4600.0 : 3600.0, 3000, 1000, 1000}};
        place(desk, 0, red, photos[0], 1);
        place(desk, 1, blue, photos[1], 2);
        desk.page.ZOrderCount = 2;
        const QString pdf = cups ? qEnvironmentVariable("VINTREL_CUPS_OUT") : dir.filePath(QTest::currentDataTag() + QString(".pdf"));
        QFile::remove(pdf);
        desk.ui.paper = layout;
        desk.ui.shrink = shrink;
        if (crossing && !shrink)
            desk.ui.answers << (yes ? MsgAnswer::Yes : MsgAnswer::No);
        (route == "preview" ? desk.ui.previews : desk.ui.printers) << (cups ? "printer:vintrel-test" : pdf);
        desk.run(route == "preview" ? "mnuPrintPreview" : "mnuPrint");

        QCOMPARE(desk.ui.said(), crossing && !shrink ? QStringList{kCutOff} : QStringList());
        if (cups && yes)
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(pdf), 30000);
        QCOMPARE(QFile::exists(pdf), yes);
        // At 2.14, or shrunk until the farthest edge meets the printable area's;
        // what lies beyond it cut off.
        double scale = kPrintScale;
        for (const QRectF &r : photos)
            scale = shrink ? std::min({scale, printable.width() / r.right(), printable.height() / r.bottom()}) : scale;
        const QList<QRect> images = yes ? imagesIn(pdf, layout) : QList<QRect>();
        for (int k = 0; k < images.size(); ++k) {
            const QRect want = QRectF(photos[k].topLeft() * scale / 10, photos[k].size() * scale / 10)
                                   .toRect()
                                   .intersected(QRect(QPoint(0, 0), (printable / 10).toSize()));
            QVERIFY2((images[k].topLeft() - want.topLeft()).manhattanLength() <= 2 &&
                         (images[k].bottomRight() - want.bottomRight()).manhattanLength() <= 2,
                     qPrintable(QString("image %1 at %2,%3").arg(k).arg(images[k].x()).arg(images[k].y())));
        }
        QCOMPARE(images.size(), yes ? 2 : 0);
        if (route == "preview" && yes) {
            // The preview showed the sheet that printed: the page in the view
            // (its white) against the PDF's own picture, within a level a channel.
            const QImage shown = desk.ui.previewed.constFirst().convertToFormat(QImage::Format_RGB32);
            QRect page;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    page |= shown.pixel(x, y) == qRgb(255, 255, 255) ? QRect(x, y, 1, 1) : QRect();
            QVERIFY(difference(shown.copy(page), rasterOf(pdf, 72)) <= 1);
        }
        // The page shows where the paper's printable area ends, a line one pixel
        // wide at the area's width and height divided by 2.14.
        const QImage surface = desk.page.surface()->grab().toImage();
        const int right = int(std::lround(printable.width() / kPrintScale / Screen::TwipsPerPixelX()));
        const int bottom = int(std::lround(printable.height() / kPrintScale / Screen::TwipsPerPixelY()));
        QCOMPARE(QColor(surface.pixel(right - 1, 5)), QColor(Qt::white));
        QCOMPARE(QColor(surface.pixel(right, 5)), QColor(120, 120, 120));
        QCOMPARE(QColor(surface.pixel(right + 1, 5)).lightness() < 255, true); // the shade beyond
        if (bottom < surface.height())
            QCOMPARE(QColor(surface.pixel(5, bottom)), QColor(120, 120, 120));
        if (crossing) { // over the photo too
            const int y = int(3500 / Screen::TwipsPerPixelY());
            QCOMPARE(QColor(surface.pixel(right - 1, y)), QColor(Qt::blue));
            QCOMPARE(QColor(surface.pixel(right, y)), QColor(120, 120, 120));
        }
        // The next print offers the same paper and option, and so does the next start.
        desk.ui.paper.reset();
        desk.ui.printers << std::nullopt;
        desk.run("mnuPrint");
        QCOMPARE(desk.ui.shrinkOffered.last(), shrink);
        Desk next;
        QTRY_COMPARE(next.page.surface()->printableArea(), printable / kPrintScale);
        // View > Printable Area hides the line, for this run and the next (and shows it again).
        next.run("mnuPrintableArea");
        QCOMPARE(QColor(next.page.surface()->grab().toImage().pixel(right, 5)), QColor(Qt::white));
        QCOMPARE(Desk().form.command("mnuPrintableArea")->isChecked(), false);
        next.run("mnuPrintableArea");
        QCOMPARE(QColor(next.page.surface()->grab().toImage().pixel(right, 5)), QColor(120, 120, 120));
    }

    // The preview of a page whose photos all went missing shows its sheet,
    // with frames where the photos would print.
    void previewShowsMissingPhotosAsFrames()
    {
        Desk desk;
        place(desk, 0, red, {1000, 1000, 2000, 1500}, 1);
        desk.page.Pic(0).setMissing(red);
        desk.ui.previews << std::nullopt;
        desk.run("mnuPrintPreview");
        const QImage shown = desk.ui.previewed.constFirst();
        int sheet = 0, frame = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                sheet += shown.pixel(x, y) == qRgb(255, 255, 255), frame += shown.pixel(x, y) == qRgb(245, 245, 245);
        QVERIFY2(sheet > 100000 && frame > 10000, qPrintable(QString("%1 white, %2 of frames").arg(sheet).arg(frame)));
    }

    // Photos tagged with a colour profile print in the sRGB colours the screen
    // shows, in a PDF that says its colours are sRGB; transparent parts print white.
    void colourProfilesOnPaper()
    {
        Desk desk;
        const QList<std::pair<QColorSpace::NamedColorSpace, const char *>> tagged = {
            {QColorSpace::AdobeRgb, "adobe.jpg"}, {QColorSpace::DisplayP3, "p3.png"}};
        for (int i = 0; i < tagged.size(); ++i) {
            QImage image(64, 48, QImage::Format_ARGB32);
            image.fill(QColor(60, 200, 60));
            image.setColorSpace(tagged[i].first);
            for (int y = 0; y < 48; ++y) // the left quarter transparent
                std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)), 16, 0);
            QVERIFY(image.save(dir.filePath(tagged[i].second), nullptr, 100));
            place(desk, i, dir.filePath(tagged[i].second), {1000.0 + 2000 * i, 1000, 1440, 1080}, 1);
        }
        desk.page.ZOrderCount = 1;
        const QString pdf = print(desk, "tagged.pdf");
        QVERIFY(readBytes(pdf).contains("/OutputIntents"));
        const QImage sheet = rasterOf(pdf, 72);
        const QPoint corner = QPrinter(QPrinter::HighResolution).pageLayout().paintRectPoints().topLeft();
        for (int i = 0; i < tagged.size(); ++i) {
            const QColor screen = desk.page.Pic(i).picture().display().pixelColor(32, 24);
            QVERIFY2(screen != QColor(60, 200, 60), tagged[i].second); // converted
            // The photo's middle: 1.5 inches of paper from its corner, 1.07 down.
            const QColor paper = sheet.pixelColor(corner + QPoint(int((1000 + 2000 * i) * kPrintScale / 20) + 77, 
                                                                   int(1000 * kPrintScale / 20) + 58));
            QVERIFY2(std::abs(paper.red() - screen.red()) <= 2 && std::abs(paper.green() - screen.green()) <= 2 &&
                         std::abs(paper.blue() - screen.blue()) <= 2,
                     qPrintable(QString("%1: %2 on paper, %3 on screen").arg(tagged[i].second, paper.name(), screen.name())));
        }
        const QPoint clear = corner + QPoint(int(3000 * kPrintScale / 20) + 10, int(1000 * kPrintScale / 20) + 58);
        QCOMPARE(sheet.pixelColor(clear), QColor(Qt::white));
    }

    // Items at true size on Letter's printable area (11520 x 15120 twips of
    // paper): the scale that fits them, and whether they are cut off at 2.14.
    void scaleAndCutOff_data()
    {
        QTest::addColumn<QRectF>("item");
        QTest::addColumn<double>("fits");
        QTest::addColumn<bool>("beyond");
        QTest::newRow("at the edge, rounded") << QRectF(0, 0, 11520.5, 15120.5) << 11520 / 11520.5 << false;
        QTest::newRow("beyond the right by 20 twips") << QRectF(10000, 0, 1540, 100) << 11520 / 11540.0 << true;
        QTest::newRow("beyond the bottom") << QRectF(0, 14000, 100, 2000) << 15120 / 16000.0 << true;
        QTest::newRow("left of the corner") << QRectF(-20, 0, 100, 100) << 1.0 << true;
    }
    void scaleAndCutOff()
    {
        QFETCH(QRectF, item);
        QFETCH(double, fits);
        QFETCH(bool, beyond);
        const QSizeF letter(11520, 15120);
        const std::vector<PrintItem> items{{0, item}};
        QCOMPARE(printScale(items, letter, false), kPrintScale);
        QCOMPARE(printScale(items, letter, true), kPrintScale * std::min(1.0, fits));
        QCOMPARE(reachesBeyond(items, letter), beyond);
    }

    // A photo's tooltip: the size it prints at and the resolution its pixels give there.
    void printedResolution_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QSizeF>("twips");
        QTest::addColumn<QString>("tooltip");
        QTest::newRow("small photo enlarged") << QSize(64, 48) << QSizeF(2000, 1500)
                                              << "a.jpg\nPrints 2.97 \u00d7 2.23 in (7.5 \u00d7 5.7 cm) at 22 ppi\nmay print soft";
        QTest::newRow("just above 150") << QSize(323, 240) << QSizeF(1440, 1080)
                                        << "a.jpg\nPrints 2.14 \u00d7 1.61 in (5.4 \u00d7 4.1 cm) at 151 ppi";
    }
    void printedResolution()
    {
        QFETCH(QSize, pixels);
        QFETCH(QSizeF, twips);
        QFETCH(QString, tooltip);
        QCOMPARE(printTooltip("/photos/a.jpg", pixels, twips), tooltip);
    }
};

VINTREL_TEST_MAIN(TestPrint)
#include "tst_print.moc"
