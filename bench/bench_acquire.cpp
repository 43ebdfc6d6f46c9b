// Acquire through the real scanner library, in two parts, each against
// scanimage scanning the same area to a file, interleaved in the same run:
//  1. SANE's test device, its largest area (200 x 200 mm) in colour at 300 dpi:
//     the wall time from Scan to the photo on the page, and the program's peak
//     memory above its idle size.
//  2. Find photos: SANE's pnm device with an A4 glass at 300 dpi holding four
//     prints cut from a real photograph, turned by a few degrees. The same scan
//     with Find photos on and off: what finding and cutting the prints adds, and
//     the scan's own time against scanimage.
// Prints min/median/max of a few rounds and the ratios.
//   build/bench/bench_acquire [rounds]
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "layout/page.h"
#include "scan/scanner.h"

using namespace vintrel::bench;

namespace {

// The pnm device's glass: A4 at 300 dpi, light grey with a little noise, four
// prints of 3.5 x 5 inches from the photograph, turned 0, 3, -4 and 6 degrees.
void layGlass(const QString &ppm)
{
    QImage glass(2480, 3508, QImage::Format_RGB32);
    glass.fill(QColor(232, 232, 228));
    const QImage photograph = QImage(QString::fromLatin1(kPhotograph)).convertToFormat(QImage::Format_RGB32);
    QPainter painter(&glass);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double turns[] = {0, 3, -4, 6};
    for (int i = 0; i < 4; ++i) {
        const QImage print = photograph.isNull() ? QImage(1050, 1500, QImage::Format_RGB32)
                                                 : photograph.copy(i * 300, i * 100, 1050, 1500);
        painter.save();
        painter.translate(620 + 1240 * (i % 2), 877 + 1754 * (i / 2));
        painter.rotate(turns[i]);
        painter.drawImage(QPointF(-525, -750), print);
        painter.restore();
    }
    painter.end();
    QRandomGenerator random(4);
    for (int y = 0; y < glass.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(glass.scanLine(y));
        for (int x = 0; x < glass.width(); ++x) {
            const int n = int(random.bounded(13)) - 6;
            line[x] = qRgb(qBound(0, qRed(line[x]) + n, 255), qBound(0, qGreen(line[x]) + n, 255), qBound(0, qBlue(line[x]) + n, 255));
        }
    }
    glass.save(ppm, "PPM");
}

double scanimageMs(const QString &out, const QStringList &arguments)
{
    QProcess scanimage;
    scanimage.setStandardOutputFile(out);
    QElapsedTimer t;
    t.start();
    scanimage.start("scanimage", QStringList{"--format=pnm"} + arguments);
    if (!scanimage.waitForFinished(30000)) { // SANE's test device now and then leaves it hanging
        std::printf("scanimage hung: the round is left out\n");
        scanimage.kill();
        scanimage.waitForFinished();
        return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

void add(Figures &figures, double ms)
{
    if (ms >= 0)
        figures.ms << ms;
}

} // namespace

int main(int argc, char **argv)
{
    offscreenByDefault();
    QTemporaryDir sane, config;
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(sane.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path())); // the library's choice of device and values
    {
        QFile dll(sane.filePath("dll.conf")), conf(sane.filePath("test.conf"));
        dll.open(QIODevice::WriteOnly) && dll.write("test\npnm\n");
        conf.open(QIODevice::WriteOnly) && conf.write("number_of_devices 1\nmode Color\ntest-picture \"Color pattern\"\n");
    }
    const QString glassFile = QStringLiteral("/tmp/input.ppm"); // where the pnm device reads its glass
    layGlass(glassFile);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    vintrel::ScannerLibrary::loadFrom({QStringLiteral(VINTREL_SCANLIB)});
    QSettings library(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "vintrel-scan");

    BenchUi ui;
    vintrel::frmMain form(ui);
    form.show();

    QElapsedTimer t;
    QTimer answer; // sets each scan dialog once, its preview there, and presses Scan
    QPointer<QWidget> answered;
    std::function<void(QWidget *)> settings;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget *d = QApplication::activeModalWidget();
        if (!d || d->objectName() != "ScanDialog" || d == answered ||
            d->findChild<QWidget *>("Glass")->property("picture").value<QImage>().isNull())
            return;
        answered = d;
        settings(d);
        resetPeak();
        t.start();
        d->findChild<QPushButton *>("Scan")->click();
    });
    answer.start(5);
    QTemporaryDir out;
    // One Acquire, timed from Scan; the photos it placed counted, its bitmaps removed.
    int placed = 0;
    auto acquire = [&] {
        form.command("mnuacquire")->trigger();
        const double ms = t.nsecsElapsed() / 1e6;
        placed = int(std::count(form.page().PicUsed.begin(), form.page().PicUsed.end(), true));
        form.command("mnuNew")->trigger();
        for (const QString &f : QDir(vintrel::acquiredFolder()).entryList({"img*.bmp"}))
            QFile::remove(vintrel::acquiredFolder() + '/' + f);
        return ms;
    };

    Figures ours, reference;
    long peakAboveIdle = 0;
    library.setValue("Source/name", "test:0");
    settings = [](QWidget *d) {
        auto *mode = d->findChild<QComboBox *>("mode");
        mode->setCurrentIndex(mode->findData("Color"));
        d->findChild<QDoubleSpinBox *>("resolution")->setValue(300);
        for (const char *edge : {"tl-x", "tl-y"})
            d->findChild<QDoubleSpinBox *>(edge)->setValue(0);
        for (const char *edge : {"br-x", "br-y"})
            d->findChild<QDoubleSpinBox *>(edge)->setValue(200);
    };
    for (int r = 0; r < rounds; ++r) {
        ours.ms << acquire();
        peakAboveIdle = std::max(peakAboveIdle, statusKb("VmHWM:") - statusKb("VmRSS:"));
        add(reference, scanimageMs(out.filePath("scan.pnm"), {"-d", "test:0", "--mode", "Color", "--resolution", "300",
                                                              "-l", "0", "-t", "0", "-x", "200", "-y", "200"}));
    }
    std::printf("Acquire 200 x 200 mm, colour, 300 dpi, %d rounds\n", rounds);
    ours.print("Scan to photo on the page");
    reference.print("scanimage to a file");
    printRatio("ratio (median)", ours.median(), reference.median(), 1.2);
    std::printf("%-34s %.1f MB (at most 60 MB)\n", "peak memory above idle", peakAboveIdle / 1024.0);

    Figures finding, whole, plain;
    library.setValue("Source/name", "pnm:0");
    bool find = false;
    settings = [&](QWidget *d) {
        auto *dpi = d->findChild<QComboBox *>("resolution");
        dpi->setCurrentIndex(dpi->findData(300.0));
        d->findChild<QCheckBox *>("FindPhotos")->setChecked(find);
    };
    for (int r = 0; r < rounds; ++r) {
        find = true;
        finding.ms << acquire();
        if (placed != 4)
            std::printf("found %d prints, not 4\n", placed);
        find = false;
        whole.ms << acquire();
        add(plain, scanimageMs(out.filePath("scan.pnm"), {"-d", "pnm:0", "--resolution", "300"}));
    }
    std::printf("\nFind photos on an A4 glass at 300 dpi, four prints, %d rounds\n", rounds);
    finding.print("Scan, Find photos on");
    whole.print("Scan, Find photos off");
    plain.print("scanimage to a file");
    std::printf("%-34s %.0f ms (at most 500 ms)\n", "finding and cutting (on - off)", finding.median() - whole.median());
    printRatio("scan ratio (off / scanimage)", whole.median(), plain.median(), 1.5);
    QFile::remove(glassFile);
    return 0;
}
