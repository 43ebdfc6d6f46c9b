// Select Source and Acquire through the real scanner library on SANE's own
// "test" device, enabled alone by a private SANE configuration. The library's
// dialogs are answered as a user would: find the modal dialog, set its
// controls, press its buttons. Bitmaps are checked against what scanimage
// writes for the same scan.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "bmpwriter.h"
#include "channel.h"
#include "prints.h"
#include "layout/page.h"
#include "platform/app.h"
#include "scan/scanner.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {

QString saneDir() { return App::Path() + "/sane"; }

// The test device's configuration: its own defaults but for those below, changed by `changes`.
void configure(const QStringList &changes, bool enabled = true)
{
    QMap<QString, QString> conf{{"mode", "Color"}, {"test-picture", "\"Color pattern\""}, {"br_x", "20"}, {"br_y", "20"}};
    for (const QString &c : changes)
        conf[c.section(' ', 0, 0)] = c.section(' ', 1);
    QByteArray text;
    for (auto [key, value] : conf.asKeyValueRange())
        text += (key + ' ' + value + '\n').toUtf8();
    writeBytes(saneDir() + "/test.conf", text);
    writeBytes(saneDir() + "/dll.conf", enabled ? "test\n" : "");
}

// Acts on the modal dialogs as they come: each step waits for a modal dialog of
// its name and is tried on it every few milliseconds until it says it is done.
// The library's busy indication is left to go by itself unless a step is for
// it (a loaded machine may need it); any other dialog no step expects is
// closed, and fails the test.
class DialogScript : public QObject {
public:
    using Step = std::function<bool(QWidget *)>;
    DialogScript(QList<QPair<QString, Step>> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            const bool expected = !m_steps.isEmpty() && modal->objectName() == m_steps.first().first;
            if (!expected && modal->objectName() == "ScannerBusy")
                return;
            if (expected) {
                if (m_steps.first().second(modal)) {
                    m_steps.removeFirst();
                    m_actedOn = modal;
                }
            } else if (modal != m_actedOn) { // one busy with what it was told (a scan) stays up a while
                if (!m_unexpected.contains(modal->objectName()))
                    m_unexpected << modal->objectName();
                if (auto *label = modal->findChild<QLabel *>("qt_msgbox_label"))
                    qWarning() << "unexpected:" << label->text();
                modal->close();
            }
        });
        m_timer.start(20);
    }
    ~DialogScript()
    {
        QVERIFY2(m_unexpected.isEmpty(), qPrintable("unexpected dialog: " + m_unexpected.join(", ")));
        QVERIFY2(m_steps.isEmpty(), qPrintable("dialog never came: " + m_steps.value(0).first));
    }

private:
    QStringList m_unexpected;
    QList<QPair<QString, Step>> m_steps;
    QPointer<QWidget> m_actedOn;
    QTimer m_timer;
};

bool press(QWidget *dialog, const QString &button)
{
    for (auto *b : dialog->findChildren<QPushButton *>())
        if (b->objectName() == button || b->text().remove('&') == button) {
            b->click();
            return true;
        }
    return false;
}
DialogScript::Step pressing(const QString &button) { return [button](QWidget *d) { return press(d, button); }; }

// The scan dialog's settings, then Scan, or Return where the keyboard is.
DialogScript::Step scanning(const QString &mode, double dpi, double widthMm, double heightMm, bool byKey = false)
{
    return [=](QWidget *d) {
        auto *box = d->findChild<QComboBox *>("mode");
        box->setCurrentIndex(box->findData(mode));
        d->findChild<QDoubleSpinBox *>("resolution")->setValue(dpi);
        d->findChild<QDoubleSpinBox *>("br-x")->setValue(widthMm);
        d->findChild<QDoubleSpinBox *>("br-y")->setValue(heightMm);
        if (byKey)
            QTest::keyClick(d->focusWidget() ? d->focusWidget() : d, Qt::Key_Return);
        return byKey || press(d, "Scan");
    };
}

// The reference scan: scanimage, the same device and settings, as RGB.
QImage scanimage(const QString &mode, double dpi, double widthMm, double heightMm)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SANE_CONFIG_DIR", saneDir());
    p.setProcessEnvironment(env);
    p.start("scanimage", {"-d", "test:0", "--format=pnm", "--mode", mode, "--resolution", QString::number(dpi),
                          "-l", "0", "-t", "0", "-x", QString::number(widthMm), "-y", QString::number(heightMm)});
    // scanimage can be stuck by the test device's cancel too, after it has
    // written the image: what it wrote counts.
    p.waitForFinished(30000);
    const QByteArray pnm = p.readAllStandardOutput(); // and QProcess ends it
    // P4, P5 or P6, grey and colour at 8 or 16 bits, as Qt reads them.
    return QImage::fromData(pnm).convertToFormat(QImage::Format_RGB888);
}

// The scanner library's helper process, while it runs.
pid_t helperProcess()
{
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray stat = readBytes("/proc/" + entry + "/stat");
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (stat.contains("(vintrel-sane)") && fields.value(1).toInt() == getpid())
            return entry.toInt();
    }
    return 0;
}

// A print laid on the glass: its centre and size in millimetres, how far it is turned.
struct Laid {
    QPointF centre;
    QSizeF size;
    double angle;
};

// A photo made on the spot: a band of strong colours crossed by a line of the
// glass's grey, and a dark disc.
QImage photo(QSize size, int seed)
{
    QImage p(size, QImage::Format_RGB32);
    QPainter painter(&p);
    QLinearGradient band(0, 0, size.width(), size.height());
    band.setColorAt(0, QColor::fromHsv(seed * 70 % 360, 220, 200));
    band.setColorAt(1, QColor::fromHsv((seed * 70 + 150) % 360, 220, 90));
    painter.fillRect(p.rect(), band);
    painter.fillRect(QRectF(0, size.height() * 0.3, size.width(), 2), QColor(232, 232, 228)); // the glass's grey
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(size.width() * 0.1, size.height() * 0.6, size.width() * 0.3, size.height() * 0.3));
    return p;
}

// A light grey glass of `mm` at `perMm` pixels a millimetre, with a little
// noise, and the prints laid on it.
QImage glass(QSizeF mm, double perMm, const QList<Laid> &laid, QRandomGenerator &random)
{
    QImage g((mm * perMm).toSize(), QImage::Format_RGB32);
    g.fill(QColor(232, 232, 228));
    QPainter painter(&g);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (qsizetype i = 0; i < laid.size(); ++i) {
        const QSizeF size = laid[i].size * perMm;
        painter.save();
        painter.translate(laid[i].centre * perMm);
        painter.rotate(laid[i].angle);
        painter.drawImage(QRectF(QPointF(-size.width() / 2, -size.height() / 2), size), photo(size.toSize(), int(i)));
        painter.restore();
    }
    painter.end();
    for (int y = 0; y < g.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(g.scanLine(y));
        for (int x = 0; x < g.width(); ++x) {
            auto noisy = [&](int c) { return qBound(0, c + int(random.bounded(13)) - 6, 255); };
            line[x] = qRgb(noisy(qRed(line[x])), noisy(qGreen(line[x])), noisy(qBlue(line[x])));
        }
    }
    return g;
}

// Two to four prints on an A4 glass, one a cell of two by two, each turned by
// up to 10 degrees; the first against the glass's left edge in every other.
QList<Laid> laidAtRandom(QRandomGenerator &random, int count, bool atTheEdge)
{
    QList<Laid> laid;
    for (int i = 0; i < count; ++i) {
        const QSizeF size(40 + random.bounded(40), 40 + random.bounded(70));
        laid << Laid{QPointF(52.5 + 105 * (i % 2), 74 + 148 * (i / 2)), size, random.bounded(20.0) - 10};
    }
    if (atTheEdge && count > 0) {
        const double turn = qDegreesToRadians(std::abs(laid[0].angle));
        laid[0].centre.setX((laid[0].size.width() * std::cos(turn) + laid[0].size.height() * std::sin(turn)) / 2);
    }
    return laid;
}

// SANE's pnm device, whose glass is /tmp/input.ppm, through a copy of the
// library of its own: a library keeps the devices it found a while.
void usePnmDevice()
{
    writeBytes(saneDir() + "/dll.conf", "pnm\n");
    QDir(App::Path()).mkpath("pnm");
    for (const char *file : {"/libvintrelscan.so", "/vintrel-sane"})
        QFile::copy(App::Path() + file, App::Path() + "/pnm" + file);
    ScannerLibrary::loadFrom({App::Path() + "/pnm/libvintrelscan.so"});
}

QStringList pageNow(const Desk &desk)
{
    QStringList all{QString("current %1 saved %2").arg(desk.page.CurPic.value_or(-1)).arg(desk.page.LayoutSaved)};
    for (int i = 0; i < 30; ++i)
        all << desk.slot(i);
    return all;
}

// The files in the program's folder but its own, the library and the test photo.
QStringList filesHere()
{
    QStringList files = QDir(App::Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const char *own : {"tst_scan", "libvintrelscan.so", "vintrel-sane", "photo.png"})
        files.removeAll(own);
    return files;
}

} // namespace

class TestScan : public QObject {
    Q_OBJECT
    const QString ownLibrary = App::Path() + "/libvintrelscan.so";

    void acquire(Desk &desk, QList<QPair<QString, DialogScript::Step>> steps)
    {
        DialogScript script(std::move(steps));
        desk.run("mnuacquire");
    }

private slots:
    void init()
    {
        for (const QString &f : filesHere())
            QFile::remove(App::Path() + '/' + f);
        ScannerLibrary::loadFrom({ownLibrary});
        configure({});
    }

    // The helper checks what it is asked and in what order: it refuses what
    // does not read or comes out of turn, and goes on answering.
    void helperRefusesWhatIsWrong()
    {
        int pair[2];
        QVERIFY(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0);
        QProcess helper;
        helper.setChildProcessModifier([theirs = pair[1]] { dup2(theirs, 3); });
        helper.start(App::Path() + "/vintrel-sane", {});
        close(pair[1]);
        const struct { quint8 ask; QByteArray body; quint8 answer; QByteArray says; } rows[] = {
            {scan::ask::Scan, {}, scan::answer::Done, scan::pack(false, false, QStringLiteral("no device is open"))},
            {scan::ask::Settings, {}, scan::answer::Settings, scan::pack(QList<scan::Setting>())},
            {scan::ask::Open, "\xff\xff\xff", scan::answer::Opened, scan::pack(false, QStringLiteral("the request to open a device could not be read"))},
            {scan::ask::Set, scan::pack(QStringLiteral("mode")) + "?", scan::answer::Set, scan::pack(false, QStringLiteral("the request to set a value could not be read"))},
            {scan::ask::Open, scan::pack(QStringLiteral("test:0")), scan::answer::Opened, scan::pack(true, QString())},
            {scan::ask::Close, {}, scan::answer::Closed, {}},
        };
        scan::Message m;
        QVERIFY(scan::receiveMessage(pair[0], m, 10000) && m.kind == scan::answer::Started);
        for (const auto &r : rows) {
            QVERIFY(scan::sendMessage(pair[0], r.ask, r.body));
            QVERIFY2(scan::receiveMessage(pair[0], m, 10000) && m.kind == r.answer && m.body == r.says, qPrintable(QString::number(r.ask)));
        }
        QVERIFY(scan::sendMessage(pair[0], scan::ask::Quit));
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitCode(), 0);
        close(pair[0]);
    }

    void sourceChoiceIsRemembered()
    {
        Desk desk;
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "vintrel-scan");
        QStringList shown; // the source each dialog offered, then the button pressed
        auto choose = [&](int row, const QString &button) {
            return [&, row, button](QWidget *d) {
                auto *tree = d->findChild<QTreeWidget *>("Sources");
                shown << tree->currentItem()->text(3) + (d->parentWidget() == &desk.form ? "" : " elsewhere");
                tree->setCurrentItem(tree->topLevelItem(row < 0 ? 0 : row));
                return press(d, row < 0 ? "Cancel" : button);
            };
        };
        {
            DialogScript script({{"SourceDialog", choose(-1, "")}, {"SourceDialog", choose(1, "OK")},
                                 {"SourceDialog", choose(0, "Cancel")}, {"SourceDialog", choose(-1, "")}});
            desk.run("mnuSelect"); // nothing remembered: the first
            desk.form.Toolbar1_ButtonClick("Source");
            desk.run("mnuSelect");
            desk.run("mnuSelect");
        }
        QCOMPARE(shown, (QStringList{"test:0", "test:0", "test:1", "test:1"}));
        store.sync();
        QCOMPARE(store.value("Source/name").toString(), "test:1");
        QVERIFY(desk.ui.said().isEmpty());
        store.clear();
    }

    // Every kind of frame SANE delivers ends as the same 24-bit bitmap that
    // scanimage's own output shows.
    void acquiredBitmapMatchesTheScan_data()
    {
        QTest::addColumn<QStringList>("conf");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("reference"); // scanimage's configuration, when not the same
        QTest::newRow("colour") << QStringList{} << "Color" << QStringList{};
        QTest::newRow("colour, 16 bits") << QStringList{"depth 16"} << "Color" << QStringList{};
        QTest::newRow("three passes") << QStringList{"three-pass true"} << "Color" << QStringList{};
        QTest::newRow("three passes, 16 bits") << QStringList{"three-pass true", "depth 16"} << "Color"
                                               << QStringList{"depth 16"}; // scanimage cannot
        QTest::newRow("grey") << QStringList{} << "Gray" << QStringList{};
        QTest::newRow("grey, 16 bits") << QStringList{"depth 16"} << "Gray" << QStringList{};
        QTest::newRow("line art") << QStringList{"depth 1"} << "Gray" << QStringList{};
        QTest::newRow("padded lines") << QStringList{"ppl-loss 3"} << "Color" << QStringList{}; // scanimage keeps the padding
        QTest::newRow("lines not known") << QStringList{"hand-scanner true"} << "Gray" << QStringList{};
    }
    void acquiredBitmapMatchesTheScan()
    {
        QFETCH(QStringList, conf);
        QFETCH(QString, mode);
        QFETCH(QStringList, reference);
        const bool padded = conf.contains("ppl-loss 3"), handHeld = conf.contains("hand-scanner true");
        configure(!reference.isEmpty() ? reference : padded ? QStringList{} : conf);
        QImage expected = scanimage(mode, 75, 30, 20);
        QVERIFY(!expected.isNull());
        if (padded)
            expected = expected.copy(0, 0, expected.width() - 3, expected.height());
        configure(conf);
        Desk desk;
        acquire(desk, {{"ScanDialog", scanning(mode, 75, 30, 20)}});
        const QString file = App::Path() + "/img00001.bmp";
        QCOMPARE(filesHere(), QStringList{"img00001.bmp"});
        const QImage bitmap(file, "BMP");
        QCOMPARE(bitmap.size(), expected.size());
        // Qt rounds 16-bit samples to 8 bits where the bitmap keeps the high byte.
        const QImage got = bitmap.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < got.height(); ++y)
            for (int x = 0; x < got.width() * 3; ++x)
                QVERIFY(qAbs(got.constScanLine(y)[x] - expected.constScanLine(y)[x]) <= 1);
        QCOMPARE(bitmap.dotsPerMeterX(), qRound(75 / 0.0254));
        QCOMPARE(readBytes(file).mid(28, 2), QByteArray("\x18\x00", 2)); // 24 bits a pixel, no palette
        // On the page as a new photo, at the size the picture loader gives it.
        QCOMPARE(desk.page.CurPic, 0);
        QVERIFY(!desk.page.LayoutSaved);
        if (handHeld) // 11 cm long and more: shrunk as an acquired photo is
            QVERIFY(desk.page.Pic(0).Width() < 1500 && desk.page.Pic(0).Height() > 1500);
        else
            QCOMPARE(desk.slot(0), QString("used shown picture img00001.bmp at 840,600 %1x%2 rank 1")
                                   .arg(bitmap.width() * 15).arg(bitmap.height() * 15));
        QVERIFY(desk.ui.said().isEmpty());
    }

    // Return scans; the bitmap gets the mode any new file of the user gets; the
    // photo placed is one step to undo; the dialog shows the values last used.
    void acquiresIntoTheFirstFreeNumber()
    {
        writeBytes(App::Path() + "/img00001.bmp", "taken");
        writeBytes(App::Path() + "/img00003.bmp", "taken");
        Desk desk;
        const mode_t mask = umask(027);
        acquire(desk, {{"ScanDialog", scanning("Color", 100, 10, 10, true)}});
        umask(mask);
        QCOMPARE(filesHere(), (QStringList{"img00001.bmp", "img00002.bmp", "img00003.bmp"}));
        QCOMPARE(QFileInfo(App::Path() + "/img00002.bmp").permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner |
                 QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
        // One step to undo: the photo goes, its file stays.
        QCOMPARE(desk.form.command("mnuUndo")->text(), "&Undo Acquire Photo");
        desk.run("mnuUndo");
        QVERIFY(!desk.page.PicUsed[0] && QFile::exists(App::Path() + "/img00002.bmp"));
        // The dialog shows what was used last time on this device.
        double dpi = 0;
        acquire(desk, {{"ScanDialog", [&](QWidget *d) {
                            dpi = d->findChild<QDoubleSpinBox *>("resolution")->value();
                            return press(d, "Cancel");
                        }}});
        QCOMPARE(dpi, 100.0);
        QCOMPARE(filesHere().size(), 3);
    }

    // A disk too full for the bitmap is said in figures that make it true.
    void diskTooFullSaysHowMuch()
    {
        QCOMPARE(scan::BmpWriter::diskTooFull(300 << 10, 930 << 10), "The disk holds 300 kB more, and the image needs 930 kB.");
        QCOMPARE(scan::BmpWriter::diskTooFull((10 << 20) - 1, (10 << 20) + 1),
                 "The disk holds 9 MB more, and the image needs 11 MB.");
    }

    // No scanner (a library without SANE's functions or without its helper, a
    // helper that answers nothing, no device), Cancel before or while
    // scanning, a device that fails and one that declares more than a bitmap
    // the program can place: no file, the page as it was; only the failure is
    // told, by the library, or that there is no device, by the program.
    void unfinishedScanLeavesNothing_data()
    {
        QTest::addColumn<QStringList>("conf"); // the test device's, the glass of the pnm device, or the library
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("told"); // in the library's message, when it shows one
        const QStringList slow{"read-delay true", "read-delay-duration 20000"};
        QTest::newRow("library without the functions")
            << QStringList{QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6"} << "no scanner" << "";
        // Copies of the library of their own (a library keeps the devices it
        // found a while): with its helper, without it (it runs SANE in its
        // helper, beside it), and with a helper that answers nothing, ended by
        // Cancel on the busy indication.
        writeBytes(App::Path() + "/stalled/vintrel-sane", "#!/bin/sh\nexec sleep 600\n");
        QFile::setPermissions(App::Path() + "/stalled/vintrel-sane", QFile::ReadOwner | QFile::ExeOwner);
        for (const char *copy : {"/own", "/alone", "/stalled"}) {
            QDir().mkpath(App::Path() + copy);
            QFile::copy(ownLibrary, App::Path() + copy + "/libvintrelscan.so");
        }
        QFile::copy(App::Path() + "/vintrel-sane", App::Path() + "/own/vintrel-sane");
        QTest::newRow("no device") << QStringList{App::Path() + "/own/libvintrelscan.so"} << "no device" << "";
        QTest::newRow("library without its helper") << QStringList{App::Path() + "/alone/libvintrelscan.so"} << "no scanner" << "";
        QTest::newRow("a helper that answers nothing, cancelled")
            << QStringList{App::Path() + "/stalled/libvintrelscan.so"} << "no scanner, stalled" << "";
        QTest::newRow("cancel before") << QStringList{} << "cancel" << "";
        QTest::newRow("cancel while scanning") << slow << "scan, cancel" << "";
        QTest::newRow("paper jam") << QStringList{"read-status-code \"SANE_STATUS_JAMMED\""} << "scan, fails" << "jammed";
        QTest::newRow("no paper") << QStringList{"read-status-code \"SANE_STATUS_NO_DOCS\""} << "scan, fails" << "";
        QTest::newRow("disk full") << QStringList{} << "scan, fails, 1 MB of disk" << "";
        // The driver dies, or stops answering, in the middle of the scan.
        QTest::newRow("driver crashes") << slow << "scan, driver killed, fails"
                                        << "The scan did not succeed: the scanner's driver stopped working";
        QTest::newRow("driver hangs") << slow << "scan, driver stopped, cancel" << "";
        QTest::newRow("grey, 1431655766 pixels a line") << QStringList{"P5\n1431655766 1\n255\n"} << "glass, fails"
                                                        << "1431655766 x 1 pixels, too large to place";
        QTest::newRow("colour, 20000 x 20000") << QStringList{"P6\n20000 20000\n255\n"} << "glass, fails"
                                               << "20000 x 20000 pixels, too large to place";
    }
    void unfinishedScanLeavesNothing()
    {
        QFETCH(QStringList, conf);
        QFETCH(QString, how);
        QFETCH(QString, told);
        const bool none = how.startsWith("no");
        if (how.startsWith("glass"))
            writeBytes("/tmp/input.ppm", conf[0].toLatin1() + QByteArray(64, 'x')), usePnmDevice();
        else if (none)
            ScannerLibrary::loadFrom(conf), configure({}, how != "no device");
        else
            configure(conf);
        Desk desk;
        desk.place(3, writePicture(App::Path() + "/photo.png", {40, 30}, "PNG"), 100, 100, 600, 450);
        desk.page.LayoutSaved = true;
        const QStringList before = pageNow(desk);
        QString said;
        const QPair<QString, DialogScript::Step> telling{"ScannerMessage", [&said](QWidget *d) {
            said = d->findChild<QLabel *>("qt_msgbox_label")->text();
            return press(d, "OK");
        }};
        QList<QPair<QString, DialogScript::Step>> steps;
        if (how.endsWith("stalled"))
            steps = {{"ScannerBusy", pressing("Cancel")}, {"ScannerBusy", pressing("Cancel")}};
        if (how == "cancel")
            steps = {{"ScanDialog", pressing("Cancel")}};
        if (how == "scan, cancel")
            steps = {{"ScanDialog", scanning("Color", 150, 200, 200)}, {"ScanDialog", [](QWidget *d) {
                         auto *bar = d->findChild<QProgressBar *>("ScanProgress");
                         return bar->value() > 0 && press(d, "Cancel");
                     }}};
        if (how.endsWith("fails") || how.endsWith("disk"))
            steps = {{"ScanDialog", how.startsWith("glass") ? pressing("Scan") : scanning("Color", 300, 100, 100)}, telling};
        if (how.startsWith("scan, driver")) {
            const int signal = how.contains("killed") ? SIGKILL : SIGSTOP;
            steps = {{"ScanDialog", scanning("Color", 150, 200, 200)}, {"ScanDialog", [signal](QWidget *d) {
                         const pid_t helper = helperProcess(); // never 0: that is this process's group
                         if (d->findChild<QProgressBar *>("ScanProgress")->value() <= 0 || helper <= 0)
                             return false;
                         kill(helper, signal);
                         return signal == SIGKILL || press(d, "Cancel");
                     }}};
            if (signal == SIGKILL)
                steps << telling;
        }
        QElapsedTimer waited;
        waited.start();
        {
            // A full disk, as a file-size limit: writes beyond it fail (EFBIG).
            const Limit disk(RLIMIT_FSIZE, 1 << 20, how.endsWith("1 MB of disk"));
            DialogScript script(steps);
            if (none) // Select Source says so too
                desk.run("mnuSelect");
            desk.form.Toolbar1_ButtonClick("Acquire");
        }
        QVERIFY2(waited.elapsed() < 60000, "Cancel did not end the wait"); // it ends it in half a second
        QVERIFY2(said.contains(told), qPrintable(said));
        QTRY_COMPARE_WITH_TIMEOUT(helperProcess(), 0, 10000); // ended, whatever became of it
        QTRY_VERIFY(QProcess::execute("pgrep", {"-f", "sleep 600"}) != 0);
        QCOMPARE(pageNow(desk), before);
        QCOMPARE(filesHere(), QStringList());
        QCOMPARE(desk.ui.said(), none ? QStringList(2, "stop: No TWAIN devices found.") : QStringList());
    }

    // Find photos through the real dialog on a glass the test composes (SANE's
    // pnm device): each print its own numbered bitmap and its own slot, any
    // dropped with a click left out, a full page keeping the files; a glass
    // without prints scanned whole.
    void findsThePrintsAndPlacesEach_data()
    {
        QTest::addColumn<int>("prints");
        QTest::addColumn<int>("dropped"); // the print clicked away, or -1
        QTest::addColumn<int>("used");    // slots in use before
        QTest::newRow("three prints") << 3 << -1 << 0;
        QTest::newRow("one dropped") << 3 << 1 << 0;
        QTest::newRow("a full page keeps the files") << 4 << -1 << 29;
        QTest::newRow("no print") << 0 << -1 << 0;
    }
    void findsThePrintsAndPlacesEach()
    {
        QFETCH(int, prints);
        QFETCH(int, dropped);
        QFETCH(int, used);
        QRandomGenerator random(prints + dropped);
        const double perMm = 100 / 25.4;
        const QList<Laid> laid = laidAtRandom(random, prints, true);
        QVERIFY(glass({210, 297}, perMm, laid, random).save("/tmp/input.ppm", "PPM"));
        usePnmDevice();
        Desk desk;
        for (int i = 0; i < used; ++i)
            desk.place(i, writePicture(App::Path() + "/photo.png", {40, 30}, "PNG"), 0, 0, 600, 450);
        int found = -1;
        acquire(desk, {{"ScanDialog", [&](QWidget *d) {
                            auto *pane = d->findChild<QWidget *>("Glass");
                            if (pane->property("picture").value<QImage>().isNull())
                                return false; // the preview comes first
                            d->findChild<QCheckBox *>("FindPhotos")->setChecked(true);
                            found = pane->property("prints").toInt();
                            if (dropped >= 0) {
                                const QRectF on = pane->property("glass").toRectF();
                                const QPointF at = laid[dropped].centre;
                                QTest::mouseClick(pane, Qt::LeftButton, {}, QPoint(int(on.left() + at.x() / 210 * on.width()),
                                                                                   int(on.top() + at.y() / 297 * on.height())));
                            }
                            // Return scans, the keyboard on Find photos.
                            d->findChild<QCheckBox *>("FindPhotos")->setFocus();
                            QTest::keyClick(d->focusWidget(), Qt::Key_Return);
                            return true;
                        }}});
        QCOMPARE(found, prints);
        QList<Laid> kept = laid;
        if (dropped >= 0)
            kept.removeAt(dropped);
        const QStringList files = filesHere().filter(QRegularExpression("^img\\d{5}\\.bmp$"));
        QCOMPARE(files.size(), std::max<qsizetype>(1, kept.size()));
        for (qsizetype i = 0; i < kept.size(); ++i) { // each cut out straight: as the photo laid
            const QImage cut(App::Path() + '/' + files[i]);
            const QSize size = cut.size();
            QVERIFY2(std::abs(size.width() / perMm - kept[i].size.width()) <= 3 &&
                     std::abs(size.height() / perMm - kept[i].size.height()) <= 3, qPrintable(files[i]));
            QVERIFY2(difference(cut, photo(size, int(dropped >= 0 && i >= dropped ? i + 1 : i))) < 8, qPrintable(files[i]));
            if (used + i < 30) { // shrunk as an acquired photo is
                const ImageControl &pic = desk.page.Pic(used + int(i));
                const QSizeF shrunk = acquiredSize(size.width() * 15.0f, size.height() * 15.0f, float(size.width()) / size.height());
                QVERIFY(std::abs(pic.Width() - shrunk.width()) < 1 && std::abs(pic.Height() - shrunk.height()) < 1);
            }
        }
        for (int i = used; i < 30; ++i)
            QCOMPARE(desk.page.PicUsed[i], i - used < files.size());
        QCOMPARE(desk.page.PicFile[used], App::Path() + "/img00001.bmp");
        QCOMPARE(desk.ui.said(), used + files.size() > 30 ? QStringList{"information: Maximum images exceeded"} : QStringList());
        // Found again next time: the choice is kept.
        bool finding = false;
        acquire(desk, {{"ScanDialog", [&](QWidget *d) {
                            finding = d->findChild<QCheckBox *>("FindPhotos")->isChecked();
                            return press(d, "Cancel");
                        }}});
        QVERIFY(finding);
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "vintrel-scan").remove("Device-pnm%3A0");
    }

    // The preview is the whole glass at the lowest resolution from 50 dpi, and a
    // rectangle dragged on it is the area scanned.
    void previewSetsTheArea()
    {
        Desk desk;
        QSize previewed;
        QList<double> area;
        acquire(desk, {{"ScanDialog", [&](QWidget *d) {
                            auto *pane = d->findChild<QWidget *>("Glass");
                            const QImage picture = pane->property("picture").value<QImage>();
                            if (picture.isNull())
                                return false;
                            previewed = picture.size();
                            const QRectF on = pane->property("glass").toRectF();
                            auto at = [&](double x, double y) { return (on.topLeft() + QPointF(x * on.width(), y * on.height())).toPoint(); };
                            QTest::mousePress(pane, Qt::LeftButton, {}, at(0.25, 0.25));
                            QTest::mouseMove(pane, at(0.4, 0.6));
                            QTest::mouseRelease(pane, Qt::LeftButton, {}, at(0.5, 0.75));
                            for (const char *name : {"tl-x", "tl-y", "br-x", "br-y"})
                                area << d->findChild<QDoubleSpinBox *>(name)->value();
                            d->findChild<QDoubleSpinBox *>("resolution")->setValue(25);
                            return press(d, "Scan");
                        }}});
        QVERIFY(std::abs(previewed.width() - 200 / 25.4 * 50) <= 1 && previewed.width() == previewed.height());
        const QList<double> expected{50, 50, 100, 150};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(std::abs(area[i] - expected[i]) <= 1, qPrintable(QString::number(area[i])));
        const QSize scanned = QImage(App::Path() + "/img00001.bmp").size();
        QVERIFY(std::abs(scanned.width() - 50 / 25.4 * 25) <= 1 && std::abs(scanned.height() - 100 / 25.4 * 25) <= 1);
    }
};

// Run through tests/scan/run.sh, which gives it a scratch folder of its own.
int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("VINTREL_SCAN_COPY"))
        return std::fprintf(stderr, "run tst_scan through tests/scan/run.sh\n"), 1;
    isolateEnvironment();
    QApplication app(argc, argv);
    TestScan tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_scan.moc"
