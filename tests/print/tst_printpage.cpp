// Print Page through the same code path as the real printer: to PDF files
// (checked with poppler's tools), to a picture, and through a real CUPS queue.
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include "layout/addphoto.h"
#include "layout/page.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "print/printpage.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
// What poppler finds on the first page: each image's rectangle, in units of
// 1/144 inch (10 twips) from the sheet's top-left corner, in drawing order.
struct Drawn {
    QList<QRect> images;
    QSizeF sheetPoints;
};
Drawn imagesIn(const QString &pdf)
{
    QTemporaryDir out;
    QProcess p;
    p.start("pdftohtml", {"-xml", "-zoom", "2", "-q", pdf, out.filePath("page")});
    p.waitForFinished(30000);
    QFile file(out.filePath("page.xml"));
    file.open(QIODevice::ReadOnly);
    const QString xml = QString::fromUtf8(file.readAll());
    Drawn d;
    static const QRegularExpression image(R"re(<image top="(-?\d+)" left="(-?\d+)" width="(\d+)" height="(\d+)")re");
    for (auto m = image.globalMatch(xml); m.hasNext();) {
        const auto hit = m.next();
        d.images << QRect(hit.captured(2).toInt(), hit.captured(1).toInt(), hit.captured(3).toInt(),
                          hit.captured(4).toInt());
    }
    return d;
}

// The embedded images' pixel sizes, as pdfimages lists them.
QList<QSize> embeddedSizes(const QString &pdf)
{
    QProcess p;
    p.start("pdfimages", {"-list", pdf});
    p.waitForFinished(30000);
    QList<QSize> sizes;
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    for (const QString &line : lines.mid(2)) {
        const QStringList cols = line.simplified().split(' ');
        if (cols.size() > 4 && cols[2] == "image")
            sizes << QSize(cols[3].toInt(), cols[4].toInt());
    }
    return sizes;
}
} // namespace

class TestPrintPage : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString red, blue, green;

    void place(Page &page, int i, const QString &path, float left, float top, float width, float height, double rank)
    {
        RecordPhoto(page, i, path);
        page.Pic(i).Move(left, top);
        page.Pic(i).setWidth(width);
        page.Pic(i).setHeight(height);
        page.Pic(i).setVisible(true);
        page.PicZOrder[i] = rank;
    }
    QString print(Page &page, const QString &name)
    {
        ScriptedUi ui;
        CommonDialog cd(ui);
        const QString pdf = dir.filePath(name);
        ui.printers << pdf;
        mnuPrint_Click(page, cd);
        return pdf;
    }
    // The printable area's top-left corner on the sheet, in 1/144 inch, for the
    // default PDF printer.
    static QPoint origin()
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QRectF paint = printer.pageLayout().paintRectPoints();
        return QPoint(qRound(paint.left() * 2), qRound(paint.top() * 2));
    }

private slots:
    void cleanupTestCase()
    {
        scheduler.terminate();
        scheduler.waitForFinished(5000);
    }
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("pdftohtml").isEmpty())
            QSKIP("poppler-utils is not installed");
        cupsSkip = startCups();
        red = writePicture(dir.filePath("red.png"), {64, 48}, "PNG", Qt::red);
        blue = writePicture(dir.filePath("blue.png"), {64, 48}, "PNG", Qt::blue);
        green = writePicture(dir.filePath("green.png"), {64, 48}, "PNG", Qt::green);
    }

    void examplePhotoLandsScaled()
    {
        Page page;
        place(page, 0, red, 1000, 500, 2000, 1500, 1);
        page.ZOrderCount = 1;
        const Drawn d = imagesIn(print(page, "example.pdf"));
        // 2140, 1070, 4280 x 3210 printer twips from the printable area's corner.
        QCOMPARE(d.images, QList<QRect>({QRect(origin() + QPoint(214, 107), QSize(428, 321))}));
    }

    void drawnInRankOrder()
    {
        Page page;
        // Slot 5 was clicked last; slot 2 has rank 0 (after a layout was opened),
        // slot 1 a rank that is not whole, slot 3 is visible but not used, slot 4
        // is used with a rank above the counter.
        place(page, 0, red, 0, 0, 1000, 1000, 2);
        place(page, 5, blue, 500, 500, 1000, 1000, 3);
        place(page, 2, green, 1000, 1000, 1000, 1000, 0);
        place(page, 1, red, 3000, 0, 500, 500, 1.5);
        place(page, 3, red, 3000, 3000, 500, 500, 1);
        page.PicUsed[3] = false;
        place(page, 4, red, 4000, 4000, 500, 500, 9);
        page.ZOrderCount = 3;
        QCOMPARE(PrintItems(page).size(), size_t(3));
        const Drawn d = imagesIn(print(page, "order.pdf"));
        const QPoint o = origin();
        QCOMPARE(d.images, QList<QRect>({QRect(o + QPoint(214, 214), QSize(214, 214)),   // slot 2, rank 0
                                         QRect(o, QSize(214, 214)),                      // slot 0, rank 2
                                         QRect(o + QPoint(107, 107), QSize(214, 214))})); // slot 5, rank 3

        // The same routine on a picture: where photos overlap, the higher rank shows.
        QImage sheet(1300, 1300, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        PaintPage(painter, page, PrintItems(page), 144, 144);
        painter.end();
        QCOMPARE(QColor(sheet.pixel(50, 50)), QColor(Qt::red));     // slot 0 alone
        QCOMPARE(QColor(sheet.pixel(180, 180)), QColor(Qt::blue));  // slot 5 over slot 0
        QCOMPARE(QColor(sheet.pixel(300, 300)), QColor(Qt::blue));  // slot 5 over slot 2
        QCOMPARE(QColor(sheet.pixel(400, 400)), QColor(Qt::green)); // slot 2 alone
        QCOMPARE(QColor(sheet.pixel(650, 50)), QColor(Qt::white));  // slot 1 not printed
    }

    void rankZeroPrintsEvenWithCounterZero()
    {
        Page page;
        place(page, 7, blue, 100, 100, 735, 735, 0);
        page.ZOrderCount = 0;
        QCOMPARE(imagesIn(print(page, "rank0.pdf")).images.size(), 1);
    }

    void emptyPagePrintsNoSheet()
    {
        Page page;
        page.Pic(0).setVisible(true);
        const QString pdf = print(page, "empty.pdf");
        QVERIFY(!QFile::exists(pdf));
    }

    void cancelPrintsNothingAndFlagsStay()
    {
        Page page;
        place(page, 0, red, 0, 0, 1000, 1000, 1);
        page.ZOrderCount = 1;
        ScriptedUi ui;
        CommonDialog cd(ui);
        ui.printers << std::nullopt;
        mnuPrint_Click(page, cd);
        QCOMPARE(ui.printFlags, QList<int>({0x8000C}));
        QCOMPARE(cd.Flags, 0x8000C);
        QVERIFY(cd.CancelError);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(QDir(dir.path()).entryList({"*.pdf"}).size() >= 0);
    }

    void valueOutOfRangeEndsQuietly()
    {
        Page page;
        place(page, 0, red, 0, 0, 1000, 1000, 1);
        place(page, 1, red, 3e38f, 0, 1000, 1000, 1);
        page.ZOrderCount = 1;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, PrintItems(page));
        const QString pdf = print(page, "overflow.pdf");
        QVERIFY(!QFile::exists(pdf) || QFileInfo(pdf).size() == 0);
    }

    void missingPhotoFrameIsNotPrinted()
    {
        Page page;
        place(page, 0, red, 0, 0, 1000, 1000, 1);
        place(page, 1, blue, 2000, 0, 1000, 1000, 1);
        page.Pic(1).setMissing(dir.filePath("moved.jpg"));
        page.ZOrderCount = 1;
        QCOMPARE(imagesIn(print(page, "missing.pdf")).images.size(), 1);
    }

    void largePhotoEmbeddedAtPrintedSize()
    {
        // A 4000 x 3000 photo printed 2.97 x 2.23 inches: at most 600 dots an
        // inch, 1784 x 1338 pixels, however fine the printer.
        Page page;
        place(page, 0, writePicture(dir.filePath("large.jpg"), {4000, 3000}), 1000, 500, 2000, 1500, 1);
        // A small photo printed large keeps its own pixels.
        place(page, 1, red, 0, 3000, 4000, 3000, 1);
        page.ZOrderCount = 1;
        const QList<QSize> sizes = embeddedSizes(print(page, "large.pdf"));
        QCOMPARE(sizes, QList<QSize>({QSize(1784, 1338), QSize(64, 48)}));
    }

    void printsThroughCupsQueue();

private:
    QString startCups();
    QTemporaryDir cupsRoot;
    QProcess scheduler;
    QString cupsOut, cupsSkip;
};

// A CUPS scheduler of our own, in a folder of this test, with a queue whose
// backend writes every job into a file there. Started before any printer is
// made, as libcups reads CUPS_SERVER once.
QString TestPrintPage::startCups()
{
    const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"});
    const QString lpadmin = QStandardPaths::findExecutable("lpadmin", {"/usr/sbin", "/sbin"});
    if (cupsd.isEmpty() || lpadmin.isEmpty() || !QFileInfo::exists("/usr/lib/cups/daemon"))
        return "CUPS (cupsd, lpadmin) is not installed: cannot print through a real queue";
    const QString root = cupsRoot.path();
    for (const char *folder : {"spool/tmp", "cache", "state/certs", "out", "bin/backend"})
        QDir(root).mkpath(folder);
    // The scheduler's helpers are the system's; only the backend is ours.
    for (const QFileInfo &helper : QDir("/usr/lib/cups").entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (helper.fileName() != "backend")
            QFile::link(helper.filePath(), root + "/bin/" + helper.fileName());
    const QString backend = writeBytes(root + "/bin/backend/vintrel",
        "#!/bin/sh\n"
        "[ $# -eq 0 ] && { echo 'direct vintrel \"Unknown\" \"Test output\"'; exit 0; }\n"
        "out=\"${DEVICE_URI#vintrel:}\"\n"
        "if [ -n \"$6\" ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi\n"
        "mv \"$out.part\" \"$out\"\n");
    QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString socket = root + "/cups.sock";
    writeBytes(root + "/cupsd.conf", QStringLiteral(
        "Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\nDefaultAuthType None\n"
        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n").arg(socket).toUtf8());
    writeBytes(root + "/cups-files.conf", QStringLiteral(
        "ServerRoot %1\nServerBin %1/bin\nRequestRoot %1/spool\nTempDir %1/spool/tmp\nCacheDir %1/cache\n"
        "StateDir %1/state\nErrorLog %1/error_log\nAccessLog %1/access_log\nPageLog %1/page_log\n"
        "Sandboxing Relaxed\n").arg(root).toUtf8());
    scheduler.setProcessChannelMode(QProcess::MergedChannels);
    scheduler.start(cupsd, {"-f", "-c", root + "/cupsd.conf", "-s", root + "/cups-files.conf"});
    if (!scheduler.waitForStarted(5000))
        return "cupsd cannot start here";
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(socket) && scheduler.state() == QProcess::Running && waited.elapsed() < 10000)
        QTest::qWait(50);
    if (scheduler.state() != QProcess::Running || !QFile::exists(socket))
        return "cupsd cannot run here: " + QString::fromUtf8(scheduler.readAll());
    cupsOut = root + "/out/page.pdf";
    QProcess admin;
    admin.start(lpadmin, {"-h", socket, "-p", "vintrel-test", "-E", "-v", "vintrel:" + cupsOut, "-m", "raw"});
    admin.waitForFinished(10000);
    if (admin.exitCode() != 0)
        return "cannot add a CUPS queue: " + QString::fromUtf8(admin.readAllStandardError());
    qputenv("CUPS_SERVER", socket.toUtf8());
    return QString();
}

void TestPrintPage::printsThroughCupsQueue()
{
    if (!cupsSkip.isEmpty())
        QSKIP(qPrintable(cupsSkip));
    Page page;
    place(page, 0, red, 1000, 500, 2000, 1500, 1);
    page.ZOrderCount = 1;
    ScriptedUi ui;
    CommonDialog cd(ui);
    ui.printers << QString("printer:vintrel-test");
    mnuPrint_Click(page, cd);
    QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo::exists(cupsOut), qPrintable(cupsRoot.filePath("error_log")), 30000);
    QCOMPARE(imagesIn(cupsOut).images.size(), 1);
}

VINTREL_TEST_MAIN(TestPrintPage)
#include "tst_printpage.moc"
