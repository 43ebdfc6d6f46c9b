// Rounding to whole numbers as the page's arithmetic does it: halves to even.
#include "platform/errors.h"
#include "platform/vbmath.h"
#include "testsupport.h"

using namespace vintrel;

class TestVbMath : public QObject {
    Q_OBJECT
private slots:
    void halvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("15") << 15.0 << 15;
        QTest::newRow("7.5 up to even") << 7.5 << 8;
        QTest::newRow("8.5 down to even") << 8.5 << 8;
        QTest::newRow("12.5") << 12.5 << 12;
        QTest::newRow("13.09 (110 dpi)") << 1440.0 / 110 << 13;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("1866.5") << 1866.5 << 1866;
    }
    void halvesToEven()
    {
        QFETCH(double, value);
        QFETCH(int, expected);
        QCOMPARE(toLong(value), expected);
    }
    void overflowFails()
    {
        QVERIFY_THROWS_EXCEPTION(RuntimeError, toLong(3e9));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, toLong(std::numeric_limits<double>::quiet_NaN()));
    }
};

VINTREL_TEST_MAIN(TestVbMath)
#include "tst_vbmath.moc"
