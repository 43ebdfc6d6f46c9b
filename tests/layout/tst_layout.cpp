// The page editor: Add Photo with real picture files, the hover zones and the
// resizing rule, and editing with real Qt mouse and key events on the real
// widgets (offscreen), the pointer's screen position scripted.
#include <QRandomGenerator>

#include "layout/addphoto.h"
#include "layout/ruler.h"
#include "layoutfile/layoutfile.h"
#include "scan/scanner.h"
#include "platform/errors.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
constexpr int kTpp = 15; // twips a pixel on the offscreen screen (96 dots an inch)

// Where a ruler's marker band shows black marks, in pixels along the ruler.
QList<int> marks(const Ruler &ruler)
{
    QList<int> out;
    const bool across = ruler.ScaleWidth() > ruler.ScaleHeight();
    for (int at = 0; at < (across ? ruler.image().width() : ruler.image().height()); ++at)
        if (QColor(ruler.image().pixel(across ? QPoint(at, 18) : QPoint(18, at))) == Qt::black)
            out << at;
    return out;
}
} // namespace

class TestLayout : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString photo; // 100 x 80 pixels: 1500 x 1200 twips, kept at its natural size
    std::unique_ptr<Desk> desk;

    Page &page() { return desk->page; }
    PressState &state() { return desk->form.editor().state; }
    QString slot(int i) { return desk->slot(i); }
    void addPhotos(int n)
    {
        for (int k = 0; k < n; ++k)
            desk->add(photo);
    }
    // Mouse gestures on photo i at a point in twips of the photo, with the
    // pointer's screen position (pixels) where the drag reads it.
    QWidget *w(int i) { return page().Pic(i).widget(); }
    QPoint at(QPointF twips) { return (twips / kTpp).toPoint(); }
    void press(int i, QPointF p, QPoint cursor = {}, Qt::MouseButton b = Qt::LeftButton)
    {
        desk->ui.cursor = cursor;
        QTest::mousePress(w(i), b, {}, at(p));
    }
    void move(int i, QPointF p, QPoint cursor = {})
    {
        desk->ui.cursor = cursor;
        QTest::mouseMove(w(i), at(p));
    }
    void release(int i, QPointF p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(w(i), b, {}, at(p)); }

private slots:
    void initTestCase() { photo = writePicture(dir.filePath("photo.png"), {100, 80}, "PNG"); }
    void init()
    {
        desk = std::make_unique<Desk>();
        desk->form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desk->form));
    }
    void cleanup() { desk.reset(); }

    void startingSizeFit()
    {
        // Natural width and height in twips, and the size the fit leaves: 100
        // twips of height a pass for an added photo, 10 for an acquired one, the
        // width by the ratio, while both sides are at least 1500.
        const struct { float w, h, fitW, fitH; const char *what; bool acquired = false; } rows[] = {
            {9600, 7200, 1866.666f, 1400, "640x480 at 15 twips a pixel, 58 steps"},
            {7200, 9600, 1425, 1900, "the same upright, 77 steps"},
            {15360, 11520, 1893.3467f, 1420, "101 steps"},
            {1500, 1200, 1500, 1200, "kept"},
            {1500, 1500, 1400, 1400, "exactly 1500 shrinks once"},
            {20000, 1600, 17500, 1400, "very wide, 2 steps"},
            {1600, 20000, 1496, 18700, "very tall, 13 steps"},
            {2000, 1499.5f, 1866.6222f, 1400, "the height is first rounded: 1499.5 to 1500"},
            {2000, 1498.5f, 2000, 1498, "halves to even: 1498.5 to 1498"},
            {3000, 2250, 1986.6722f, 1490, "acquired, landscape", true},
            {2250, 3000, 1492.5f, 1990, "acquired, upright", true},
            {1500, 1500, 1490, 1490, "acquired, square at the threshold", true},
            {3000, 1500, 2980, 1490, "acquired, wide at the threshold", true},
            {5000, 1400, 5000, 1400, "acquired, one side already small", true},
        };
        for (const auto &r : rows) {
            page().Pic(3).setWidth(r.w);
            page().Pic(3).setHeight(r.h);
            page().PicRatioWH[3] = Ratio::single(r.w / r.h);
            r.acquired ? shrinkAcquired(page(), 3) : fitStartingSize(page(), 3);
            QVERIFY2(QSizeF(page().Pic(3).Width(), page().Pic(3).Height()) == QSizeF(r.fitW, r.fitH), r.what);
        }
    }

    void addsChosenFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<float>("ratioHW");
        QTest::newRow("jpeg") << writePicture(dir.filePath("land.jpg"), {640, 480}) << "land.jpg at 840,600 1866.666x1400" << 0.75f;
        QTest::newRow("bmp") << writePicture(dir.filePath("port.bmp"), {480, 640}, "BMP") << "port.bmp at 840,600 1425x1900"
                             << 1.3333334f;
        QTest::newRow("gif") << dataPath("square-100x100.gif") << "square-100x100.gif at 840,600 1400x1400" << 1.f;
        QTest::newRow("small png kept") << photo << "photo.png at 840,600 1500x1200" << 0.8f;
        QTest::newRow("camera jpeg turned upright") << writeBytes(dir.filePath("cam.jpg"), jpegWithOrientation({640, 480}, 6))
                                                    << "cam.jpg at 840,600 1425x1900" << 1.3333334f;
    }
    void addsChosenFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QFETCH(float, ratioHW);
        desk->add(path);
        QVERIFY(desk->ui.said().isEmpty());
        QCOMPARE(slot(0), "used shown picture " + expected + " rank 1");
        QCOMPARE(page().PicFile[0], path);
        QCOMPARE(page().CurPic, std::optional<int>(0));
        QCOMPARE(page().LayoutSaved, false);
        QCOMPARE(page().PicRatioHW[0], Ratio::single(ratioHW));
        QCOMPARE(page().PicRatioWH[0], Ratio::single(1 / ratioHW));
    }

    void fillsTheGridThenRefuses()
    {
        // Rows of five from the top; below the first row the first two places of
        // each row hold 5k+1 and 5k.
        const int grid[6][5] = {{0, 1, 2, 3, 4},      {6, 5, 7, 8, 9},      {11, 10, 12, 13, 14},
                                {16, 15, 17, 18, 19}, {21, 20, 22, 23, 24}, {26, 25, 27, 28, 29}};
        addPhotos(30); // the same file each time: independent photos
        for (int row = 0; row < 6; ++row)
            for (int column = 0; column < 5; ++column) {
                const int i = grid[row][column];
                QCOMPARE(slot(i), QString("used shown picture photo.png at %1,%2 1500x1200 rank %3")
                                      .arg(840 + 840 * column).arg(600 + 960 * row).arg(i + 1));
                QCOMPARE(page().Pic(i).Appearance(), i == 29 ? 1 : 0); // only the newest is raised
                QCOMPARE(page().Pic(i).BorderStyle(), 0);
            }
        QCOMPARE(page().stackingOrder().back(), 29);
        for (int i = 0; i < Page::kPhotos; ++i)
            page().Pic(i).setVisible(false);
        page().LayoutSaved = true;
        desk->run("mnuAdd");
        QCOMPARE(desk->ui.said(), QStringList({"information: Maximum images exceeded"}));
        QCOMPARE(page().LayoutSaved, false);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, page().Pic(30)); // 30 slots, no more
        for (int i = 0; i < Page::kPhotos; ++i)
            QVERIFY(page().Pic(i).Visible()); // shown again on the way
        // The lowest free slot is taken; used slots past it are not touched.
        page().PicUsed[1] = false;
        page().Pic(0).setVisible(false);
        page().Pic(3).setVisible(false);
        addPhotos(1);
        QCOMPARE(page().CurPic, std::optional<int>(1));
        QVERIFY(page().Pic(0).Visible());
        QVERIFY(!page().Pic(3).Visible());
    }

    void zones()
    {
        // The pointer and handle for a point X, Y of a photo W x H: corners first,
        // then edges, strict comparisons with W - 100 and H - 100 taken in single
        // precision, and where zones overlap (under 200 twips) the first wins.
        const struct { float X, Y, W, H; int pointer; char handle; } rows[] = {
            {50, 50, 1500, 1200, 8, 'N'},    {1450, 1150, 1500, 1200, 8, 'S'}, {1450, 50, 1500, 1200, 6, 'E'},
            {50, 1150, 1500, 1200, 6, 'W'},  {700, 99.9f, 1500, 1200, 7, 'N'}, {700, 1100.1f, 1500, 1200, 7, 'S'},
            {0, 600, 1500, 1200, 9, 'W'},    {1499, 600, 1500, 1200, 9, 'E'},  {700, 100, 1500, 1200, 5, 0},
            {1400, 600, 1500, 1200, 5, 0},   {700, 1100, 1500, 1200, 5, 0},    {1766.6659f, 600, 1866.6659f, 1400, 5, 0},
            {1766.667f, 600, 1866.6659f, 1400, 9, 'E'}, {75, 600, 150, 1200, 9, 'W'}, {75, 75, 150, 150, 8, 'N'},
        };
        for (const auto &r : rows) {
            const handles::Zone zone = handles::zoneAt(r.X, r.Y, r.W, r.H);
            const QString where = QString("at %1,%2 of %3x%4").arg(r.X).arg(r.Y).arg(r.W).arg(r.H);
            QVERIFY2(zone.pointer == r.pointer && zone.handle.value_or(0) == r.handle, qPrintable(where));
            QVERIFY2(handles::inMargin(r.X, r.Y, r.W, r.H) == (r.handle != 0), qPrintable(where)); // edge press
        }
    }

    void resizeKeepsProportionsAndTheMinimum()
    {
        // Any photo, any handle, any travel: the side the handle drives follows
        // the pointer, the other keeps the proportions, neither goes below 300,
        // and only the top (N) or left (W) edge moves, and only above the minimum.
        QRandomGenerator random(20261207);
        for (int n = 0; n < 20000; ++n) {
            const char handle = "NESW"[random.bounded(4)];
            const float W = float(random.bounded(100, 6000)), H = float(random.bounded(100, 6000));
            const std::int32_t dx = random.bounded(-6000, 6000), dy = random.bounded(-6000, 6000);
            const handles::Resized r = handles::resize(handle, H, W, dx, dy, double(W) / H, double(H) / W);
            const bool vertical = handle == 'N' || handle == 'S';
            const double travel = handle == 'N' ? -dy : handle == 'S' ? dy : handle == 'W' ? -dx : dx;
            QCOMPARE(vertical ? r.height : r.width, std::max(300.0, (vertical ? H : W) + travel));
            QVERIFY(r.height >= 300 && r.width >= 300);
            if (r.height > 300 && r.width > 300)
                QVERIFY(qFuzzyCompare(r.width / r.height, double(W) / H));
            QCOMPARE(r.moveTop, handle == 'N' && r.height > 300);
            QCOMPARE(r.moveLeft, handle == 'W' && r.width > 300);
        }
        const handles::Resized none = handles::resize('X', 1200, 1600, 100, 100, 4.0 / 3, 0.75);
        QCOMPARE(QSizeF(none.width, none.height), QSizeF(1600, 1200));
    }

    // The clicked photo alone has the raised border (its stamps, and what a
    // double click counts, are the session test's); a release outside it is no click.
    void clickAndDoubleClick()
    {
        addPhotos(2);
        QTest::mouseClick(w(0), Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, at({700, 600}));
        for (int i = 0; i < Page::kPhotos; ++i)
            QCOMPARE(page().Pic(i).BorderStyle() + page().Pic(i).Appearance(), i == 0 ? 2 : 0);
        QTest::mouseClick(w(1), Qt::LeftButton, {}, at({700, 600}));
        QTest::mouseDClick(w(1), Qt::LeftButton, {}, at({700, 600}));
        release(1, {700, 600});
        QVERIFY(!state().Dragging);
        press(0, {700, 600});
        release(0, {3000, 600});
        QCOMPARE(page().Pic(0).BorderStyle(), 0);
    }

    void dragMovesPhotoAndMarkersLag()
    {
        addPhotos(2); // slot 1 stands right of slot 0
        press(0, {700, 600}, {300, 300});
        move(0, {850, 525}, {310, 295});
        QCOMPARE(slot(0), QString("used shown picture photo.png at 990,525 1500x1200 rank 3"));
        // The markers show the edges from before this step.
        QCOMPARE(marks(desk->form.XRule()), QList<int>({56, 156}));
        QCOMPARE(marks(desk->form.YRule()), QList<int>({40, 120}));
        QImage baseLine(382, 1, QImage::Format_RGB32); // the scale's edge, beside the markers' band
        baseLine.fill(Qt::black);
        QCOMPARE(desk->form.XRule().image().copy(0, 15, 382, 1), baseLine);
        move(0, {1600, 525}, {372, 295}); // over slot 1 now, but slot 0 keeps the mouse
        QCOMPARE(w(0)->geometry(), QRect(128, 35, 100, 80)); // the widget follows: 1920, 525, 1500 x 1200 twips
        QCOMPARE(page().Pic(1).Left(), 1680.f);
        QCOMPARE(marks(desk->form.XRule()), QList<int>({66, 166}));
        QCOMPARE(marks(desk->form.YRule()), QList<int>({35, 115}));
        release(0, {1600, 525});
        move(0, {700, 600}, {400, 400}); // no button: nothing moves
        QCOMPARE(page().Pic(0).Left(), 1920.f);
    }

    void edgeDragResizesFromTheHoveredHandle()
    {
        addPhotos(1); // 1500 x 1200, ratios 0.8 and 1.25
        move(0, {700, 1150}); // over the bottom edge
        QCOMPARE(page().Pic(0).MousePointer(), 7);
        QCOMPARE(w(0)->cursor().shape(), Qt::SizeVerCursor);
        press(0, {700, 1150}, {500, 500});
        move(0, {700, 600}, {500, 520}); // crossing the interior changes no pointer, no handle
        QCOMPARE(slot(0), QString("used shown picture photo.png at 840,600 1875x1500 rank 2"));
        QCOMPARE(page().Pic(0).MousePointer(), 7);
        release(0, {700, 600});
        move(0, {700, 600}); // the interior shows the move pointer and keeps the handle
        QCOMPARE(page().Pic(0).MousePointer(), 5);
        QCOMPARE(state().ActiveHandle, std::optional<char>('S'));
        // The top edge follows the pointer down until the height reaches 300.
        move(0, {700, 30});
        press(0, {700, 30}, {0, 0});
        move(0, {700, 30}, {0, 40});
        QCOMPARE(slot(0), QString("used shown picture photo.png at 840,1200 1125x900 rank 4"));
        move(0, {700, 30}, {0, 80}); // the height reaches 300 and the top stays
        QCOMPARE(slot(0), QString("used shown picture photo.png at 840,1200 375x300 rank 4"));
        release(0, {700, 30});
        QCOMPARE(state().Resizing, std::optional<bool>(false));
        QVERIFY(state().HandleTracking);
        // A ratio read from a file as 1e308 leaves the photo its size rather
        // than one no layout file can hold.
        page().PicRatioWH[0] = Ratio::fromDouble(1e308);
        move(0, {150, 30});
        press(0, {150, 30}, {0, 0});
        move(0, {150, 30}, {0, -40});
        QCOMPARE(slot(0), QString("used shown picture photo.png at 840,1200 375x300 rank 5"));
        release(0, {150, 30});
    }

    void edgePressesThatResizeNothing()
    {
        addPhotos(1);
        // An edge press before any hover chose a handle resizes nothing.
        desk->form.editor().Pic_MouseDown(0, Qt::LeftButton, {}, 50, 600);
        desk->ui.cursor = {30, 30};
        desk->form.editor().Pic_MouseMove(0, Qt::LeftButton, {}, 50, 600);
        QCOMPARE(page().Pic(0).MousePointer(), 0); // tracking is off during the press
        QCOMPARE(state().LastCursorPos, QPoint(30, 30));
        desk->form.editor().Pic_MouseUp(0, Qt::LeftButton, {}, 50, 600);
        // A right press in the margin selects and stamps, never drags, and
        // freezes the hover feedback until its release.
        move(0, {30, 600});
        press(0, {1450, 600}, {}, Qt::RightButton);
        QCOMPARE(page().ZOrderCount, 3.0);
        QVERIFY(!state().Dragging);
        move(0, {700, 1150}, {50, 50});
        QCOMPARE(page().Pic(0).MousePointer(), 9);
        release(0, {700, 1150}, Qt::RightButton);
        QCOMPARE(page().Pic(0).BorderStyle(), 0); // and is no click
        move(0, {700, 1150});
        QCOMPARE(state().ActiveHandle, std::optional<char>('S'));
        QCOMPARE(slot(0), QString("used shown picture photo.png at 840,600 1500x1200 rank 3"));
    }

    // Ranks stay within what a layout file holds exactly, in the same order.
    void ranksRenumberedBeforeTheyPassFifteenDigits()
    {
        Page &p = page();
        p.ZOrderCount = Page::kLastExactRank - 1;
        p.PicZOrder[0] = p.ZOrderCount - 1, p.PicZOrder[1] = p.ZOrderCount, p.PicZOrder[2] = 5;
        p.PicZOrder[3] = 5, p.PicZOrder[4] = 2.5; // equal ones stay equal; a rank that is not whole stays
        p.bringToFront(0); // 999999999999999: still exact
        QCOMPARE(p.PicZOrder[0], Page::kLastExactRank);
        p.bringToFront(1);
        QCOMPARE(std::vector<double>(p.PicZOrder.begin(), p.PicZOrder.begin() + 5),
                 std::vector<double>({3, 4, 1, 1, 2.5})); // and the count is 4
    }

    // A photo enlarged past its screen copy is decoded again, sharper, from its file.
    void enlargedPhotoDecodedSharper()
    {
        desk->add(writePicture(dir.filePath("enlarge.jpg"), {4000, 3000}));
        ImageControl &pic = desk->page.Pic(0);
        const int before = pic.picture().display().width();
        QVERIFY(before < 300);
        desk->form.show();
        pic.setWidth(pic.Width() * 4);
        pic.setHeight(pic.Height() * 4);
        pic.widget()->repaint();
        const int shown = pic.widget()->width() * int(pic.widget()->devicePixelRatioF());
        QTRY_VERIFY(pic.picture().display().width() >= shown);
    }

    // Run once as it is and once at QT_SCALE_FACTOR=2 (CTest's tst_layout_hidpi):
    // the same twips and the same saved layout, with photos twice as sharp.
    void sameLayoutAtAnyPixelRatio()
    {
        desk->add(writePicture(dir.filePath("hidpi.jpg"), {2400, 1800}));
        const qreal ratio = desk->page.surface()->devicePixelRatioF();
        QCOMPARE(ratio, qreal(qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2 ? 2 : 1));
        QCOMPARE(QPoint(desk->page.PixTwipsX, desk->page.PixTwipsY), QPoint(15, 15));
        const QImage copy = desk->page.Pic(0).picture().display();
        const QSizeF shown = QSizeF(desk->page.Pic(0).Width(), desk->page.Pic(0).Height()) / 15;
        QVERIFY(copy.width() >= shown.width() * ratio - 1 && copy.height() >= shown.height() * ratio - 1);
        const QByteArray first = writeLayout(desk->page).split('\n').first();
        QCOMPARE(first.mid(first.indexOf("\",\"")), QByteArray(R"(",")" "840\",\"600\",\"1866.634\",\"1400\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"1\",\"1\"\r"));
    }
};

VINTREL_TEST_MAIN(TestLayout)
#include "tst_layout.moc"
