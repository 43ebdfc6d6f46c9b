// Save Layout As and Open Layout on the real page with real files.
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>

#include "layout/addphoto.h"
#include "layout/page.h"
#include "layout/removal.h"
#include "layoutfile/layoutfile.h"
#include "platform/commondialog.h"
#include "platform/msgbox.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
const QString kLoadError =
    "There was an error loading your file. File may be corrupted or image file may be missing.";
const QString kMissing = "One or more photos could not be loaded because it is missing or renamed.";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The record line of a slot that never held a photo, at its design place.
QByteArray emptyLine(int i, const QByteArray &counter)
{
    const QPointF at = Page::DesignPosition(i);
    return "\"\",\"" + QByteArray::number(at.x()) + "\",\"" + QByteArray::number(at.y()) +
           "\",\"735\",\"735\",\"N\",\"N\",\"\",\"\",\"0\",\"" + counter + "\"\r\n";
}

// Puts a photo in slot i as Add would leave it, without the file dialog.
void place(Page &page, int i, const QString &path, float left, float top, float width, float height)
{
    RecordPhoto(page, i, path);
    page.Pic(i).Move(left, top);
    page.Pic(i).setWidth(width);
    page.Pic(i).setHeight(height);
    page.Pic(i).setVisible(true);
}
} // namespace

class TestLayoutFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString beach, garden;

    // The worked example: a landscape photo in slot 0 and a portrait one in
    // slot 1, clicked last, so the counter is 4.
    QByteArray exampleLines(const QString &a, const QString &b, bool emptyRatios = true) const
    {
        QByteArray out = "\"" + QFile::encodeName(a) +
                         "\",\"840\",\"600\",\"2400\",\"1800\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"1\",\"4\"\r\n";
        out += "\"" + QFile::encodeName(b) +
               "\",\"3000\",\"2707.5\",\"1800\",\"2400\",\"Y\",\"Y\",\"1.333333\",\"0.75\",\"4\",\"4\"\r\n";
        for (int i = 2; i < 30; ++i) {
            QByteArray l = emptyLine(i, "4");
            if (!emptyRatios)
                l.replace("\"\",\"\",\"0\"", "\"0\",\"0\",\"0\"");
            out += l;
        }
        return out;
    }
    void buildExample(Page &page) const
    {
        place(page, 0, beach, 840, 600, 2400, 1800);
        place(page, 1, garden, 3000, 2707.5f, 1800, 2400);
        page.BringToFront(1);
        page.BringToFront(1);
    }
    QString writeLayoutFile(const QString &name, const QByteArray &bytes) { return writeBytes(dir.filePath(name), bytes); }

    void save(Page &page, CommonDialog &cd, ScriptedUi &ui, const std::optional<QString> &path)
    {
        ui.files << path;
        mnuSave_Click(page, cd, ui);
    }
    void open(Page &page, CommonDialog &cd, ScriptedUi &ui, const std::optional<QString> &path)
    {
        ui.files << path;
        mnuOpenPage_Click(page, cd, ui);
    }

private slots:
    void initTestCase()
    {
        QDir(dir.path()).mkpath("My Photos");
        beach = writePicture(dir.filePath("beach.jpg"), {640, 480});
        garden = writePicture(dir.filePath("My Photos/Garden, 1999.jpg"), {480, 640});
        signal(SIGXFSZ, SIG_IGN); // a write past the file-size limit fails instead of killing us
    }

    void workedExampleByteForByte()
    {
        Page page;
        buildExample(page);
        const QByteArray expected = exampleLines(beach, garden);
        QCOMPARE(WriteLayout(page), expected);

        ScriptedUi ui;
        CommonDialog cd(ui);
        const QString path = dir.filePath("example.ppy");
        save(page, cd, ui, path);
        QCOMPARE(readAll(path), expected);
        QCOMPARE(ui.fileRequests[0].filter, QString("Vintrel Files (*.PPY)|*.ppy"));
        QCOMPARE(ui.fileRequests[0].kind, FileDialogKind::Save);

        // Read back into a fresh page and written again: the same, but for the
        // empty ratios, which now read as 0.
        Page again;
        open(again, cd, ui, path);
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(WriteLayout(again), exampleLines(beach, garden, false));
        QCOMPARE(again.PicRatioWH[0], Ratio::fromDouble(1.333333));
        QCOMPARE(again.ZOrderCount, 4.0);
        QCOMPARE(again.StackingOrder().back(), 1); // slot 1 above slot 0
        QCOMPARE(again.Pic(0).picture().size(), QSize(640, 480));
        QVERIFY(again.Pic(1).Visible());
        // The next bring-to-front gives rank 5.
        again.BringToFront(0);
        QCOMPARE(again.PicZOrder[0], 5.0);
    }

    void emptyPageAfterStartUp()
    {
        Page page;
        QByteArray expected;
        for (int i = 0; i < 30; ++i)
            expected += emptyLine(i, "0");
        QCOMPARE(WriteLayout(page), expected);
    }

    void missingPhotosKeepTheirRecordAndAreReportedOnce()
    {
        const QString gone = dir.filePath("moved away.jpg");
        QByteArray file = exampleLines(beach, garden);
        QList<QByteArray> lines = file.split('\n');
        lines[4] = "\"" + QFile::encodeName(gone) + "\",\"100\",\"200\",\"1500\",\"1000\",\"Y\",\"Y\",\"0.6666667\",\"1.5\",\"3\",\"4\"\r";
        lines[9] = "\"" + QFile::encodeName(dir.path()) + "\",\"10\",\"20\",\"300\",\"400\",\"N\",\"Y\",\"1\",\"1\",\"2\",\"4\"\r";
        file = lines.join('\n');
        const QString path = writeLayoutFile("missing.ppy", file);

        // The page held other photos in those slots before: none of them may stay.
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        for (int i = 0; i < 10; ++i)
            place(page, i, beach, 500, 500, 700, 500);
        page.LayoutSaved = true;
        open(page, cd, ui, path);
        QCOMPARE(ui.texts(), QStringList({kMissing}));
        QCOMPARE(ui.messages[0].icon, MsgIcon::Information);
        QVERIFY(page.Pic(4).picture().isEmpty());
        QCOMPARE(page.Pic(4).missing(), gone);
        QVERIFY(page.Pic(4).Visible());
        QVERIFY(page.PicUsed[4]);
        QCOMPARE(page.PicFile[4], gone);
        QVERIFY(page.Pic(9).picture().isEmpty()); // a folder is no photo
        QVERIFY(page.Pic(5).picture().isEmpty());  // an empty record clears the slot
        QVERIFY(!page.PicUsed[5]);
        QVERIFY(!page.Pic(5).Visible());
        // Saved right away, the missing photos' records come back as they were.
        const QString resaved = dir.filePath("resaved.ppy");
        save(page, cd, ui, resaved);
        const QList<QByteArray> back = readAll(resaved).split('\n');
        QCOMPARE(back[4], lines[4]);
        QCOMPARE(back[9], lines[9]);
        // The stacking still follows the ranks: 1 (slot 0), 2 (9), 3 (4), 4 (1).
        const std::vector<int> order = page.StackingOrder();
        QCOMPARE(std::vector<int>(order.end() - 4, order.end()), std::vector<int>({0, 9, 4, 1}));
    }

    void badFileLeavesPageUntouched_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("exists");
        QByteArray notPicture = exampleLines(beach, garden);
        const QString text = writeBytes(dir.filePath("notes.jpg"), "not a picture");
        QList<QByteArray> lines = notPicture.split('\n');
        lines[11] = "\"" + QFile::encodeName(text) + "\",\"10\",\"20\",\"300\",\"400\",\"Y\",\"Y\",\"1\",\"1\",\"2\",\"4\"\r";
        QTest::newRow("12th record names a file that is not a picture") << lines.join('\n') << true;
        QTest::newRow("29 records") << exampleLines(beach, garden).left(exampleLines(beach, garden).lastIndexOf("\"\",")) << true;
        QByteArray huge = exampleLines(beach, garden);
        huge.replace("\"2400\",\"1800\"", "\"1e39\",\"1800\"");
        QTest::newRow("a width beyond single precision") << huge << true;
        QByteArray infinite = exampleLines(beach, garden);
        infinite.replace("\"840\"", "\"-1e999\"");
        QTest::newRow("a place that overflows") << infinite << true;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("typed name of no file") << QByteArray() << false;
    }
    void badFileLeavesPageUntouched()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, exists);
        const QString path = exists ? writeLayoutFile("bad.ppy", file) : dir.filePath("no such.ppy");
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        buildExample(page);
        page.Pic(2).setWidth(1234);
        page.LayoutSaved = false;
        const QByteArray before = WriteLayout(page);
        const std::vector<int> stacking = page.StackingOrder();
        ui.answers << MsgAnswer::Yes;
        open(page, cd, ui, path);
        QCOMPARE(ui.texts(), QStringList({"Discard current changes and open a previously saved layout?", kLoadError}));
        QCOMPARE(ui.messages[1].icon, MsgIcon::Stop);
        QCOMPARE(WriteLayout(page), before);
        QCOMPARE(page.StackingOrder(), stacking);
        QCOMPARE(page.Pic(0).picture().size(), QSize(640, 480));
        QCOMPARE(page.LayoutSaved, true);
    }

    void stackingRestoredByRank()
    {
        // Ranks 3, 1, 2, 0, 2.5, 2, -1 and 9 in slots 0 to 7, counter 3.
        const QByteArray ranks[] = {"3", "1", "2", "0", "2.5", "2", "-1", "9"};
        QByteArray file;
        for (int i = 0; i < 30; ++i) {
            QByteArray l = emptyLine(i, i == 29 ? "3" : "0");
            if (i < 8) {
                l.replace("\"N\",\"N\",\"\",\"\",\"0\"", "\"Y\",\"Y\",\"1\",\"1\",\"" + ranks[i] + "\"");
                l.replace("\"\",", "\"" + QFile::encodeName(beach) + "\",");
            }
            file += l;
        }
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        for (int i = 7; i >= 0; --i)
            page.Pic(i).ZOrder(); // before: slot 0 on top, 7 at the bottom of these
        open(page, cd, ui, writeLayoutFile("ranks.ppy", file));
        QVERIFY(ui.messages.isEmpty());
        std::vector<int> order;
        for (int slot : page.StackingOrder())
            if (slot < 8)
                order.push_back(slot);
        // Not whole, 0, negative or above the counter: left below, in their old order.
        QCOMPARE(order, std::vector<int>({7, 6, 4, 3, 1, 2, 5, 0}));
        QCOMPARE(page.ZOrderCount, 3.0);
        QCOMPARE(page.PicZOrder[4], 2.5);
    }

    void hugeCounterOpensAtOnce()
    {
        QByteArray file = exampleLines(beach, garden);
        file.replace("\",\"4\"\r\n", "\",\"2000000000\"\r\n");
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        open(page, cd, ui, writeLayoutFile("counter.ppy", file));
        QCOMPARE(page.ZOrderCount, 2000000000.0);
        page.BringToFront(0);
        QCOMPARE(page.PicZOrder[0], 2000000001.0);
        QVERIFY(WriteLayout(page).contains("\"2000000001\",\"2000000001\"\r\n"));
    }

    void layoutSavedAfterEachOutcome()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        const QString path = dir.filePath("states.ppy");
        page.LayoutSaved = false;
        save(page, cd, ui, std::nullopt); // cancelled
        QCOMPARE(page.LayoutSaved, false);
        save(page, cd, ui, path);
        QCOMPARE(page.LayoutSaved, true);
        QCOMPARE(ui.fileRequests.back().fileName, QString()); // the name is cleared first

        page.LayoutSaved = false;
        ui.answers << MsgAnswer::No;
        mnuOpenPage_Click(page, cd, ui);
        QCOMPARE(page.LayoutSaved, false);
        QCOMPARE(ui.fileRequests.size(), 2); // no dialog after No

        ui.answers << MsgAnswer::Yes;
        open(page, cd, ui, std::nullopt); // Yes, then cancel
        QCOMPARE(page.LayoutSaved, true);
        open(page, cd, ui, path); // no question now
        QCOMPARE(page.LayoutSaved, true);
        QCOMPARE(ui.messages.size(), 2);
    }

    void savedNameIsExactlyAsTyped()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        const QString path = dir.filePath("no extension");
        writeBytes(path, "an older file, replaced without a question");
        save(page, cd, ui, path);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(readAll(path).startsWith("\"\",\"840\""));
        QVERIFY(!QFile::exists(path + ".ppy"));
    }

    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder that does not exist") << "nofolder";
        QTest::newRow("read-only folder") << "readonly";
        QTest::newRow("disk full (file-size limit)") << "full";
    }
    void failedSaveKeepsTheOldFile()
    {
        QFETCH(QString, how);
        QTemporaryDir folder;
        QString path = folder.filePath("album.ppy");
        const QByteArray old = exampleLines(beach, garden);
        writeBytes(path, old);
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        buildExample(page);
        page.LayoutSaved = false;
        rlimit saved{};
        if (how == "nofolder") {
            path = folder.filePath("gone/album.ppy");
        } else if (how == "readonly") {
            if (geteuid() == 0)
                QSKIP("permissions do not bind the superuser; the file-size case covers failed writes");
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
        } else {
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = 512;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        save(page, cd, ui, path);
        if (how == "full")
            setrlimit(RLIMIT_FSIZE, &saved);
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(page.LayoutSaved, false);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].icon, MsgIcon::Stop);
        QCOMPARE(ui.messages[0].title, QString("Vintrel"));
        QVERIFY2(ui.messages[0].text.contains(path), qPrintable(ui.messages[0].text));
        QCOMPARE(readAll(folder.filePath("album.ppy")), old);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList({"album.ppy"})); // nothing left behind
    }

    void removedPhotoIsWrittenAsFree()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        buildExample(page);
        page.CurPic = 0;
        mnuRemove_Click(page);
        const QByteArray first = WriteLayout(page).split('\n')[0];
        QCOMPARE(first, QByteArray("\"\",\"840\",\"600\",\"2400\",\"1800\",\"N\",\"N\",\"0.75\",\"1.333333\",\"1\",\"4\"\r"));
    }
};

VINTREL_TEST_MAIN(TestLayoutFile)
#include "tst_layoutfile.moc"
