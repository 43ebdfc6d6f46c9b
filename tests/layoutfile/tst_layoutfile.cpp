// Layout files: the text of numbers and fields, and Save Layout As and Open
// Layout on the real page with real files.
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "layoutfile/layoutfile.h"
#include "layoutfile/layoutformat.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;
using namespace vintrel::layoutformat;

namespace {
const QString kLoadError =
    "There was an error loading your file. File may be corrupted or image file may be missing.";
const QString kMissing = "One or more photos could not be loaded because it is missing or renamed.";

// The record of a slot that never held a photo, at its design place.
QByteArray emptyLine(int i, const QByteArray &counter)
{
    const QPointF at = Page::designPosition(i);
    return "\"\",\"" + QByteArray::number(at.x()) + "\",\"" + QByteArray::number(at.y()) +
           "\",\"735\",\"735\",\"N\",\"N\",\"\",\"\",\"0\",\"" + counter + "\"\r\n";
}
// 30 records: the given ones, the others as never used.
QByteArray layout(const std::map<int, QByteArray> &lines, const QByteArray &counter = "4")
{
    QByteArray out;
    for (int i = 0; i < 30; ++i)
        out += lines.count(i) ? lines.at(i) + "\r\n" : emptyLine(i, counter);
    return out;
}
QByteArray record(const QString &path, const QByteArray &rest)
{
    return "\"" + QFile::encodeName(path) + "\"," + rest;
}
} // namespace

class TestLayoutFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString beach, garden, accents;

    // The worked example: a landscape photo in slot 0 and a portrait one in
    // slot 1, which was clicked last, so the counter is 4.
    QByteArray example() const
    {
        return layout({{0, record(beach, R"("840","600","2400","1800","Y","Y","0.75","1.333333","1","4")")},
                       {1, record(garden, R"("3000","2707.5","1800","2400","Y","Y","1.333333","0.75","4","4")")}});
    }
    void buildExample(Desk &desk) const
    {
        desk.place(0, beach, 840, 600, 2400, 1800);
        desk.place(1, garden, 3000, 2707.5f, 1800, 2400);
        desk.page.bringToFront(1);
        desk.page.bringToFront(1);
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German)); // a decimal comma must not leak into files
        beach = writePicture(dir.filePath("beach.jpg"), {640, 480});
        garden = writePicture(dir.filePath("My Photos/Garden, 1999.jpg"), {480, 640});
        accents = writePicture(dir.filePath("Grüße \"ünd\",\"ß\".png"), {20, 10}, "PNG"); // quotes, a "," between
    }

    void numbers()
    {
        // Written: at most 7 or 15 significant digits, "." whatever the locale, no
        // trailing zeros, exponent form where plain notation would need more.
        const struct { double value; int digits; const char *text; } written[] = {
            {840, 7, "840"}, {2707.5, 7, "2707.5"}, {-840, 7, "-840"}, {-0.0, 7, "0"},
            {double(1.3333334f), 7, "1.333333"}, {9999999, 7, "9999999"}, {12345678, 7, "1.234568E+07"},
            {0.0001, 7, "0.0001"}, {0.00001, 7, "1E-05"}, {1.0 / 3, 15, "0.333333333333333"},
            {123456789012345, 15, "123456789012345"}, {1e15, 15, "1E+15"}, {1.5e-300, 15, "1.5E-300"},
        };
        for (const auto &w : written)
            QCOMPARE(numberText(w.value, w.digits), QString(w.text));
        // Read: the leading number, or 0.
        const struct { const char *text; double value; } read[] = {
            {"", 0}, {"1234,5", 1234}, {"  -12.5e2xyz", -1250}, {"+.5", 0.5}, {"1E+", 1},
            {"1.234568E+07", 12345680}, {"abc", 0}, {"-.", 0},
        };
        for (const auto &r : read)
            QCOMPARE(leadingNumber(r.text), r.value);
    }

    void fieldStream_data()
    {
        // Each file must read as 30 records of the same 11 fields.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("firstPath");
        const QByteArray good = example();
        const QByteArray first = QFile::encodeName(beach);
        QTest::newRow("as written") << good << first;
        QTest::newRow("more than 30 records") << good + good << first;
        QTest::newRow("a record split over two lines") << QByteArray(good).replace("\"2707.5\",", "\"2707.5\"\r\n") << first;
        QTest::newRow("two records on one line") << QByteArray(good).replace("\"4\"\r\n\"", "\"4\",\"") << first;
        QTest::newRow("LF line ends") << QByteArray(good).replace("\r\n", "\n") << first;
        QTest::newRow("no end after the last line") << good.chopped(2) << first;
        QTest::newRow("unquoted fields lose blanks") << QByteArray(good).replace("\"" + first + "\",\"840\"", "  x.jpg ,  840  ")
                                                     << QByteArray("x.jpg");
    }
    void fieldStream()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, firstPath);
        const auto records = readRecords(file);
        QCOMPARE(records[0][0], firstPath);
        QCOMPARE(records[0][1], QByteArray("840"));
        QCOMPARE(records[1][0], QFile::encodeName(garden)); // the quoted comma and blank kept
        QCOMPARE(records[1][2], QByteArray("2707.5"));
        QCOMPARE(records[29][1], QByteArray("4200"));
        for (const Record &r : records)
            QCOMPARE(r[10], QByteArray("4"));
    }

    void photosNotWhereTheLayoutSays()
    {
        // The layout and some photos moved to another folder; one photo damaged,
        // one in a tree the user points Find... to, two nowhere to be found.
        const QString flat = writePicture(dir.filePath("moved/flat.jpg"), {40, 30});
        const QString beside = writePicture(dir.filePath("moved/photos/beside.jpg"), {40, 30});
        const QString far = writePicture(dir.filePath("tree/a/b/c/d/moved away.jpg"), {40, 30});
        writePicture(dir.filePath("tree/a/b/c/d/e/deep.jpg"), {40, 30}); // five levels down: too deep
        writePicture(dir.filePath("tree/.hidden/deep.jpg"), {40, 30});    // hidden folders are passed by
        writePicture(dir.filePath("tree/a/b/c/z/moved away.jpg"), {40, 30}); // as deep, but later by name
        const QString damaged = writeBytes(dir.filePath("notes.jpg"), "not a picture");
        const QString gone = dir.filePath("moved away.jpg"), deep = "/nowhere/deep.jpg";
        // The layout's folder is one others may write: a file another user put
        // there under a photo's name is not taken, nor a picture of the
        // photo's name that has other proportions.
        QFile::setPermissions(dir.filePath("moved"), QFileDevice::Permissions(0x7777));
        if (::geteuid() == 0) // only the superuser can give a file away
            QCOMPARE(::chown(QFile::encodeName(writePicture(dir.filePath("moved/IMG_0004.jpg"), {40, 30})), 65534, 65534), 0);
        writePicture(dir.filePath("moved/photos/upright.jpg"), {30, 40});
        // Slot 0's flags are neither "Y" nor "N": its visibility and use stay as they stood.
        const QByteArray file = layout({{0, record(beach, R"("840","600","2400","1800","y","n","0.75","1.333333","1","4")")},
                                        {4, record(gone, R"("100","200","1500","1000","Y","Y","0.6666667","1.5","3","4")")},
                                        {6, record("/nowhere/photos/beside.jpg", R"("10","20","300","400","Y","Y","0.75","1.333333","2","4")")},
                                        {7, record("/nowhere/flat.jpg", R"("10","20","300","400","Y","Y","0.75","1.333333","2","4")")},
                                        {8, record(damaged, R"("10","20","300","400","Y","Y","1","1","2","4")")},
                                        {9, record(dir.path(), R"("10","20","300","400","N","Y","1","1","2","4")")},
                                        {10, record(deep, R"("10","20","300","400","Y","Y","1","1","2","4")")},
                                        {11, record(beach + QChar(0) + ".txt", R"("10","20","300","400","Y","Y","0.75","1.333333","2","4")")},
                                        {12, record(beach, R"("10","20","300","400","y","y","1","1","2","4")")},
                                        {13, record("/phone/IMG_0004.jpg", R"("10","20","300","400","Y","Y","0.75","1.333333","2","4")")},
                                        {14, record("/nowhere/photos/upright.jpg", R"("10","20","300","400","Y","Y","0.75","1.333333","2","4")")}},
                                       "9"); // the counter is the last record's
        Desk desk;
        for (int i = 0; i < 10; ++i) // the page held other photos in those slots
            desk.place(i, garden, 500, 500, 700, 500);
        desk.page.Pic(2).ZOrder(); // above slot 3: of rank 0 in the file, both stay below as they stood
        desk.page.LayoutSaved = true;
        desk.ui.answers << MsgAnswer::Find;
        desk.answer(writeBytes(dir.filePath("moved/missing.ppy"), file));
        desk.ui.files << QStringList{dir.filePath("tree")};
        desk.run("mnuOpenPage");
        // A name holding a NUL names no file, though the system would read it up to the NUL.
        const QStringList missing{gone, dir.path(), deep, beach + QChar(0) + ".txt", "/phone/IMG_0004.jpg",
                                  "/nowhere/photos/upright.jpg"};
        QCOMPARE(desk.ui.said(),
                 QStringList({"information: These photos could not be read, and are shown as empty frames:\n\n" + damaged,
                              "information: " + kMissing + "\n\n2 photos were found beside the layout, in \"" +
                                  dir.filePath("moved") + "\", and are used from there.",
                              "information: 1 of 6 missing photos were found."}));
        QCOMPARE(desk.ui.messages[1].buttons, MsgButtons::OkFind);
        QCOMPARE(desk.ui.messages[1].details, missing.join('\n'));
        QCOMPARE(desk.ui.fileRequests[1].kind, FileDialogKind::Folder);
        QCOMPARE(desk.slot(0), QString("used shown picture beach.jpg at 840,600 2400x1800 rank 1"));
        QCOMPARE(desk.slot(4), QString("used shown picture moved away.jpg at 100,200 1500x1000 rank 3"));
        QCOMPARE(desk.slot(5), QString("free hidden empty - at 1680,1560 735x735 rank 0")); // an empty record clears
        QCOMPARE(desk.slot(8), QString("used shown frame notes.jpg at 10,20 300x400 rank 2"));
        QCOMPARE(desk.slot(9).left(17), QString("used hidden frame")); // a folder is no photo
        QCOMPARE(desk.slot(10), QString("used shown frame deep.jpg at 10,20 300x400 rank 2"));
        QCOMPARE(desk.slot(12).left(19), QString("free hidden picture"));
        QCOMPARE(desk.page.ZOrderCount, 9.0);
        const std::vector<int> order = desk.page.stackingOrder();
        QVERIFY(std::find(order.begin(), order.end(), 2) > std::find(order.begin(), order.end(), 3));
        // Find is a step of its own; photos found beside the layout leave the opened page changed.
        desk.run("mnuUndo");
        QCOMPARE(desk.slot(4), QString("used shown frame moved away.jpg at 100,200 1500x1000 rank 3"));
        QVERIFY(!desk.page.LayoutSaved);
        desk.run("mnuRedo");
        // The next save writes where the photos were found, and the others as they were.
        desk.save(dir.filePath("found.ppy"));
        QStringList saved; // each record's path, visibility and use
        for (const Record &r : readRecords(readBytes(dir.filePath("found.ppy"))))
            saved << QFile::decodeName(r[0] + r[5] + r[6]);
        QCOMPARE(saved.mid(4, 7), QStringList({far + "YY", "NN", beside + "YY", flat + "YY", damaged + "YY", dir.path() + "NY",
                                               deep + "YY"}));
        // Opened where nothing stands beside it, the page is changed by Find alone.
        desk.ui.answers << MsgAnswer::Find;
        desk.answer(writeBytes(dir.filePath("again.ppy"), file));
        desk.ui.files << QStringList{dir.filePath("tree")};
        desk.run("mnuOpenPage");
        QVERIFY(!desk.page.LayoutSaved);
        // Every photo found beside the layout: said all the same, naming them.
        desk.ui.answers << MsgAnswer::Yes;
        desk.open(writeBytes(dir.filePath("moved/all found.ppy"), layout({{6, file.split('\n')[6].chopped(1)}}, "9")));
        QCOMPARE(desk.ui.said().constLast(), "information: 1 photo was found beside the layout, in \"" +
                                                 dir.filePath("moved") + "\", and is used from there.");
        QCOMPARE(desk.ui.messages.constLast().details, beside);
    }

    void badFileLeavesPageUntouched_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("other"); // opened instead of the file, when given
        const QByteArray good = example();
        QTest::newRow("unclosed quote") << good.left(good.lastIndexOf("\"\",")) + "\"p29.jpg,100,600" << QString();
        QTest::newRow("a place beyond single precision") << QByteArray(good).replace("\"840\"", "\"1e39\"") << QString();
        QTest::newRow("a number beyond double") << QByteArray(good).replace("\"840\"", "\"-1e999\"") << QString();
        QTest::newRow("a negative width") << QByteArray(good).replace("\"2400\",\"1800\"", "\"-1\",\"1800\"") << QString();
        QTest::newRow("a rank beyond double") << QByteArray(good).replace("\"1\",\"4\"", "\"9e999\",\"4\"") << QString();
        QTest::newRow("a field over 64 KB") << QByteArray(good).replace("\"840\"", "\"840" + QByteArray(70000, ' ') + '"') << QString();
        QTest::newRow("typed name of no file") << QByteArray() << dir.filePath("no such.ppy");
        // Nothing that never ends or blocks is read.
        mkfifo(QFile::encodeName(dir.filePath("fifo.ppy")).constData(), 0600);
        QTest::newRow("a FIFO") << QByteArray() << dir.filePath("fifo.ppy");
        QTest::newRow("a device") << QByteArray() << QString("/dev/zero");
        QTest::newRow("a folder") << QByteArray() << dir.path();
    }
    void badFileLeavesPageUntouched()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, other);
        Desk desk;
        buildExample(desk);
        desk.page.Pic(2).setWidth(1234);
        desk.page.LayoutSaved = false;
        const QByteArray before = writeLayout(desk.page);
        const std::vector<int> stacking = desk.page.stackingOrder();
        desk.ui.answers << MsgAnswer::Yes;
        desk.open(other.isEmpty() ? writeBytes(dir.filePath("bad.ppy"), file) : other);
        QCOMPARE(desk.ui.said(), QStringList({"question: Discard current changes and open a previously saved layout?",
                                              "stop: " + kLoadError}));
        QCOMPARE(writeLayout(desk.page), before);
        QCOMPARE(desk.page.stackingOrder(), stacking);
        QCOMPARE(desk.page.Pic(0).picture().size(), QSize(640, 480));
        QCOMPARE(desk.page.LayoutSaved, true);
    }

    // Opening waits for its photos with the window live: after a moment a
    // modal progress counts them, whose text fits, the window takes no command
    // meanwhile, and Cancel leaves the page exactly as it was.
    void openShowsProgressAndCancels_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("loaded") << false;
    }
    void openShowsProgressAndCancels()
    {
        QFETCH(bool, cancel);
        // 30 photos that take a while to load (PNGs are decoded whole), each
        // under a name of its own.
        const QString slow = dir.filePath("slow.png");
        if (!QFile::exists(slow)) {
            QImage noise(4000, 3000, QImage::Format_RGB32);
            QRandomGenerator(30).fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
            QVERIFY(noise.save(slow));
        }
        std::map<int, QByteArray> lines;
        for (int i = 0; i < 30; ++i) {
            const QString name = dir.filePath(QString("slow %1.png").arg(i));
            QVERIFY(QFile::exists(name) || QFile::link(slow, name));
            lines[i] = record(name, R"("10","20","2400","1800","Y","Y","0.75","1.333333","1","4")");
        }
        Desk desk;
        desk.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desk.form));
        desk.place(0, beach, 100, 100, 700, 500);
        const QByteArray before = writeLayout(desk.page);
        QString shown;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            if (!shown.isEmpty() || !progress || progress->objectName() != "OpenProgress" || progress->value() < 1)
                return;
            const QLabel *text = progress->findChild<QLabel *>();
            shown = text->width() >= text->sizeHint().width() ? text->text() : "cut off: " + text->text();
            const QWidget *add = desk.form.findChild<QToolButton *>("Add"); // clicked as the window system would: refused
            QTest::mouseClick(desk.form.windowHandle(), Qt::LeftButton, {}, add->mapTo(&desk.form, add->rect().center()));
            if (cancel)
                QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
        });
        watch.start(20);
        desk.open(writeBytes(dir.filePath("slow.ppy"), layout(lines)));
        QVERIFY2(QRegularExpression("^Opening layout: \\d+ of 30 photos$").match(shown).hasMatch(), qPrintable(shown));
        QCOMPARE(desk.ui.fileRequests.size(), 1); // Open's alone
        QVERIFY(desk.ui.said().isEmpty());
        if (cancel)
            QCOMPARE(writeLayout(desk.page), before);
        else
            QCOMPARE(desk.slot(29), QString("used shown picture slow 29.png at 10,20 2400x1800 rank 1"));
        QCOMPARE(desk.page.LayoutSaved, true);
    }

    // Each way a save can fail keeps the old file whole and says so; a folder
    // where no file may be made still lets a writable file be saved in place.
    void saveWhereWritingFails_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("result"); // the new layout, or the old bytes kept
        QTest::newRow("folder that does not exist") << "nofolder" << "old";
        QTest::newRow("disk full (file-size limit)") << "full" << "old";
        QTest::newRow("a FIFO under the name") << "fifo" << "old";
        QTest::newRow("read-only file") << "readonly file" << "old";
        QTest::newRow("read-only folder and file") << "readonly folder file" << "old";
        QTest::newRow("read-only folder, written in place") << "readonly folder" << "new";
        QTest::newRow("read-only folder, disk full in place") << "readonly folder full" << "old";
    }
    void saveWhereWritingFails()
    {
        QFETCH(QString, how);
        QFETCH(QString, result);
        if (how.startsWith("readonly"))
            VINTREL_UNPRIVILEGED();
        QTemporaryDir folder;
        const QByteArray old = "an older file";
        QString path = writeBytes(folder.filePath("album.ppy"), old);
        Desk desk;
        buildExample(desk);
        desk.page.LayoutSaved = false;
        if (how == "nofolder") {
            path = folder.filePath("gone/album.ppy");
        } else if (how == "fifo") { // stays a FIFO: nothing is written in its place
            path = folder.filePath("pipe.ppy");
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        if (how.contains("file"))
            QFile::setPermissions(path, QFile::ReadOwner);
        if (how.contains("folder"))
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
        {
            const Limit full(RLIMIT_FSIZE, 512, how.contains("full")); // a disk full after 512 bytes
            desk.save(path);
        }
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readBytes(folder.filePath("album.ppy")), result == "new" ? example() : old);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList({"album.ppy"})); // nothing left behind
        QCOMPARE(desk.page.LayoutSaved, result == "new");
        QCOMPARE(desk.ui.said().size(), result == "new" ? 0 : 1);
        if (result == "old")
            QVERIFY2(desk.ui.said()[0].startsWith("stop: ") && desk.ui.said()[0].contains(path), qPrintable(desk.ui.said()[0]));
        if (how == "readonly folder full")
            QVERIFY2(desk.ui.said()[0].endsWith("The file holds what it held before."), qPrintable(desk.ui.said()[0]));
    }
};

VINTREL_TEST_MAIN(TestLayoutFile)
#include "tst_layoutfile.moc"
