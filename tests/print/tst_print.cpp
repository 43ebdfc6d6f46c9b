// Print Page through the same code path as the real printer: to PDF files
// (checked with poppler's tools), to a picture, and through a real CUPS queue
// of a scheduler started for this test (cups.sh).

#include <sys/stat.h>

#include "print/printpage.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}
// The images poppler finds on the first page, in drawing order, each one's
// rectangle in 1/144 inch (10 twips) from the sheet's top-left corner, less the
// printable area's corner.
QList<QRect> imagesIn(const QString &pdf)
{
    QTemporaryDir out;
    run("pdftohtml", {"-xml", "-zoom", "2", "-q", pdf, out.filePath("page")});
    const QString xml = QString::fromUtf8(readBytes(out.filePath("page.xml")));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QPoint corner = printer.pageLayout().paintRectPoints().topLeft() * 2;
    QList<QRect> images;
    static const QRegularExpression image(R"re(<image top="(-?\d+)" left="(-?\d+)" width="(\d+)" height="(\d+)")re");
    for (auto m = image.globalMatch(xml); m.hasNext();) {
        const auto hit = m.next();
        images << QRect(hit.captured(2).toInt() - corner.x(), hit.captured(1).toInt() - corner.y(),
                        hit.captured(3).toInt(), hit.captured(4).toInt());
    }
    return images;
}
// The embedded images' pixel sizes, as pdfimages lists them.
QList<QSize> embeddedSizes(const QString &pdf)
{
    QList<QSize> sizes;
    for (const QString &line : run("pdfimages", {"-list", pdf}).split('\n').mid(2)) {
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
        place(desk, 2, writeBytes(dir.filePath("turned.jpg"), jpegWithOrientation({64, 48}, 6)), {4000, 0, 480, 640}, 1);
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

    void printsThroughCupsQueue()
    {
        // The queue of the scheduler that tests/print/cups.sh started for this test.
        if (!QFileInfo::exists(qEnvironmentVariable("CUPS_SERVER")))
            QSKIP("no CUPS scheduler for this test (is CUPS installed?)");
        const QString out = qEnvironmentVariable("VINTREL_CUPS_OUT");
        Desk desk;
        place(desk, 0, red, {1000, 500, 2000, 1500}, 1);
        desk.ui.printers << QString("printer:vintrel-test");
        desk.run("mnuPrint");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out), 30000);
        QCOMPARE(imagesIn(out), QList<QRect>({{214, 107, 428, 321}}));
    }
};

VINTREL_TEST_MAIN(TestPrint)
#include "tst_print.moc"
