// The page editor: Add Photo with real picture files, the hover zones and the
// resizing rule, and editing with real Qt mouse and key events on the real
// widgets (offscreen), the pointer's screen position scripted.

#include "app/pageview.h"
#include "layout/addphoto.h"
#include "layout/ruler.h"
#include "layoutfile/layoutfile.h"
#include "platform/errors.h"
#include "scan/scanner.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
constexpr int kTpp = 15; // twips a pixel on the offscreen screen (96 dots an inch)

// Where a ruler's marker band shows black marks, in pixels along the ruler: "56,156".
QString marks(const Ruler &ruler)
{
    QStringList out;
    const bool across = ruler.ScaleWidth() > ruler.ScaleHeight();
    for (int at = 0; at < (across ? ruler.image().width() : ruler.image().height()); ++at)
        if (QColor(ruler.image().pixel(across ? QPoint(at, 18) : QPoint(18, at))) == Qt::black)
            out << QString::number(at);
    return out.join(',');
}
} // namespace

class TestLayout : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString photo; // 100 x 80 pixels: 1500 x 1200 twips, kept at its natural size
    std::unique_ptr<Desk> desk;

    Page &page() { return desk->page; }
    QString slot(int i) { return desk->slot(i); }
    void addPhotos(int n)
    {
        for (int k = 0; k < n; ++k)
            desk->add(photo);
    }
    // Mouse gestures on the photos with real Qt events, steps apart by ";":
    // a verb, a photo and a point in twips of it, then the pointer's travel on
    // the screen since the last step, in pixels, where a drag reads it:
    //   hover 0 700,1150 | press 0 50,600 [right] | move 0 700,600 +0,20
    //   release 0 700,600 [right] | click 0 700,600 | double 1 700,600 | ratio 0 1e308
    //   key Left|Down|Delete [shift]
    void gesture(const QString &steps)
    {
        Qt::MouseButtons held;
        for (const QString &step : steps.split(';')) {
            const QStringList w = step.simplified().split(' ');
            const QStringList x = w.value(2).split(','), travel = w.value(3).split(',');
            QWidget *target = page().Pic(w[1].toInt()).widget();
            const QPoint at = (QPointF(x[0].toDouble(), x.value(1).toDouble()) / kTpp).toPoint();
            const Qt::MouseButton button = w.contains("right") ? Qt::RightButton : Qt::LeftButton;
            if (travel.size() == 2)
                desk->ui.cursor += QPoint(travel[0].toInt(), travel[1].toInt());
            if (w[0] == "hover" || w[0] == "move") { // sent as it is, wherever the pointer was
                QMouseEvent moved(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, held, {});
                QApplication::sendEvent(target, &moved);
            } else if (w[0] == "press") {
                QTest::mousePress(target, button, {}, at), held = button;
            } else if (w[0] == "release") {
                QTest::mouseRelease(target, button, {}, at), held = {};
            }
            else if (w[0] == "click")
                QTest::mouseClick(target, button, Qt::ShiftModifier | Qt::ControlModifier, at);
            else if (w[0] == "double")
                QTest::mouseDClick(target, button, {}, at), QTest::mouseRelease(target, button, {}, at);
            else if (w[0] == "ratio")
                page().PicRatioWH[size_t(w[1].toInt())] = Ratio::fromDouble(x[0].toDouble());
            else if (w[0] == "key")
                QTest::keyClick(page().surface(), w[1] == "Left" ? Qt::Key_Left : w[1] == "Down" ? Qt::Key_Down : Qt::Key_Delete,
                                w.contains("shift") ? Qt::ShiftModifier : Qt::NoModifier);
        }
    }
    // Photo 0, where its widget stands, the editing state and the look of
    // photos 0 and 1, and the marks on the rulers, in a few words.
    QString seen()
    {
        const PressState &s = desk->form.editor().state;
        const ImageControl &pic = page().Pic(0), &next = page().Pic(1);
        const QRect w = pic.widget()->geometry();
        return QString("%1 | %2,%3 %4x%5 | pointer %6 %7 handle %8 | drag %9 resize %10 track %11 | look %12%13 %14%15 | x %16 y %17")
            .arg(slot(0).section(' ', 5)).arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height()).arg(pic.MousePointer())
            .arg(int(pic.widget()->cursor().shape())).arg(s.ActiveHandle.value_or('-')).arg(s.Dragging).arg(s.Resizing.value_or(false))
            .arg(s.HandleTracking).arg(pic.BorderStyle()).arg(pic.Appearance()).arg(next.BorderStyle()).arg(next.Appearance())
            .arg(marks(desk->form.XRule()), marks(desk->form.YRule()));
    }

private slots:
    void initTestCase() { photo = writePicture(dir.filePath("photo.png"), {100, 80}, "PNG"); }
    void init()
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "Vintrel").clear(); // at actual size
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

    // Files by the thousand that are no photos: ten are named, the others
    // counted, and all listed in the details.
    void thousandsOfNoPhotosNamedTenAtATime()
    {
        QStringList uris, names;
        for (int i = 0; i < 3000; ++i)
            uris << QString("file:///nowhere/%1.txt").arg(i), names << QString("/nowhere/%1.txt").arg(i);
        QVERIFY(desk->drop(uris, {50, 50}));
        QCOMPARE(desk->ui.said(), QStringList("information: These files are not photos Vintrel can show, and were not added:\n\n" +
                                              names.mid(0, 10).join('\n') + "\n\nand 2990 more."));
        QCOMPARE(desk->ui.messages[0].details, names.join('\n'));
    }

    // The search for a free slot shows the used slots it passes and takes
    // the first free one, of 30.
    void freeSlotSearch()
    {
        addPhotos(4);
        page().PicUsed[1] = false;
        page().Pic(0).setVisible(false);
        page().Pic(3).setVisible(false);
        addPhotos(1);
        QCOMPARE(page().CurPic, std::optional<int>(1));
        QVERIFY(page().Pic(0).Visible() && !page().Pic(3).Visible());
        QVERIFY_THROWS_EXCEPTION(RuntimeError, page().Pic(Page::kPhotos));
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

    // Pressing, clicking, dragging and resizing (photo 0 is 1500 x 1200 at
    // 840, 600, ratios 0.8 and 1.25; photo 1 stands right of it): the markers
    // show the edges from before the last move, a press in the edge margin
    // resizes from the handle the last hover chose and freezes the hover
    // feedback, and so does a right press, which never drags.
    void gestures_data()
    {
        QTest::addColumn<int>("photos");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, int photos, const char *steps, const char *expected) {
            QTest::newRow(name) << photos << QString(steps) << QString(expected);
        };
        row("a click selects it alone", 2, "click 0 700,600",
            "840,600 1500x1200 rank 4 | 56,40 100x80 | pointer 0 0 handle - | drag 0 resize 0 track 1 | look 11 00 | x  y ");
        row("a release elsewhere is no click", 1, "press 0 700,600; release 0 3000,600",
            "840,600 1500x1200 rank 2 | 56,40 100x80 | pointer 0 0 handle - | drag 0 resize 0 track 1 | look 01 00 | x  y ");
        row("a double click", 2, "click 1 700,600; double 1 700,600",
            "840,600 1500x1200 rank 1 | 56,40 100x80 | pointer 0 0 handle - | drag 0 resize 0 track 1 | look 00 11 | x  y ");
        row("a drag, the markers a move behind", 2, "press 0 700,600; move 0 850,525 10,-5",
            "990,525 1500x1200 rank 3 | 66,35 100x80 | pointer 5 9 handle - | drag 1 resize 0 track 1 | look 00 01 | x 56,156 y 40,120");
        row("a longer drag, released", 2, "press 0 700,600; move 0 850,525 10,-5; move 0 1600,525 62,0; release 0 1600,525; move 0 700,600 28,105",
            "1920,525 1500x1200 rank 3 | 128,35 100x80 | pointer 5 9 handle E | drag 0 resize 0 track 1 | look 00 01 | x 128,228 y 35,115");
        row("the bottom edge resizes", 1, "hover 0 700,1150; press 0 700,1150; move 0 700,600 0,20",
            "840,600 1875x1500 rank 2 | 56,40 125x100 | pointer 7 5 handle S | drag 1 resize 1 track 0 | look 01 00 | x 56,156 y 40,120");
        row("then the interior moves it", 1, "hover 0 700,1150; press 0 700,1150; move 0 700,600 0,20; release 0 700,600; hover 0 700,600",
            "840,600 1875x1500 rank 3 | 56,40 125x100 | pointer 5 9 handle S | drag 0 resize 0 track 1 | look 11 00 | x 56,181 y 40,140");
        row("the top edge down to the least height", 1, "hover 0 700,30; press 0 700,30; move 0 700,30 0,40; move 0 700,30 0,40",
            "840,1200 300x300 rank 2 | 56,80 20x20 | pointer 7 5 handle N | drag 1 resize 1 track 0 | look 01 00 | x 56,106 y 80,120");
        row("a ratio past single precision", 1, "ratio 0 1e308; hover 0 150,30; press 0 150,30; move 0 150,30 0,-40",
            "840,600 1500x1200 rank 2 | 56,40 100x80 | pointer 7 5 handle N | drag 1 resize 1 track 0 | look 01 00 | x 56,156 y 40,120");
        row("an edge press before any hover", 1, "press 0 50,600; move 0 50,600 30,30",
            "840,600 1500x1200 rank 2 | 56,40 100x80 | pointer 0 0 handle - | drag 1 resize 1 track 0 | look 01 00 | x 56,156 y 40,120");
        row("a right press in the margin", 1, "hover 0 30,600; press 0 1450,600 right; move 0 700,1150 50,50",
            "840,600 1500x1200 rank 2 | 56,40 100x80 | pointer 9 6 handle W | drag 0 resize 1 track 0 | look 01 00 | x 56,156 y 40,120");
        row("and its release", 1, "hover 0 30,600; press 0 1450,600 right; release 0 700,1150 right; hover 0 700,1150",
            "840,600 1500x1200 rank 2 | 56,40 100x80 | pointer 7 5 handle S | drag 0 resize 0 track 1 | look 01 00 | x 56,156 y 40,120");
        row("nudged a pixel left and ten down, the markers following", 1, "click 0 700,600; key Left; key Down shift",
            "825,750 1500x1200 rank 3 | 55,50 100x80 | pointer 0 0 handle - | drag 0 resize 0 track 1 | look 11 00 | x 55,155 y 50,130");
    }
    void gestures()
    {
        QFETCH(int, photos);
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        addPhotos(photos);
        gesture(steps);
        QCOMPARE(seen(), expected);
        QImage baseLine(382, 1, QImage::Format_RGB32); // the scale's edge, beside the markers' band
        baseLine.fill(Qt::black);
        QCOMPARE(desk->form.XRule().image().copy(0, 15, 382, 1), baseLine);
    }

    // At any zoom the top ruler's white ends where the page does.
    void topRulerRunsThePageAtAnyZoom()
    {
        desk->form.resize(1200, 1000);
        for (const double zoom : {0.5, 1.0, 1.5}) {
            desk->form.view().setZoom(zoom);
            const QImage seen = desk->form.grab().toImage();
            const QPoint band = desk->form.XRule().mapTo(&desk->form, QPoint(0, 20)); // the markers' band
            int end = band.x();
            while (end < seen.width() && seen.pixel(end, band.y()) == qRgb(255, 255, 255))
                ++end;
            QCOMPARE(end, page().surface()->mapTo(&desk->form, QPoint(page().surface()->width(), 0)).x());
        }
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
        QVERIFY(pic.picture().display().width() < 300);
        pic.setWidth(pic.Width() * 4);
        pic.setHeight(pic.Height() * 4);
        pic.widget()->repaint();
        const int shown = pic.widget()->width() * int(pic.widget()->devicePixelRatioF());
        QTRY_VERIFY(pic.picture().display().width() >= shown);
    }

    // Run once as it is and once at QT_SCALE_FACTOR=2 (CTest's tst_layout_hidpi):
    // the same twips and the same saved layout, with photos twice as sharp, and
    // nudges of a screen pixel and of ten.
    void sameLayoutAtAnyPixelRatio()
    {
        desk->add(writePicture(dir.filePath("hidpi.jpg"), {2400, 1800}));
        const qreal ratio = desk->page.surface()->devicePixelRatioF();
        QCOMPARE(ratio, qreal(qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2 ? 2 : 1));
        QCOMPARE(QPoint(desk->page.PixTwipsX, desk->page.PixTwipsY), QPoint(15, 15));
        const QImage copy = desk->page.Pic(0).picture().display();
        const QSizeF shown = QSizeF(desk->page.Pic(0).Width(), desk->page.Pic(0).Height()) / 15;
        QVERIFY(copy.width() >= shown.width() * ratio - 1 && copy.height() >= shown.height() * ratio - 1);
        QTest::keyClick(desk->page.surface(), Qt::Key_Left);
        QTest::keyClick(desk->page.surface(), Qt::Key_Down, Qt::ShiftModifier);
        const QByteArray first = writeLayout(desk->page).split('\n').first();
        QCOMPARE(first.mid(first.indexOf("\",\"")), QByteArray(R"(",")" "825\",\"750\",\"1866.634\",\"1400\",\"Y\",\"Y\",\"0.75\",\"1.333333\",\"1\",\"1\"\r"));
    }
};

VINTREL_TEST_MAIN(TestLayout)
#include "tst_layout.moc"
