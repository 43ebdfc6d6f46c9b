// Pictures (what loads, at what size, what is refused) and the shared common
// dialog (what it keeps, where it leaves the current directory).
#include <QtEndian>

#include <sys/stat.h>

#include "platform/commondialog.h"
#include "picture/decodebudget.h"
#include "picture/pictureerror.h"
#include "platform/errors.h"
#include "picture/picture.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

class TestPlatform : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString at(const QString &name) const { return dir.filePath(name); }

private slots:
    void loads_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("display");
        QTest::newRow("jpeg") << writePicture(at("a.jpg"), {640, 480}, "JPG") << QSize(640, 480) << QSize(640, 480);
        QTest::newRow("bmp") << writePicture(at("b.bmp"), {31, 17}, "BMP") << QSize(31, 17) << QSize(31, 17);
        QTest::newRow("png") << writePicture(at("c.png"), {5, 300}, "PNG") << QSize(5, 300) << QSize(5, 300);
        QTest::newRow("gif") << dataPath("landscape-640x480.gif") << QSize(640, 480) << QSize(640, 480);
        QTest::newRow("jpeg named .bmp") << writePicture(at("d.bmp"), {40, 30}, "JPG") << QSize(40, 30) << QSize(40, 30);
        // Camera photos stand upright: orientation 6 is a quarter turn.
        QTest::newRow("exif 6") << writeBytes(at("e.jpg"), jpegWithOrientation({64, 48}, 6)) << QSize(48, 64)
                                << QSize(48, 64);
        QTest::newRow("exif 1") << writeBytes(at("f.jpg"), jpegWithOrientation({64, 48}, 1)) << QSize(64, 48)
                                << QSize(64, 48);
        // Large photos keep a screen copy of about 1024 pixels a side, for a JPEG
        // at the smallest of libjpeg's scales M/8 that gives as much.
        QTest::newRow("large") << writePicture(at("g.jpg"), {4000, 3000}) << QSize(4000, 3000) << QSize(1500, 1125);
        QTest::newRow("large, exif 6") << writeBytes(at("h.jpg"), jpegWithOrientation({2400, 1200}, 6))
                                       << QSize(1200, 2400) << QSize(600, 1200);
        QTest::newRow("large png") << writePicture(at("i.png"), {4000, 3000}, "PNG") << QSize(4000, 3000) << QSize(1024, 768);
        // Over 33 megapixels (past Qt's own allocation limit for a whole decode).
        QTest::newRow("34 MP png") << writePicture(at("34mp.png"), {7200, 4800}, "PNG") << QSize(7200, 4800)
                                   << QSize(1024, 682);
        // One stray byte between two segments: libjpeg decodes the whole picture.
        {
            QByteArray bytes = readBytes(writePicture(at("stray.jpg"), {300, 200}));
            const int app0End = 4 + (uchar(bytes[4]) << 8 | uchar(bytes[5]));
            QTest::newRow("jpeg with a stray byte") << writeBytes(at("stray.jpg"), bytes.insert(app0End, '\0'))
                                                    << QSize(300, 200) << QSize(300, 200);
        }
        // Shown far smaller than libjpeg's smallest scale gives: scaled down to the shown size.
        QTest::newRow("shown small") << writePicture(at("j.jpg"), {3200, 2400}) << QSize(3200, 2400) << QSize(100, 75);
    }
    void loads()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(QSize, display);
        const bool small = QByteArray(QTest::currentDataTag()) == "shown small";
        const Picture p = small ? LoadPicture(path, [](QSize) { return QSize(100, 75); }) : LoadPicture(path);
        QCOMPARE(p.size(), size);
        QCOMPARE(p.display().size(), display);
        QCOMPARE(p.path(), path);
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("path");
        auto cut = [&](const QString &whole, const QString &name, int keep) {
            const QByteArray bytes = readBytes(whole);
            return writeBytes(at(name), bytes.left(keep < 0 ? bytes.size() + keep : keep));
        };
        const QString jpeg = writePicture(at("whole.jpg"), {300, 200}, "JPG");
        const QString bmp = writePicture(at("whole.bmp"), {300, 200}, "BMP");
        QTest::newRow("missing") << at("nowhere.jpg");
        QTest::newRow("folder") << dir.path();
        QTest::newRow("text") << writeBytes(at("notes.jpg"), "these are not the pixels you are looking for\n");
        QTest::newRow("empty file") << writeBytes(at("empty.bmp"), QByteArray());
        QTest::newRow("jpeg cut in half") << cut(jpeg, "half.jpg", int(QFileInfo(jpeg).size() / 2));
        QTest::newRow("jpeg without its last byte") << cut(jpeg, "short.jpg", -1);
        QTest::newRow("jpeg header only") << cut(jpeg, "header.jpg", 20);
        QTest::newRow("bmp cut in half") << cut(bmp, "half.bmp", int(QFileInfo(bmp).size() / 2));
        const QString gif = dataPath("landscape-640x480.gif");
        QTest::newRow("gif cut in half") << cut(gif, "half.gif", int(QFileInfo(gif).size() / 2));
        // Nothing that never ends or blocks is read.
        mkfifo(QFile::encodeName(at("fifo.jpg")).constData(), 0600);
        QTest::newRow("fifo") << at("fifo.jpg");
        QTest::newRow("device") << QString("/dev/zero");
        // A header claiming 65500 x 65500 pixels: refused before anything is decoded.
        QByteArray huge = readBytes(jpeg);
        const int sof = int(huge.indexOf("\xff\xc0"));
        huge[sof + 5] = huge[sof + 7] = char(0xff);
        huge[sof + 6] = huge[sof + 8] = char(0xdc);
        QTest::newRow("65500 x 65500 declared") << writeBytes(at("huge.jpg"), huge);
    }
    void refuses()
    {
        QFETCH(QString, path);
        QVERIFY_THROWS_EXCEPTION(PictureError, LoadPicture(path));
    }

    // Small files that declare or unpack to huge pictures, one in each format
    // Qt reads (tests/data/bombs): refused, or loaded into a screen copy
    // within the memory their names allow, never beyond the decoding budget
    // (the process's peak, measured from each file's start).
    void bombsStayWithinTheBudget_data()
    {
        QTest::addColumn<QString>("path");
        for (const QString &name : QDir(dataPath("bombs")).entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << dataPath("bombs/" + name);
    }
    void bombsStayWithinTheBudget()
    {
        QFETCH(QString, path);
        const QRegularExpressionMatch loads = QRegularExpression("\\.loads-(\\d+)MB\\.").match(path);
        QVERIFY(QFileInfo(path).size() < 64 * 1024);
        auto kb = [](const char *field) {
            for (const QByteArray &line : readBytes("/proc/self/status").split('\n'))
                if (line.startsWith(field))
                    return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
            return -1ll;
        };
        writeBytes("/proc/self/clear_refs", "5"); // the peak from here on
        const qint64 before = kb("VmRSS:");
        try {
            const Picture p = LoadPicture(path);
            QVERIFY2(loads.hasMatch() && p.display().width() <= 1024 && p.display().height() <= 1024, "loaded");
        } catch (const PictureError &) {
            QVERIFY2(!loads.hasMatch(), "refused");
        }
#ifndef __SANITIZE_ADDRESS__ // its own bookkeeping grows with what is allocated
        const qint64 peak = (kb("VmHWM:") - before) << 10;
        QVERIFY2(peak <= qint64(loads.hasMatch() ? loads.captured(1).toInt() : 64) << 20 && peak <= DecodeBudget::kTotal,
                 qPrintable(QString::number(peak >> 20) + " MB"));
#endif
    }

    // Pictures of few colours (a palette, one bit a pixel) keep their colours
    // shrunk for the screen and for paper.
    void fewColoursKeptWhenShrunk()
    {
        const QRgb red = qRgb(200, 30, 40);
        for (const auto &[format, type] : {std::pair{QImage::Format_Mono, "png"}, {QImage::Format_Mono, "bmp"},
                                           {QImage::Format_Indexed8, "png"}, {QImage::Format_Indexed8, "bmp"},
                                           {QImage::Format_Indexed8, "tif"}}) {
            QImage image(800, 600, format);
            image.setColorTable({red, qRgb(10, 200, 30)});
            image.fill(0);
            QVERIFY(image.save(at(QString("few.") + type)));
            const Picture p = LoadPicture(at(QString("few.") + type), [](QSize) { return QSize(100, 75); });
            QVERIFY2(p.display().pixel(50, 37) == red && p.render({50, 37}).pixel(25, 18) == red, type);
        }
    }

    // Uncompressed bitmaps are read straight from their files at the size
    // asked for: upright whichever way their rows run, in their colours, the
    // part asked for and no other.
    void bitmapsReadAtTheSizeAsked()
    {
        const QRgb red = qRgb(200, 30, 40), green = qRgb(10, 200, 30), blue = qRgb(10, 60, 220);
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(red);
        QPainter painter(&image);
        painter.fillRect(200, 0, 200, 150, green);
        painter.fillRect(0, 150, 400, 150, blue);
        painter.end();
        QVERIFY(image.save(at("rows up.bmp")));
        QByteArray down = readBytes(at("rows up.bmp")); // the same, its rows top-down
        const int offset = qFromLittleEndian<qint32>(down.constData() + 10), stride = 1200;
        qToLittleEndian<qint32>(-300, down.data() + 22);
        for (int y = 0; y < 150; ++y)
            std::swap_ranges(down.begin() + offset + y * stride, down.begin() + offset + (y + 1) * stride,
                             down.begin() + offset + (299 - y) * stride);
        for (const QString &path : {at("rows up.bmp"), writeBytes(at("rows down.bmp"), down)}) {
            const Picture p = LoadPicture(path, [](QSize) { return QSize(40, 30); });
            const QImage shown = p.display(), part = p.render({100, 75}, {0.5, 0, 0.5, 0.5});
            QVERIFY2(shown.size() == QSize(40, 30) && shown.pixel(5, 5) == red && shown.pixel(35, 5) == green &&
                         shown.pixel(20, 25) == blue && part.pixel(0, 0) == green && part.pixel(99, 74) == green,
                     qPrintable(path));
        }
    }

    void rendersMoreFromTheFileUntilItGoes()
    {
        const QString path = writePicture(at("render.jpg"), {4000, 3000});
        const Picture p = LoadPicture(path);
        QCOMPARE(p.render({2000, 1500}).size(), QSize(2000, 1500));
        QCOMPARE(p.render({9000, 9000}).size(), QSize(4000, 3000));
        QCOMPARE(p.render({400, 300}).size(), QSize(400, 300));
        QCOMPARE(p.render({1000, 500}, {0.5, 0.5, 0.5, 0.5}).size(), QSize(1000, 500)); // a quarter of it
        // The file gone, the screen copy stands in rather than losing the photo.
        QVERIFY(QFile::remove(path));
        QCOMPARE(p.render({4000, 3000}).size(), QSize(1500, 1125));
    }

    void fileDialogAndCurrentDirectory_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("moves");
        QTest::newRow("flags 0") << 0 << false << true;
        QTest::newRow("the print dialog's flags left behind") << 0x8000C << false << false;
        QTest::newRow("keep-folder bit alone") << 0x8 << false << false;
        QTest::newRow("other bits") << 0x80004 << false << true;
        QTest::newRow("cancelled") << 0 << true << false;
    }
    void fileDialogAndCurrentDirectory()
    {
        QFETCH(int, flags);
        QFETCH(bool, cancel);
        QFETCH(bool, moves);
        QDir(dir.path()).mkpath("photos");
        QVERIFY(QDir::setCurrent(dir.path()));
        ScriptedUi ui;
        CommonDialog cd(ui);
        cd.Flags = flags;
        cd.FileName = "kept.jpg";
        ui.files << (cancel ? std::nullopt : std::optional(QStringList{"photos/beach.jpg"}));
        cd.ShowSave(); // without CancelError, Cancel simply returns
        QCOMPARE(ui.fileRequests[0].folder, dir.path()); // it opened where the process stood
        QCOMPARE(ui.fileRequests[0].fileName, QString("kept.jpg"));
        QCOMPARE(cd.FileName, cancel ? QString("kept.jpg") : dir.filePath("photos/beach.jpg"));
        QCOMPARE(QDir::currentPath(), moves ? dir.filePath("photos") : dir.path());
        cd.CancelError = true;
        ui.files << std::nullopt;
        QVERIFY_THROWS_EXCEPTION(DialogCancelled, cd.ShowOpen());
    }

    // The real file dialog gives the one name typed, quotes and all, where Qt
    // would read a list of names and take another file; where several may be
    // chosen, a list of names is a list unless it names a file.
    void fileDialogTakesTheNameAsTyped_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("save") << int(FileDialogKind::Save) << "trip \"A\".ppy" << QStringList{"trip \"A\".ppy"};
        QTest::newRow("open") << int(FileDialogKind::Open) << "say \"cheese\".gif" << QStringList{"say \"cheese\".gif"};
        QTest::newRow("several") << int(FileDialogKind::OpenMany) << "\"A\" \"cheese\"" << QStringList{"A", "cheese"};
        QTest::newRow("several, one named so") << int(FileDialogKind::OpenMany) << "say \"cheese\".gif"
                                               << QStringList{"say \"cheese\".gif"};
    }
    void fileDialogTakesTheNameAsTyped()
    {
        QFETCH(int, kind);
        QFETCH(QString, typed);
        QFETCH(QStringList, chosen);
        for (const char *other : {"A", "cheese", "say \"cheese\".gif"})
            writeBytes(at(other), "a file");
        QTimer::singleShot(200, [typed] {
            auto *edit = QApplication::activeModalWidget()->findChild<QLineEdit *>("fileNameEdit");
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QtUi ui;
        for (QString &name : chosen)
            name = at(name);
        QCOMPARE(ui.fileDialog({FileDialogKind(kind), "All Files (*.*)|*.*", {}, dir.path()}), std::optional(chosen));
    }

    void filterBecomesQtNameFilters()
    {
        QCOMPARE(QtUi::nameFilters("Graphic Files (*.jpg)|*.jpg;*.jpeg|Vintrel Files (*.PPY)|*.ppy|All Files (*.*)|*.*"),
                 QStringList({"Graphic Files (*.jpg) (*.jpg *.JPG *.jpeg *.JPEG)",
                              "Vintrel Files (*.PPY) (*.ppy *.PPY)", "All Files (*.*) (*)"}));
    }
};

VINTREL_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
