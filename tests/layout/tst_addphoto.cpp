// Add Photo through the dialog seam and real picture files: which slot, where,
// how large, and what each way of ending leaves behind.
#include "layout/addphoto.h"
#include "layout/page.h"
#include "platform/commondialog.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

class TestAddPhoto : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Adds the given file (or cancels, for an empty path) and returns what was asked.
    void add(Page &page, CommonDialog &cd, ScriptedUi &ui, const QString &path)
    {
        if (path.isEmpty())
            ui.files << std::nullopt;
        else
            ui.files << path;
        mnuAdd_Click(page, cd, ui);
    }

private slots:
    void startingSizeFit_data()
    {
        // Natural size in twips, and the size the fit leaves.
        QTest::addColumn<float>("width");
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("fitWidth");
        QTest::addColumn<float>("fitHeight");
        QTest::newRow("640x480 at 15 twips a pixel, 58 steps") << 9600.f << 7200.f << 1866.666f << 1400.f;
        QTest::newRow("the same upright, 77 steps") << 7200.f << 9600.f << 1425.f << 1900.f;
        QTest::newRow("15360x11520, 101 steps") << 15360.f << 11520.f << 1893.3467f << 1420.f;
        QTest::newRow("1500x1200 kept") << 1500.f << 1200.f << 1500.f << 1200.f;
        QTest::newRow("exactly 1500 shrinks once") << 1500.f << 1500.f << 1400.f << 1400.f;
        QTest::newRow("very wide, 2 steps") << 20000.f << 1600.f << 17500.f << 1400.f;
        QTest::newRow("very tall, 13 steps") << 1600.f << 20000.f << 1496.f << 18700.f;
        // The height is first rounded to whole twips, halves to even.
        QTest::newRow("1499.5 rounds to 1500") << 2000.f << 1499.5f << 1866.6222f << 1400.f;
        QTest::newRow("1498.5 rounds to 1498") << 2000.f << 1498.5f << 2000.f << 1498.f;
    }
    void startingSizeFit()
    {
        QFETCH(float, width);
        QFETCH(float, height);
        QFETCH(float, fitWidth);
        QFETCH(float, fitHeight);
        Page page;
        page.Pic(3).setWidth(width);
        page.Pic(3).setHeight(height);
        page.PicRatioWH[3] = Ratio::single(width / height);
        FitStartingSize(page, 3);
        QCOMPARE(page.Pic(3).Width(), fitWidth);
        QCOMPARE(page.Pic(3).Height(), fitHeight);
    }

    void addsChosenFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<float>("width");
        QTest::addColumn<float>("height");
        QTest::addColumn<float>("ratioHW");
        QTest::addColumn<float>("ratioWH");
        QTest::newRow("jpeg 640x480") << writePicture(dir.filePath("land.jpg"), {640, 480}, "JPG") << 1866.666f
                                      << 1400.f << 0.75f << 1.3333334f;
        QTest::newRow("bmp 480x640") << writePicture(dir.filePath("port.bmp"), {480, 640}, "BMP") << 1425.f
                                     << 1900.f << 1.3333334f << 0.75f;
        QTest::newRow("gif 640x480") << dataPath("landscape-640x480.gif") << 1866.666f << 1400.f << 0.75f
                                     << 1.3333334f;
        QTest::newRow("gif 100x100") << dataPath("square-100x100.gif") << 1400.f << 1400.f << 1.f << 1.f;
        QTest::newRow("small png kept") << writePicture(dir.filePath("small.png"), {100, 80}, "PNG") << 1500.f
                                        << 1200.f << 0.8f << 1.25f;
        QTest::newRow("camera jpeg turned upright")
            << writeBytes(dir.filePath("cam.jpg"), jpegWithOrientation({640, 480}, 6)) << 1425.f << 1900.f
            << 1.3333334f << 0.75f;
    }
    void addsChosenFile()
    {
        QFETCH(QString, path);
        QFETCH(float, width);
        QFETCH(float, height);
        QFETCH(float, ratioHW);
        QFETCH(float, ratioWH);
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        add(page, cd, ui, path);

        QCOMPARE(ui.fileRequests.size(), 1);
        QCOMPARE(ui.fileRequests[0].filter, kPhotoFilter);
        QCOMPARE(ui.fileRequests[0].kind, FileDialogKind::Open);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(page.PicUsed[0]);
        QCOMPARE(page.PicFile[0], path);
        QCOMPARE(page.CurPic, std::optional<int>(0));
        QCOMPARE(page.LayoutSaved, false);
        const ImageControl &pic = page.Pic(0);
        QVERIFY(pic.Visible());
        QCOMPARE(pic.Left(), 840.f);
        QCOMPARE(pic.Top(), 600.f);
        QCOMPARE(pic.Width(), width);
        QCOMPARE(pic.Height(), height);
        QCOMPARE(page.PicRatioHW[0], Ratio::single(ratioHW));
        QCOMPARE(page.PicRatioWH[0], Ratio::single(ratioWH));
        QVERIFY(!pic.picture().isEmpty());
        QCOMPARE(page.ZOrderCount, 1.0);
        QCOMPARE(page.PicZOrder[0], 1.0);
    }

    void slotsFillInOrderAtTheirDesignPlaces()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        const QString photo = writePicture(dir.filePath("p.jpg"), {60, 40});
        for (int n = 0; n < 7; ++n)
            add(page, cd, ui, photo);
        // A file already on the page gives another, independent photo.
        for (int i = 0; i < 7; ++i) {
            QVERIFY(page.PicUsed[i]);
            QCOMPARE(page.PicZOrder[i], double(i + 1));
        }
        QCOMPARE(QPointF(page.Pic(0).Left(), page.Pic(0).Top()), QPointF(840, 600));
        QCOMPARE(QPointF(page.Pic(5).Left(), page.Pic(5).Top()), QPointF(1680, 1560));
        QCOMPARE(QPointF(page.Pic(6).Left(), page.Pic(6).Top()), QPointF(840, 1560));
        // The newest stands in front; only it has the raised look, none a border.
        QCOMPARE(page.StackingOrder().back(), 6);
        QCOMPARE(page.CurPic, std::optional<int>(6));
        for (int i = 0; i < Page::kPhotos; ++i) {
            QCOMPARE(page.Pic(i).BorderStyle(), 0);
            QCOMPARE(page.Pic(i).Appearance(), i == 6 ? 1 : 0);
        }
    }

    void designPositions()
    {
        // The page's grid: rows of five from the top; below the first row the
        // first two places of each row hold 5k+1 and 5k.
        const int grid[6][5] = {{0, 1, 2, 3, 4},      {6, 5, 7, 8, 9},      {11, 10, 12, 13, 14},
                                {16, 15, 17, 18, 19}, {21, 20, 22, 23, 24}, {26, 25, 27, 28, 29}};
        Page page;
        for (int row = 0; row < 6; ++row)
            for (int column = 0; column < 5; ++column) {
                const ImageControl &pic = page.Pic(grid[row][column]);
                QCOMPARE(pic.Left(), 840.f + 840.f * column);
                QCOMPARE(pic.Top(), 600.f + 960.f * row);
                QCOMPARE(pic.Width(), 735.f);
                QCOMPARE(pic.Height(), 735.f);
                QVERIFY(!pic.Visible());
            }
    }

    void takesLowestFreeSlotAndShowsUsedOnesOnTheWay()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        for (int i : {0, 1, 3})
            page.PicUsed[i] = true;
        add(page, cd, ui, writePicture(dir.filePath("q.jpg"), {60, 40}));
        QVERIFY(page.PicUsed[2]);
        QCOMPARE(page.CurPic, std::optional<int>(2));
        QVERIFY(page.Pic(0).Visible());
        QVERIFY(page.Pic(1).Visible());
        QVERIFY(!page.Pic(3).Visible()); // beyond the free slot: not touched
    }

    void cancelLeavesPageChangedButNoSlotTaken()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        cd.FileName = "earlier.jpg";
        add(page, cd, ui, QString());
        QCOMPARE(page.LayoutSaved, false);
        QCOMPARE(page.CurPic, std::nullopt);
        QVERIFY(!page.PicUsed[0]);
        QCOMPARE(page.ZOrderCount, 0.0);
        QVERIFY(cd.CancelError);
        QCOMPARE(ui.fileRequests[0].fileName, QString("earlier.jpg")); // Add does not clear the name
        QVERIFY(ui.messages.isEmpty());
    }

    void unloadableFileEndsQuietlyAfterSettingCurPic_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("not a picture") << writeBytes(dir.filePath("readme.jpg"), "plain text");
        QTest::newRow("missing") << dir.filePath("gone.jpg");
        QTest::newRow("empty") << writeBytes(dir.filePath("empty.gif"), QByteArray());
    }
    void unloadableFileEndsQuietlyAfterSettingCurPic()
    {
        QFETCH(QString, path);
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        page.PicUsed[0] = true;
        add(page, cd, ui, path);
        QCOMPARE(page.CurPic, std::optional<int>(1));
        QVERIFY(!page.PicUsed[1]);
        QVERIFY(page.PicFile[1].isEmpty());
        QVERIFY(!page.Pic(1).Visible());
        QVERIFY(page.Pic(1).picture().isEmpty());
        QCOMPARE(page.ZOrderCount, 0.0);
        QCOMPARE(page.PicRatioWH[1], Ratio());
        QCOMPARE(page.LayoutSaved, false);
        QVERIFY(ui.messages.isEmpty());
    }

    void fullPageRefuses()
    {
        Page page;
        ScriptedUi ui;
        CommonDialog cd(ui);
        page.PicUsed.fill(true);
        mnuAdd_Click(page, cd, ui);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, QString("Maximum images exceeded"));
        QCOMPARE(ui.messages[0].title, QString("Vintrel"));
        QCOMPARE(ui.messages[0].icon, MsgIcon::Information);
        QVERIFY(ui.fileRequests.isEmpty());
        QCOMPARE(page.LayoutSaved, false);
        QCOMPARE(page.CurPic, std::nullopt);
        for (int i = 0; i < Page::kPhotos; ++i)
            QVERIFY(page.Pic(i).Visible());
    }

    void slotIndexOutsideTableFails()
    {
        Page page;
        QVERIFY_THROWS_EXCEPTION(RuntimeError, page.Pic(30));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, page.Pic(-1));
    }
};

VINTREL_TEST_MAIN(TestAddPhoto)
#include "tst_addphoto.moc"
