// Select Source and Acquire through the real scanner library on SANE's own
// "test" device, enabled alone by a private SANE configuration. The library's
// dialogs are answered as a user would: find the modal dialog, set its
// controls, press its buttons. Bitmaps are checked against what scanimage
// writes for the same scan.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <functional>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLibraryInfo>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>

#include "layout/page.h"
#include "platform/app.h"
#include "scan/scanner.h"
#include "testsupport.h"

extern char **environ;

using namespace vintrel;
using namespace vintrel::test;

namespace {

QString saneDir() { return App::Path() + "/sane"; }

// The test device's configuration: the defaults below, changed by `changes`.
void configure(const QStringList &changes, bool enabled = true)
{
    QMap<QString, QString> conf{{"number_of_devices", "2"}, {"mode", "Color"}, {"depth", "8"},
                                {"three-pass", "false"}, {"hand-scanner", "false"},
                                {"test-picture", "\"Color pattern\""}, {"read-status-code", "\"Default\""},
                                {"read-delay", "false"}, {"ppl-loss", "0"}, {"resolution", "50"},
                                {"br_x", "20"}, {"br_y", "20"}};
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
// A dialog no step expects is closed, and fails the test.
class DialogScript : public QObject {
public:
    using Step = std::function<bool(QWidget *)>;
    DialogScript(QList<QPair<QString, Step>> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            if (!m_steps.isEmpty() && modal->objectName() == m_steps.first().first) {
                if (m_steps.first().second(modal)) {
                    m_steps.removeFirst();
                    m_actedOn = modal;
                }
            } else if (modal != m_actedOn) { // one busy with what it was told (a scan) stays up a while
                if (!m_unexpected.contains(modal->objectName()))
                    m_unexpected << modal->objectName();
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

// The scan dialog's settings, then Scan.
DialogScript::Step scanning(const QString &mode, double dpi, double widthMm, double heightMm)
{
    return [=](QWidget *d) {
        auto *box = d->findChild<QComboBox *>("mode");
        box->setCurrentIndex(box->findData(mode));
        d->findChild<QDoubleSpinBox *>("resolution")->setValue(dpi);
        d->findChild<QDoubleSpinBox *>("tl-x")->setValue(0);
        d->findChild<QDoubleSpinBox *>("tl-y")->setValue(0);
        d->findChild<QDoubleSpinBox *>("br-x")->setValue(widthMm);
        d->findChild<QDoubleSpinBox *>("br-y")->setValue(heightMm);
        return press(d, "Scan");
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
    p.waitForFinished(60000);
    const QByteArray pnm = p.readAllStandardOutput();
    // P4 (1 bit, 1 is black), P5 (grey) or P6 (RGB), 8 or 16 bits big-endian;
    // comments may come between the header's words.
    qsizetype at = 0;
    auto word = [&] {
        while (at < pnm.size() && (QChar(pnm[at]).isSpace() || pnm[at] == '#'))
            at = pnm[at] != '#' ? at + 1 : pnm.indexOf('\n', at) < 0 ? pnm.size() : pnm.indexOf('\n', at);
        const qsizetype start = at;
        while (at < pnm.size() && !QChar(pnm[at]).isSpace())
            ++at;
        return pnm.mid(start, at - start);
    };
    const QByteArray magic = word();
    const int w = word().toInt(), h = word().toInt();
    const bool bits = magic == "P4";
    const int channels = magic == "P6" ? 3 : 1, bytes = !bits && word().toInt() > 255 ? 2 : 1;
    ++at; // the one blank before the data
    const auto *data = reinterpret_cast<const uchar *>(pnm.constData() + at);
    QImage image(w, h, QImage::Format_RGB888);
    const qsizetype stride = bits ? (w + 7) / 8 : qsizetype(w) * channels * bytes;
    if (pnm.size() - at < stride * h)
        return {};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uchar *line = data + y * stride;
            uchar rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = bits ? ((line[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255)
                              : line[(qsizetype(x) * channels + (channels == 3 ? c : 0)) * bytes];
            image.setPixel(x, y, qRgb(rgb[0], rgb[1], rgb[2]));
        }
    return image;
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
    for (const char *own : {"tst_scan", "libvintrelscan.so", "photo.png"})
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
        desk.form.mnuacquire_Click();
    }

private slots:
    void init()
    {
        for (const QString &f : filesHere())
            QFile::remove(App::Path() + '/' + f);
        QFile::remove(App::Path() + "/photo.png");
        ScannerLibrary::LoadFrom({ownLibrary});
        configure({});
    }

    void withoutScannerNothingHappens_data()
    {
        QTest::addColumn<QStringList>("library");
        QTest::addColumn<bool>("devices");
        QTest::newRow("no library") << QStringList{App::Path() + "/absent.so"} << true;
        QTest::newRow("library without the functions")
            << QStringList{QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6"} << true;
        QTest::newRow("no device") << QStringList{ownLibrary} << false;
    }
    void withoutScannerNothingHappens()
    {
        QFETCH(QStringList, library);
        QFETCH(bool, devices);
        ScannerLibrary::LoadFrom(library);
        configure({}, devices);
        Desk desk;
        const QStringList before = pageNow(desk);
        desk.form.mnuSelect_Click();
        desk.form.Toolbar1_ButtonClick("Acquire");
        QCOMPARE(desk.ui.said(), QStringList(2, "stop: No TWAIN devices found."));
        QCOMPARE(pageNow(desk), before);
        QVERIFY(filesHere().isEmpty());
    }

    void sourceChoiceIsRemembered()
    {
        Desk desk;
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "vintrel-scan");
        auto choose = [](int row, const QString &button) {
            return [=](QWidget *d) {
                auto *tree = d->findChild<QTreeWidget *>("Sources");
                tree->setCurrentItem(tree->topLevelItem(row));
                return press(d, button);
            };
        };
        QString shown;
        QWidget *owner = nullptr;
        auto note = [&](QWidget *d) {
            owner = d->parentWidget();
            shown = d->findChild<QTreeWidget *>("Sources")->currentItem()->text(3);
            return press(d, "Cancel");
        };
        {
            DialogScript script({{"SourceDialog", note}, {"SourceDialog", choose(1, "OK")}});
            desk.form.mnuSelect_Click(); // nothing remembered: the first
            desk.form.Toolbar1_ButtonClick("Source");
        }
        QCOMPARE(shown, "test:0");
        QCOMPARE(owner, &desk.form);
        store.sync();
        QCOMPARE(store.value("Source/name").toString(), "test:1");
        {
            DialogScript script({{"SourceDialog", note}, {"SourceDialog", choose(0, "Cancel")}, {"SourceDialog", note}});
            desk.form.mnuSelect_Click();
            desk.form.mnuSelect_Click();
            desk.form.mnuSelect_Click();
        }
        QCOMPARE(shown, "test:1");
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
        if (!handHeld) { // a hand scanner is 11 cm wide, its length known at the end
            QVERIFY(qAbs(expected.width() + 3 * padded - 30 / 25.4 * 75) <= 1);
            QVERIFY(qAbs(expected.height() - 20 / 25.4 * 75) <= 1);
        }
        configure(conf);
        Desk desk;
        acquire(desk, {{"ScanDialog", scanning(mode, 75, 30, 20)}});
        const QString file = App::Path() + "/img00001.bmp";
        QCOMPARE(filesHere(), QStringList{"img00001.bmp"});
        const QImage bitmap(file, "BMP");
        QCOMPARE(bitmap.format(), QImage::Format_RGB32); // 24 bits a pixel, no palette
        QCOMPARE(bitmap.size(), expected.size());
        QVERIFY(bitmap.convertToFormat(QImage::Format_RGB888) == expected);
        QCOMPARE(bitmap.dotsPerMeterX(), qRound(75 / 0.0254));
        QCOMPARE(readBytes(file).mid(28, 2), QByteArray("\x18\x00", 2));
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

    void acquiresIntoTheFirstFreeNumber()
    {
        writeBytes(App::Path() + "/img00001.bmp", "taken");
        writeBytes(App::Path() + "/img00003.bmp", "taken");
        Desk desk;
        acquire(desk, {{"ScanDialog", scanning("Color", 100, 10, 10)}});
        QCOMPARE(filesHere(), (QStringList{"img00001.bmp", "img00002.bmp", "img00003.bmp"}));
        // The dialog shows what was used last time on this device.
        double dpi = 0;
        acquire(desk, {{"ScanDialog", [&](QWidget *d) {
                            dpi = d->findChild<QDoubleSpinBox *>("resolution")->value();
                            return press(d, "Cancel");
                        }}});
        QCOMPARE(dpi, 100.0);
        QCOMPARE(filesHere().size(), 3);
    }

    // Cancel, before or while scanning, and a device that fails: no file, the
    // page as it was; only the failure is told, by the library.
    void unfinishedScanLeavesNothing_data()
    {
        QTest::addColumn<QStringList>("conf");
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel before") << QStringList{} << "cancel";
        QTest::newRow("cancel while scanning") << QStringList{"read-delay true", "read-delay-duration 20000"}
                                               << "scan, cancel";
        QTest::newRow("paper jam") << QStringList{"read-status-code \"SANE_STATUS_JAMMED\""} << "scan, fails";
        QTest::newRow("no paper") << QStringList{"read-status-code \"SANE_STATUS_NO_DOCS\""} << "scan, fails";
        QTest::newRow("disk full") << QStringList{} << "scan, fails, 1 MB of disk";
    }
    void unfinishedScanLeavesNothing()
    {
        QFETCH(QStringList, conf);
        QFETCH(QString, how);
        // SANE's test device stops a cancelled reader thread wherever it is, even
        // inside malloc, which can leave a heap lock taken for the next scan in
        // the same process: that row runs in a process of its own.
        if (how == "scan, cancel" && !qEnvironmentVariableIsSet("VINTREL_SCAN_ALONE"))
            QSKIP("runs alone: tst_scan_cancel");
        configure(conf);
        Desk desk;
        desk.place(3, writePicture(App::Path() + "/photo.png", {40, 30}, "PNG"), 100, 100, 600, 450);
        desk.page.LayoutSaved = true;
        const QStringList before = pageNow(desk);
        QList<QPair<QString, DialogScript::Step>> steps;
        if (how == "cancel")
            steps = {{"ScanDialog", pressing("Cancel")}};
        if (how == "scan, cancel")
            steps = {{"ScanDialog", scanning("Color", 150, 200, 200)}, {"ScanDialog", [](QWidget *d) {
                         auto *bar = d->findChild<QProgressBar *>("ScanProgress");
                         return bar->value() > 0 && press(d, "Cancel");
                     }}};
        if (how.startsWith("scan, fails"))
            steps = {{"ScanDialog", scanning("Color", 300, 100, 100)}, {"ScannerMessage", pressing("OK")}};
        // A full disk, as a file-size limit: writes beyond it fail (EFBIG).
        rlimit unlimited{}, limited{1 << 20, 1 << 20};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, SIG_IGN);
        if (how.endsWith("1 MB of disk"))
            setrlimit(RLIMIT_FSIZE, &limited);
        acquire(desk, steps);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(pageNow(desk), before);
        QCOMPARE(filesHere(), QStringList());
        QVERIFY(desk.ui.said().isEmpty());
    }

    void fullPageStillKeepsTheFile()
    {
        Desk desk;
        const QString photo = writePicture(App::Path() + "/photo.png", {40, 30}, "PNG");
        for (int i = 0; i < 30; ++i)
            desk.place(i, photo, 0, 0, 600, 450);
        desk.page.LayoutSaved = true;
        acquire(desk, {{"ScanDialog", scanning("Color", 50, 10, 10)}});
        QCOMPARE(filesHere(), QStringList{"img00001.bmp"});
        QCOMPARE(desk.ui.said(), QStringList{"information: Maximum images exceeded"});
        QVERIFY(!desk.page.LayoutSaved);
        QCOMPARE(std::count(desk.page.PicFile.begin(), desk.page.PicFile.end(), photo), 30);
    }

    // 10 twips of height a pass, the width by the ratio, single precision,
    // while both sides are at least 1500 twips.
    void largeAcquiredPhotoIsShrunk_data()
    {
        QTest::addColumn<QSizeF>("natural");
        QTest::addColumn<QSizeF>("shrunk");
        QTest::newRow("landscape") << QSizeF(3000, 2250) << QSizeF(1986.67, 1490);
        QTest::newRow("upright") << QSizeF(2250, 3000) << QSizeF(1492.5, 1990);
        QTest::newRow("square at the threshold") << QSizeF(1500, 1500) << QSizeF(1490, 1490);
        QTest::newRow("wide at the threshold") << QSizeF(3000, 1500) << QSizeF(2980, 1490);
        QTest::newRow("one side already small") << QSizeF(5000, 1400) << QSizeF(5000, 1400);
    }
    void largeAcquiredPhotoIsShrunk()
    {
        QFETCH(QSizeF, natural);
        QFETCH(QSizeF, shrunk);
        Page page;
        page.Pic(5).setWidth(natural.width());
        page.Pic(5).setHeight(natural.height());
        page.PicRatioWH[5] = Ratio::single(float(natural.width() / natural.height()));
        ShrinkAcquired(page, 5);
        QCOMPARE(qRound(page.Pic(5).Width() * 100), qRound(shrunk.width() * 100));
        QCOMPARE(page.Pic(5).Height(), float(shrunk.height()));
    }
};

// Acquired photos go to the program's own folder, where the scanner library is
// also looked for first: the test runs as a copy of itself in a scratch
// folder, beside a copy of the library, with SANE configured from there.
int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("VINTREL_SCAN_COPY")) {
        char folder[] = "/tmp/vintrel-scan-XXXXXX";
        if (!mkdtemp(folder))
            return 1;
        const QString copy = QString(folder) + "/tst_scan";
        if (!QFile::copy("/proc/self/exe", copy) || !QFile::copy(VINTREL_SCANLIB, QString(folder) + "/libvintrelscan.so"))
            return 1;
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(folder).mkdir("sane");
        qputenv("VINTREL_SCAN_COPY", "1");
        qputenv("SANE_CONFIG_DIR", QByteArray(folder) + "/sane");
        const QByteArray path = QFile::encodeName(copy);
        argv[0] = const_cast<char *>(path.constData());
        pid_t child;
        int status = 1;
        if (posix_spawn(&child, path.constData(), nullptr, nullptr, argv, environ) == 0)
            waitpid(child, &status, 0);
        QDir(folder).removeRecursively();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    isolateEnvironment();
    QApplication app(argc, argv);
    TestScan tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_scan.moc"
