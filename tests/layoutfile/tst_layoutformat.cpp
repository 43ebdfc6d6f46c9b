// The layout file's text: numbers written and read, and the field stream.
#include <QLocale>

#include "layoutfile/layoutformat.h"
#include "platform/errors.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::layoutformat;

namespace {
// A well-formed record line for slot values (x, y) with the given flags and rank.
QByteArray line(const QByteArray &path, int x, const QByteArray &visible = "Y", const QByteArray &used = "Y",
                const QByteArray &rank = "1", const QByteArray &counter = "30")
{
    return "\"" + path + "\",\"" + QByteArray::number(x) + "\",\"600\",\"735\",\"735\",\"" + visible + "\",\"" +
           used + "\",\"0.75\",\"1.333333\",\"" + rank + "\",\"" + counter + "\"\r\n";
}
QByteArray lines(int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += line("p" + QByteArray::number(i) + ".jpg", 100 + i);
    return out;
}
} // namespace

class TestLayoutFormat : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German)); } // a decimal comma locale

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 840.0 << 7 << "840";
        QTest::newRow("half") << 2707.5 << 7 << "2707.5";
        QTest::newRow("negative") << -840.0 << 7 << "-840";
        QTest::newRow("negative zero") << -0.0 << 7 << "0";
        QTest::newRow("4:3 single") << double(1.3333334f) << 7 << "1.333333";
        QTest::newRow("3:4 single") << double(0.75f) << 7 << "0.75";
        QTest::newRow("fitted width") << double(1866.666f) << 7 << "1866.666";
        QTest::newRow("single 0.1") << double(0.1f) << 7 << "0.1";
        QTest::newRow("seven digits") << 9999999.0 << 7 << "9999999";
        QTest::newRow("eight digits") << 12345678.0 << 7 << "1.234568E+07";
        QTest::newRow("1E+07") << 1e7 << 7 << "1E+07";
        QTest::newRow("1E-04 is plain") << 0.0001 << 7 << "0.0001";
        QTest::newRow("1E-05") << 0.00001 << 7 << "1E-05";
        QTest::newRow("tiny") << 1.5e-300 << 15 << "1.5E-300";
        QTest::newRow("double third") << 1.0 / 3 << 15 << "0.333333333333333";
        QTest::newRow("double 4:3 as read") << 1.333333 << 15 << "1.333333";
        QTest::newRow("fifteen digits") << 123456789012345.0 << 15 << "123456789012345";
        QTest::newRow("1E+15") << 1e15 << 15 << "1E+15";
        QTest::newRow("big counter") << 2000000000.0 << 15 << "2000000000";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(int, digits);
        QFETCH(QString, text);
        QCOMPARE(NumberText(value, digits), text);
    }

    void ratioText()
    {
        QCOMPARE(RatioText(Ratio()), QString());
        QCOMPARE(RatioText(Ratio::single(4.f / 3)), QString("1.333333"));
        QCOMPARE(RatioText(Ratio::fromDouble(4.0 / 3)), QString("1.33333333333333"));
        QCOMPARE(RatioText(Ratio::fromDouble(0)), QString("0"));
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << QByteArray() << 0.0;
        QTest::newRow("decimal comma") << QByteArray("1234,5") << 1234.0;
        QTest::newRow("plain") << QByteArray("2707.5") << 2707.5;
        QTest::newRow("blanks and sign") << QByteArray("  -12.5e2xyz") << -1250.0;
        QTest::newRow("plus") << QByteArray("+3") << 3.0;
        QTest::newRow("leading point") << QByteArray(".5") << 0.5;
        QTest::newRow("trailing point") << QByteArray("5.") << 5.0;
        QTest::newRow("exponent without digits") << QByteArray("1e") << 1.0;
        QTest::newRow("exponent sign only") << QByteArray("1E+") << 1.0;
        QTest::newRow("exponent") << QByteArray("1.234568E+07") << 12345680.0;
        QTest::newRow("letters") << QByteArray("abc") << 0.0;
        QTest::newRow("sign only") << QByteArray("-") << 0.0;
        QTest::newRow("point only") << QByteArray(".") << 0.0;
        QTest::newRow("flag") << QByteArray("Y") << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QCOMPARE(LeadingNumber(text), value);
    }
    void leadingNumberOverflowFails()
    {
        QVERIFY_THROWS_EXCEPTION(RuntimeError, LeadingNumber("1e999"));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, LeadingNumber("-1e400"));
    }

    void readsFieldStream_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("firstPath");
        QTest::addColumn<QByteArray>("lastPath");
        QTest::newRow("30 records") << lines(30) << QByteArray("p0.jpg") << QByteArray("p29.jpg");
        QTest::newRow("more than 30 reads the first 30") << lines(33) << QByteArray("p0.jpg") << QByteArray("p29.jpg");
        QByteArray split = lines(30);
        split.replace("\"p3.jpg\",\"103\",", "\"p3.jpg\"\r\n\"103\",");
        QByteArray joined = lines(30);
        joined.replace("\"\r\n\"p5.jpg\"", "\",\"p5.jpg\"");
        QTest::newRow("record split over two lines") << split << QByteArray("p0.jpg") << QByteArray("p29.jpg");
        QTest::newRow("two records on one line") << joined << QByteArray("p0.jpg") << QByteArray("p29.jpg");
        QByteArray lf = lines(30);
        lf.replace("\r\n", "\n");
        QTest::newRow("LF line ends") << lf << QByteArray("p0.jpg") << QByteArray("p29.jpg");
        QByteArray noFinalEnd = lines(30);
        noFinalEnd.chop(2);
        QTest::newRow("no line end after the last") << noFinalEnd << QByteArray("p0.jpg") << QByteArray("p29.jpg");
        QTest::newRow("commas and blanks in a quoted path")
            << lines(30).replace("\"p0.jpg\"", "\"C:\\My Photos\\Garden, 1999.jpg\"")
            << QByteArray("C:\\My Photos\\Garden, 1999.jpg") << QByteArray("p29.jpg");
        QByteArray unquoted = lines(30);
        unquoted.replace("\"p0.jpg\",\"100\"", "  p0.jpg ,  100  ");
        QTest::newRow("unquoted fields lose blanks") << unquoted << QByteArray("p0.jpg") << QByteArray("p29.jpg");
    }
    void readsFieldStream()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, firstPath);
        QFETCH(QByteArray, lastPath);
        const auto records = ReadRecords(file);
        QCOMPARE(records[0][0], firstPath);
        QCOMPARE(records[29][0], lastPath);
        for (const Record &r : records) {
            QCOMPARE(r[2], QByteArray("600"));
            QCOMPARE(r[10], QByteArray("30"));
        }
        QCOMPARE(LeadingNumber(records[1][1]), 101.0);
    }

    void endsTooSoon_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("29 records") << lines(29);
        QByteArray shortLast = lines(30);
        shortLast.chop(QByteArray(",\"30\"\r\n").size());
        QTest::newRow("short last record") << shortLast + "\r\n";
        QTest::newRow("unclosed quote") << lines(29) + "\"p29.jpg,100,600";
    }
    void endsTooSoon()
    {
        QFETCH(QByteArray, file);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, ReadRecords(file));
    }

    void parsesRecord_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("example") << line("a.jpg", 840) << true;
        QTest::newRow("negative place") << line("a.jpg", -5000) << true;
        QTest::newRow("place beyond single") << QByteArray(line("a.jpg", 7)).replace("\"7\"", "\"1e39\"") << false;
        QTest::newRow("overflowing number") << QByteArray(line("a.jpg", 7)).replace("\"7\"", "\"1e400\"") << false;
        QTest::newRow("negative width") << QByteArray(line("a.jpg", 7)).replace("\"735\",\"735\"", "\"-1\",\"735\"")
                                        << false;
        QTest::newRow("huge rank") << QByteArray(line("a.jpg", 7)).replace("\"1\",\"30\"", "\"9e999\",\"30\"") << false;
    }
    void parsesRecord()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        const Record record = ReadRecords(text.repeated(30))[0];
        if (ok)
            QCOMPARE(ParseRecord(record).top, 600.f);
        else
            QVERIFY_THROWS_EXCEPTION(RuntimeError, ParseRecord(record));
    }

    void flagsAreExact()
    {
        const ReadSlot lower = ParseRecord(ReadRecords(line("a", 1, "y", "n").repeated(30))[0]);
        QCOMPARE(lower.visible, std::nullopt);
        QCOMPARE(lower.used, std::nullopt);
        const ReadSlot upper = ParseRecord(ReadRecords(line("a", 1, "N", "Y").repeated(30))[0]);
        QCOMPARE(upper.visible, std::optional<bool>(false));
        QCOMPARE(upper.used, std::optional<bool>(true));
    }

    void writesUtf8PathBytes()
    {
        SlotValues slot;
        slot.path = QString::fromUtf8("/photos/Grüße, 1999.jpg");
        slot.width = slot.height = 735;
        const QByteArray text = RecordLine(slot, 0);
        QVERIFY(text.startsWith("\"/photos/Gr\xc3\xbc\xc3\x9f" "e, 1999.jpg\","));
        QCOMPARE(ParseRecord(ReadRecords(text.repeated(30))[0]).path, slot.path);
    }
};

VINTREL_TEST_MAIN(TestLayoutFormat)
#include "tst_layoutformat.moc"
