// Pictures (what loads, at what size, what is refused) and the shared common
// dialog (what it keeps, where it leaves the current directory).
#include <QtEndian>

#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/commondialog.h"
#include "picture/decodebudget.h"
#include "picture/pictureerror.h"
#include "platform/errors.h"
#include "picture/picture.h"
#include "picture/safefile.h"
#include "testsupport.h"

#include <libheif/heif.h>

using namespace vintrel;
using namespace vintrel::test;

// A HEIC (or AVIF, by the name) file written with libheif's own encoder: the
// picture, turned as EXIF's code says (6: a quarter turn clockwise), its
// colours named by H.273 primaries (with sRGB's transfer) when given.
QString heic(const QString &path, const QImage &stored, int orientation, int primaries = 0)
{
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_context_get_encoder_for_format(context, path.endsWith(".avif") ? heif_compression_AV1 : heif_compression_HEVC,
                                        &encoder);
    heif_encoder_set_lossy_quality(encoder, 100);
    const QImage rgb = stored.convertToFormat(QImage::Format_RGB888);
    heif_image *image = nullptr;
    heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    heif_encoding_options *options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(orientation);
    heif_color_profile_nclx *nclx = heif_nclx_color_profile_alloc();
    heif_nclx_color_profile_set_color_primaries(nclx, uint16_t(primaries));
    heif_nclx_color_profile_set_transfer_characteristics(nclx, 13); // sRGB's
    if (primaries)
        heif_image_set_nclx_color_profile(image, options->output_nclx_profile = nclx);
    heif_context_encode_image(context, image, encoder, options, nullptr);
    heif_context_write_to_file(context, QFile::encodeName(path).constData());
    heif_nclx_color_profile_free(nclx), heif_encoding_options_free(options), heif_image_release(image);
    heif_encoder_release(encoder), heif_context_free(context);
    return path;
}

class TestPlatform : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString at(const QString &name) const { return dir.filePath(name); }
    // A picture of one colour made by ImageMagick, tagged with the profile when given.
    QString flat(const QString &name, QColor colour, const QString &profile = {}, QSize size = {64, 48})
    {
        QStringList args{"-size", QString("%1x%2").arg(size.width()).arg(size.height()), "xc:" + colour.name(),
                         "-quality", "100", "-sampling-factor", "1x1"};
        if (!profile.isEmpty())
            args << "-profile" << profile;
        tool("convert", args << (name.endsWith(".png") ? "PNG24:" : "") + at(name)); // true colour, as heif-enc reads it
        return at(name);
    }
    QString heifEnc(const QString &name, const QString &from, const QStringList &options = {})
    {
        tool("heif-enc", options + QStringList{from, "-o", at(name)});
        return at(name);
    }

private slots:
    // What loads: the picture's size, upright, and its screen copy at the size
    // asked for (by default about 1024 pixels a side for a large photo, for a
    // JPEG at the smallest of libjpeg's scales M/8 that gives as much); for
    // what phones and cameras write, made by Debian's tools, its colour too.
    void loads_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("shown");   // the size asked for the screen, or the default
        QTest::addColumn<QSize>("display"); // the screen copy's
        QTest::addColumn<QRgb>("colour");   // at the middle, when checked
        QTest::newRow("jpeg named .bmp") << writePicture(at("d.bmp"), {40, 30}, "JPG") << QSize(40, 30) << QSize()
                                         << QSize(40, 30) << QRgb(0);
        QTest::newRow("large") << writePicture(at("g.jpg"), {4000, 3000}) << QSize(4000, 3000) << QSize() << QSize(1500, 1125)
                               << QRgb(0);
        // Orientation 6 is a quarter turn.
        QTest::newRow("large, exif 6") << jpegTurned(at("h.jpg"), {2400, 1200}) << QSize(1200, 2400) << QSize()
                                       << QSize(600, 1200) << QRgb(0);
        // Over 33 megapixels (past Qt's own allocation limit for a whole decode).
        QTest::newRow("34 MP png") << writePicture(at("34mp.png"), {7200, 4800}, "PNG") << QSize(7200, 4800) << QSize()
                                   << QSize(1024, 682) << QRgb(0);
        // One stray byte between two segments: libjpeg decodes the whole picture.
        QByteArray bytes = readBytes(writePicture(at("stray.jpg"), {300, 200}));
        const int app0End = 4 + (uchar(bytes[4]) << 8 | uchar(bytes[5]));
        QTest::newRow("jpeg with a stray byte") << writeBytes(at("stray.jpg"), bytes.insert(app0End, '\0'))
                                                << QSize(300, 200) << QSize() << QSize(300, 200) << QRgb(0);
        // Shown far smaller than libjpeg's smallest scale gives: scaled down to the shown size.
        QTest::newRow("shown small") << writePicture(at("j.jpg"), {3200, 2400}) << QSize(3200, 2400) << QSize(100, 75)
                                     << QSize(100, 75) << QRgb(0);
        if (QStandardPaths::findExecutable("heif-enc").isEmpty() || QStandardPaths::findExecutable("convert").isEmpty())
            QSKIP("heif-enc (libheif-examples) or ImageMagick is not installed");
        const QString png = flat("orange.png", QColor(240, 140, 20), {}, {320, 240});
        const QString jpg = flat("orange.jpg", QColor(240, 140, 20), {}, {320, 240});
        auto row = [](const char *name, const QString &path, QSize size, QRgb colour) {
            QTest::newRow(name) << path << size << size / 4 << size / 4 << colour;
        };
        const QRgb orange = qRgb(240, 140, 20);
        row("heic", heifEnc("a.heic", png, {"-q", "95"}), {320, 240}, orange);
        row("avif", heifEnc("c.avif", jpg, {"-q", "95"}), {320, 240}, orange);
        const QString deep = at("deep.png");
        tool("convert", {png, "PNG48:" + deep});
        row("heic, 10 bits", heifEnc("d.heic", deep, {"-b", "10", "-q", "95"}), {320, 240}, orange);
        QImage turned(320, 240, QImage::Format_RGB32);
        turned.fill(orange);
        QPainter(&turned).fillRect(0, 0, 160, 240, Qt::blue); // blue on the left, on top once turned
        row("heic turned a quarter", heic(at("e.heic"), turned, 6), {240, 320}, orange);
        QImage gradient(640, 480, QImage::Format_RGB32);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                gradient.setPixel(x, y, qRgb(x * 255 / 640, y * 255 / 480, x * y / 1205));
        row("heic, a gradient", heic(at("g.heic"), gradient, 1), {640, 480}, gradient.pixel(320, 360));
        tool("convert", {deep, "-depth", "16", deep.left(deep.size() - 3) + "tif"});
        row("tiff, 16 bits", deep.left(deep.size() - 3) + "tif", {320, 240}, orange);
        const QString alpha = at("alpha.png");
        tool("convert", {"-size", "320x240", "xc:rgba(240,140,20,0.5)", "PNG64:" + alpha});
        row("png, 16 bits with alpha", alpha, {320, 240}, qRgba(240, 140, 20, 128));
    }
    void loads()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(QSize, shown);
        QFETCH(QSize, display);
        QFETCH(QRgb, colour);
        const Picture p = shown.isEmpty() ? LoadPicture(path) : LoadPicture(path, [shown](QSize) { return shown; });
        QCOMPARE(p.size(), size);
        QCOMPARE(p.display().size(), display);
        QCOMPARE(p.path(), path);
        for (const QImage &image : {p.display(), p.render(size)}) {
            const QRgb seen = image.pixel(image.width() / 2, image.height() * 3 / 4);
            QVERIFY2(!colour || (std::abs(qRed(seen) - qRed(colour)) <= 6 && std::abs(qGreen(seen) - qGreen(colour)) <= 6 &&
                                 std::abs(qBlue(seen) - qBlue(colour)) <= 6 && std::abs(qAlpha(seen) - qAlpha(colour)) <= 2),
                     qPrintable(QString::number(seen, 16)));
        }
        if (QByteArray(QTest::currentDataTag()).contains("turned")) // the blue half on top
            QCOMPARE(QColor(p.display().pixel(30, 5)).blue() > 200, true);
        // The screen copy is the whole picture shrunk, within 4 levels a channel.
        QVERIFY(!colour || difference(p.display(), p.render(size)) <= 4);
    }

    // Embedded colour profiles (and a HEIF file's named primaries) are honoured:
    // the pixels come out as Little CMS's own tool turns them into sRGB
    // (perceptual, black-point compensation), within 2 levels; untagged
    // pictures and those with a broken profile keep their numbers.
    void coloursBecomeSrgb_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("profile"); // what transicc converts from; none: the numbers stay
        if (QStandardPaths::findExecutable("transicc").isEmpty())
            QSKIP("transicc (liblcms2-utils) is not installed");
        const QString adobe = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
        const QString p3 = writeBytes(at("p3.icc"), QColorSpace(QColorSpace::DisplayP3).iccProfile());
        const QColor green(60, 200, 60), red(220, 40, 40);
        QTest::newRow("jpeg, Adobe RGB") << flat("adobe.jpg", green, adobe) << adobe;
        QTest::newRow("png, Display P3") << flat("p3.png", red, p3) << p3;
        QImage redImage(64, 48, QImage::Format_RGB32);
        redImage.fill(red);
        QTest::newRow("avif, Display P3 named") << heic(at("p3.avif"), redImage, 1, 12) << p3;
        QTest::newRow("heic, Display P3 profile") << heifEnc("p3.heic", at("p3.png"), {"-q", "100"}) << p3;
        QTest::newRow("jpeg, untagged") << flat("plain.jpg", green) << QString();
        QByteArray broken = readBytes(at("adobe.jpg"));
        broken.replace("acsp", "xxxx");
        QTest::newRow("jpeg, broken profile") << writeBytes(at("broken.jpg"), broken) << QString();
    }
    void coloursBecomeSrgb()
    {
        QFETCH(QString, path);
        QFETCH(QString, profile);
        // The file's own numbers, as decoded with nothing converted (HEIF's, as made).
        const QImage plain(path);
        const QColor raw = plain.isNull() ? QColor(220, 40, 40) : plain.pixelColor(10, 10);
        const QString numbers = QString("%1 %2 %3").arg(raw.red()).arg(raw.green()).arg(raw.blue());
        const QString want = profile.isEmpty() ? numbers
                                               : tool("transicc", {"-t0", "-b", "-s", "-q", "-e", "-i" + profile, "-o*sRGB"},
                                                      numbers.toLatin1() + "\n");
        const QStringList w = want.split(QRegularExpression("[^0-9]+"), Qt::SkipEmptyParts);
        QCOMPARE(w.size(), 3);
        const Picture p = LoadPicture(path);
        for (const QImage &image : {p.display(), p.render(p.size())}) {
            const QColor seen = image.pixelColor(10, 10);
            QVERIFY2(std::abs(seen.red() - w[0].toInt()) <= 2 && std::abs(seen.green() - w[1].toInt()) <= 2 &&
                         std::abs(seen.blue() - w[2].toInt()) <= 2,
                     qPrintable(seen.name() + " for " + want));
        }
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
        const QString heifFile = heifEnc("whole.heic", writePicture(at("whole.png"), {320, 240}, "PNG"));
        QTest::newRow("heic cut in half") << cut(heifFile, "half.heic", int(QFileInfo(heifFile).size() / 2));
        QTest::newRow("heic without its last bytes") << cut(heifFile, "short.heic", -16);
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
        writeBytes("/proc/self/clear_refs", "5"); // the peak from here on
        const qint64 before = statusKb("VmRSS:");
        try {
            const Picture p = LoadPicture(path);
            QVERIFY2(loads.hasMatch() && p.display().width() <= 1024 && p.display().height() <= 1024, "loaded");
        } catch (const PictureError &) {
            QVERIFY2(!loads.hasMatch(), "refused");
        }
#ifndef __SANITIZE_ADDRESS__ // its own bookkeeping grows with what is allocated
        const qint64 peak = (statusKb("VmHWM:") - before) << 10;
        QVERIFY2(peak <= qint64(loads.hasMatch() ? loads.captured(1).toInt() : 64) << 20 && peak <= DecodeBudget::kTotal,
                 qPrintable(QString::number(peak >> 20) + " MB"));
#endif
    }

    // A photo that another program shortens and writes back while it is read
    // (a sync tool, an editor saving in place): the pages gone read as zeros
    // and the load is refused as cut short, or it gives the picture; the
    // process lives on.
    void shrinkingWhileReadIsNoCrash()
    {
        QFile file(writeBytes(at("three pages"), QByteArray(3 * 4096, 'x')));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const MappedFile mapped(file);
        QVERIFY(!mapped.cutShort());
        QVERIFY(::truncate(QFile::encodeName(file.fileName()).constData(), 4096) == 0);
        QCOMPARE(mapped.data()[2 * 4096 + 1] + mapped.data()[0], 'x');
        QVERIFY(mapped.cutShort());
        QImage gradient(1600, 1200, QImage::Format_RGB32);
        for (int y = 0; y < gradient.height(); ++y)
            for (int x = 0; x < gradient.width(); ++x)
                gradient.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
        QVERIFY(gradient.save(at("shrinking.bmp")));
        for (const QString &path : {at("shrinking.bmp"), heic(at("shrinking.heic"), gradient, 1)}) {
            const QByteArray whole = readBytes(path);
            std::atomic<bool> done{false};
            std::thread writer([&] {
                const QByteArray name = QFile::encodeName(path);
                while (!done) {
                    ::truncate(name.constData(), 4096);
                    QThread::usleep(1000);
                    QFile again(path);
                    if (again.open(QIODevice::ReadWrite))
                        again.write(whole);
                    again.close();
                    QThread::usleep(1000);
                }
            });
            bool right = true;
            for (int i = 0; i < 16; ++i) {
                try {
                    right &= LoadPicture(path, [](QSize) { return QSize(800, 600); }).size() == gradient.size();
                } catch (const PictureError &) {
                }
            }
            done = true;
            writer.join();
            QVERIFY(right);
        }
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
        QTest::addColumn<QString>("filter");
        const QString all = "All Files (*.*)|*.*";
        QTest::newRow("save") << int(FileDialogKind::Save) << "trip \"A\".ppy" << QStringList{"trip \"A\".ppy"} << all;
        QTest::newRow("open") << int(FileDialogKind::Open) << "say \"cheese\".gif" << QStringList{"say \"cheese\".gif"} << all;
        QTest::newRow("several") << int(FileDialogKind::OpenMany) << "\"A\" \"cheese\"" << QStringList{"A", "cheese"} << all;
        QTest::newRow("several, one named so") << int(FileDialogKind::OpenMany) << "say \"cheese\".gif"
                                               << QStringList{"say \"cheese\".gif"} << all;
        // Names the filter does not show are chosen all the same, in their order.
        QTest::newRow("several, some the filter hides")
            << int(FileDialogKind::OpenMany) << "\"b.jpg\" \"c.heic\" \"d.jpg\" \"gone.heic\""
            << QStringList{"b.jpg", "c.heic", "d.jpg", "gone.heic"} << "Graphic Files (*.jpg)|*.jpg|All Files (*.*)|*.*";
    }
    void fileDialogTakesTheNameAsTyped()
    {
        QFETCH(int, kind);
        QFETCH(QString, typed);
        QFETCH(QStringList, chosen);
        QFETCH(QString, filter);
        for (const char *other : {"A", "cheese", "say \"cheese\".gif", "b.jpg", "c.heic", "d.jpg"})
            writeBytes(at(other), "a file");
        QTimer::singleShot(200, [typed] {
            auto *edit = QApplication::activeModalWidget()->findChild<QLineEdit *>("fileNameEdit");
            edit->setText(typed);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QtUi ui;
        for (QString &name : chosen)
            name = at(name);
        QCOMPARE(ui.fileDialog({FileDialogKind(kind), filter, {}, dir.path()}), std::optional(chosen));
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
