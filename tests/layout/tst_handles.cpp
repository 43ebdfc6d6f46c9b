// The hover zones near a photo's edges and the resizing from each handle, as
// pure functions of the photo's size and the pointer.
#include "layout/editing.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::handles;

Q_DECLARE_METATYPE(std::optional<char>)

class TestHandles : public QObject {
    Q_OBJECT
private slots:
    void zones_data()
    {
        QTest::addColumn<float>("X");
        QTest::addColumn<float>("Y");
        QTest::addColumn<float>("W");
        QTest::addColumn<float>("H");
        QTest::addColumn<int>("pointer");
        QTest::addColumn<std::optional<char>>("handle");
        const std::optional<char> none;
        QTest::newRow("top-left corner") << 50.f << 50.f << 1500.f << 1200.f << 8 << std::optional<char>('N');
        QTest::newRow("bottom-right corner") << 1450.f << 1150.f << 1500.f << 1200.f << 8 << std::optional<char>('S');
        QTest::newRow("top-right corner") << 1450.f << 50.f << 1500.f << 1200.f << 6 << std::optional<char>('E');
        QTest::newRow("bottom-left corner") << 50.f << 1150.f << 1500.f << 1200.f << 6 << std::optional<char>('W');
        QTest::newRow("top edge") << 700.f << 99.9f << 1500.f << 1200.f << 7 << std::optional<char>('N');
        QTest::newRow("bottom edge") << 700.f << 1100.1f << 1500.f << 1200.f << 7 << std::optional<char>('S');
        QTest::newRow("left edge") << 0.f << 600.f << 1500.f << 1200.f << 9 << std::optional<char>('W');
        QTest::newRow("right edge") << 1499.f << 600.f << 1500.f << 1200.f << 9 << std::optional<char>('E');
        QTest::newRow("interior") << 700.f << 600.f << 1500.f << 1200.f << 5 << none;
        // Exactly 100 twips from an edge is the interior: the comparisons are strict.
        QTest::newRow("Y = 100") << 700.f << 100.f << 1500.f << 1200.f << 5 << none;
        QTest::newRow("X = W - 100") << 1400.f << 600.f << 1500.f << 1200.f << 5 << none;
        QTest::newRow("Y = H - 100") << 700.f << 1100.f << 1500.f << 1200.f << 5 << none;
        // W - 100 is rounded to single precision: 1866.666 - 100 = 1766.666.
        QTest::newRow("fractional width, just inside")
            << 1766.6659f << 600.f << 1866.6659f << 1400.f << 5 << none;
        QTest::newRow("fractional width, just past")
            << 1766.667f << 600.f << 1866.6659f << 1400.f << 9 << std::optional<char>('E');
        // Below 200 twips the zones overlap and the first row that holds wins.
        QTest::newRow("thin photo, middle") << 75.f << 600.f << 150.f << 1200.f << 9 << std::optional<char>('W');
        QTest::newRow("tiny photo") << 75.f << 75.f << 150.f << 150.f << 8 << std::optional<char>('N');
    }
    void zones()
    {
        QFETCH(float, X);
        QFETCH(float, Y);
        QFETCH(float, W);
        QFETCH(float, H);
        QFETCH(int, pointer);
        QFETCH(std::optional<char>, handle);
        const Zone zone = ZoneAt(X, Y, W, H);
        QCOMPARE(zone.pointer, pointer);
        QCOMPARE(zone.handle, handle);
        // An edge press is exactly a press outside the interior zone.
        QCOMPARE(InMargin(X, Y, W, H), handle.has_value());
    }

    void resize_data()
    {
        QTest::addColumn<char>("handle");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("width");
        QTest::addColumn<bool>("moveTop");
        QTest::addColumn<bool>("moveLeft");
        // A 1600 x 1200 photo (r = 4/3, q = 3/4).
        QTest::newRow("N down") << 'N' << 0 << 150 << 1050.0 << 1400.0 << true << false;
        QTest::newRow("N up grows") << 'N' << 0 << -300 << 1500.0 << 2000.0 << true << false;
        QTest::newRow("S down grows") << 'S' << 999 << 300 << 1500.0 << 2000.0 << false << false;
        QTest::newRow("W right") << 'W' << 400 << 0 << 900.0 << 1200.0 << false << true;
        QTest::newRow("E left") << 'E' << -400 << 0 << 900.0 << 1200.0 << false << false;
        QTest::newRow("E ignores dy") << 'E' << 0 << 500 << 1200.0 << 1600.0 << false << false;
        // Each side clamps at 300 on its own; the clamped edge stops following.
        QTest::newRow("N past the minimum") << 'N' << 0 << 950 << 300.0 << 1600.0 - 950 * (4.0 / 3) << false << false;
        QTest::newRow("N both clamped") << 'N' << 0 << 1150 << 300.0 << 300.0 << false << false;
        QTest::newRow("W width clamped") << 'W' << 1400 << 0 << 300.0 << 300.0 << false << false;
        QTest::newRow("W height clamps first") << 'W' << 1250 << 0 << 300.0 << 350.0 << false << true;
        QTest::newRow("unknown handle") << 'X' << 100 << 100 << 1200.0 << 1600.0 << false << false;
    }
    void resize()
    {
        QFETCH(char, handle);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(double, height);
        QFETCH(double, width);
        QFETCH(bool, moveTop);
        QFETCH(bool, moveLeft);
        const Resized r = Resize(handle, 1200, 1600, dx, dy, 4.0 / 3, 0.75);
        QCOMPARE(r.height, height);
        QCOMPARE(r.width, width);
        QCOMPARE(r.moveTop, moveTop);
        QCOMPARE(r.moveLeft, moveLeft);
    }
};

VINTREL_TEST_MAIN(TestHandles)
#include "tst_handles.moc"
