// Loading pictures: what loads, how large it stands, and what is refused.
#include <QBuffer>
#include <QDir>

#include "platform/errors.h"
#include "platform/picture.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
// A BMP header that claims a picture of the given size, with no pixel data.
QByteArray bmpHeaderClaiming(int width, int height)
{
    QByteArray b;
    QDataStream s(&b, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s.writeRawData("BM", 2);
    s << quint32(54 + 16) << quint32(0) << quint32(54);      // file size, reserved, pixel offset
    s << quint32(40) << qint32(width) << qint32(height);      // info header
    s << quint16(1) << quint16(24) << quint32(0) << quint32(0) << qint32(2835) << qint32(2835)
      << quint32(0) << quint32(0);
    s.writeRawData("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16);
    return b;
}
} // namespace

class TestPicture : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString at(const QString &name) const { return dir.filePath(name); }

private slots:
    void loads_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpeg") << writePicture(at("a.jpg"), {640, 480}, "JPG") << QSize(640, 480);
        QTest::newRow("bmp") << writePicture(at("b.bmp"), {31, 17}, "BMP") << QSize(31, 17);
        QTest::newRow("png") << writePicture(at("c.png"), {5, 300}, "PNG") << QSize(5, 300);
        QTest::newRow("gif") << dataPath("landscape-640x480.gif") << QSize(640, 480);
        // The type comes from the content, not from the name.
        QTest::newRow("jpeg named .bmp") << writePicture(at("d.bmp"), {40, 30}, "JPG") << QSize(40, 30);
        // Camera photos stand upright: orientation 6 is a quarter turn.
        QTest::newRow("exif orientation 6")
            << writeBytes(at("e.jpg"), jpegWithOrientation({64, 48}, 6)) << QSize(48, 64);
        QTest::newRow("exif orientation 1")
            << writeBytes(at("f.jpg"), jpegWithOrientation({64, 48}, 1)) << QSize(64, 48);
    }
    void loads()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const Picture p = LoadPicture(path);
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.size(), size);
        QCOMPARE(p.display().size(), size); // small pictures are kept whole
        QCOMPARE(p.path(), path);
    }

    void emptyPathIsTheEmptyPicture()
    {
        QVERIFY(LoadPicture(QString()).isEmpty());
        QVERIFY(LoadPicture(QString()).display().isNull());
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << at("nowhere.jpg");
        QTest::newRow("folder") << dir.path();
        QTest::newRow("text") << writeBytes(at("notes.jpg"), "these are not the pixels you are looking for\n");
        QTest::newRow("empty file") << writeBytes(at("empty.bmp"), QByteArray());
        QTest::newRow("bmp claiming 60000 x 60000") << writeBytes(at("huge.bmp"), bmpHeaderClaiming(60000, 60000));
        QByteArray jpeg;
        {
            QFile f(writePicture(at("whole.jpg"), {300, 200}, "JPG"));
            f.open(QIODevice::ReadOnly);
            jpeg = f.readAll();
        }
        QTest::newRow("truncated jpeg") << writeBytes(at("half.jpg"), jpeg.left(jpeg.size() / 2));
        QTest::newRow("jpeg without its last byte") << writeBytes(at("short.jpg"), jpeg.chopped(1));
        QTest::newRow("jpeg header only") << writeBytes(at("header.jpg"), jpeg.left(20));
        auto halfOf = [](const QString &path) {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll().left(int(f.size() / 2));
        };
        QTest::newRow("truncated bmp")
            << writeBytes(at("half.bmp"), halfOf(writePicture(at("whole.bmp"), {300, 200}, "BMP")));
        QTest::newRow("truncated gif") << writeBytes(at("half.gif"), halfOf(dataPath("landscape-640x480.gif")));
    }
    void refuses()
    {
        QFETCH(QString, path);
        QVERIFY_THROWS_EXCEPTION(PictureError, LoadPicture(path));
    }

    void largePhotoKeepsScreenSizedCopy()
    {
        const Picture p = LoadPicture(writePicture(at("big.jpg"), {4000, 3000}, "JPG"));
        QCOMPARE(p.size(), QSize(4000, 3000));
        QCOMPARE(p.display().size(), QSize(1024, 768));
        // More pixels come from the file when asked for, never more than it has.
        QCOMPARE(p.render({2000, 2000}).size(), QSize(2000, 1500));
        QCOMPARE(p.render({9000, 9000}).size(), QSize(4000, 3000));
        QCOMPARE(p.render({400, 400}).size(), QSize(1024, 768));
    }

    void renderFallsBackToScreenCopyWhenFileIsGone()
    {
        const QString path = writePicture(at("gone.jpg"), {3000, 2000}, "JPG");
        const Picture p = LoadPicture(path);
        QVERIFY(QFile::remove(path));
        QCOMPARE(p.render({3000, 2000}).size(), QSize(1024, 682));
    }

    void uprightSizeOfLargeRotatedPhoto()
    {
        const Picture p = LoadPicture(writeBytes(at("turned.jpg"), jpegWithOrientation({2400, 1200}, 6)));
        QCOMPARE(p.size(), QSize(1200, 2400));
        QCOMPARE(p.display().size(), QSize(512, 1024));
    }
};

VINTREL_TEST_MAIN(TestPicture)
#include "tst_picture.moc"
