// Acquire from SANE's test device, its largest area (200 x 200 mm) in colour at
// 300 dpi: the wall time from Scan to the photo on the page, against scanimage
// writing the same scan to a file, and the program's peak memory above its idle
// size. Prints min/median/max of a few rounds and the ratio, all from this run.
//   build/bench/bench_acquire [rounds]
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/frmmain.h"
#include "benchsupport.h"
#include "layout/page.h"
#include "platform/app.h"
#include "platform/ui.h"
#include "scan/scanner.h"

namespace {

// Kilobytes of the process's resident size ("VmRSS") or its peak ("VmHWM").
long statusKb(const char *field)
{
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toLong();
    return 0;
}
void resetPeak() { QFile f("/proc/self/clear_refs"); f.open(QIODevice::WriteOnly) && f.write("5"); }

struct Figures {
    QList<double> ms;
    void print(const char *what) const
    {
        QList<double> s = ms;
        std::sort(s.begin(), s.end());
        std::printf("%-26s min %7.0f  median %7.0f  max %7.0f ms\n", what, s.first(), s[s.size() / 2], s.last());
    }
    double median() const { QList<double> s = ms; std::sort(s.begin(), s.end()); return s[s.size() / 2]; }
};

} // namespace

int main(int argc, char **argv)
{
    vintrel::bench::offscreenByDefault();
    QTemporaryDir sane;
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(sane.path()));
    {
        QFile dll(sane.filePath("dll.conf")), conf(sane.filePath("test.conf"));
        dll.open(QIODevice::WriteOnly) && dll.write("test\n");
        conf.open(QIODevice::WriteOnly) && conf.write("number_of_devices 1\nmode Color\ntest-picture \"Color pattern\"\n");
    }
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    vintrel::ScannerLibrary::loadFrom({QStringLiteral(VINTREL_SCANLIB)});

    struct QuietUi : vintrel::Ui {
        vintrel::MsgAnswer messageBox(const QString &, const QString &text, vintrel::MsgButtons buttons,
                                      vintrel::MsgIcon, const QString &) override
        {
            if (buttons == vintrel::MsgButtons::YesNo) // New's question
                return vintrel::MsgAnswer::Yes;
            std::printf("message: %s\n", qPrintable(text));
            return vintrel::MsgAnswer::Ok;
        }
        std::optional<QStringList> fileDialog(const vintrel::FileDialogRequest &) override { return {}; }
        bool printDialog(QPrinter &, int, bool &) override { return false; }
        void printPreview(QPrinter &, bool &, const PaintSheet &) override {}
        QPoint cursorPos() override { return {}; }
        bool startProgram(const QString &, const QStringList &) override { return false; }
        bool openUrl(const QUrl &) override { return false; }
    } ui;
    vintrel::frmMain form(ui);
    form.show();

    Figures ours, reference;
    long peakAboveIdle = 0;
    QElapsedTimer t;
    QTimer answer; // sets each scan dialog once and presses Scan
    QPointer<QWidget> answered;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget *d = QApplication::activeModalWidget();
        if (!d || d->objectName() != "ScanDialog" || d == answered)
            return;
        answered = d;
        auto *mode = d->findChild<QComboBox *>("mode");
        mode->setCurrentIndex(mode->findData("Color"));
        d->findChild<QDoubleSpinBox *>("resolution")->setValue(300);
        for (const char *edge : {"tl-x", "tl-y"})
            d->findChild<QDoubleSpinBox *>(edge)->setValue(0);
        for (const char *edge : {"br-x", "br-y"})
            d->findChild<QDoubleSpinBox *>(edge)->setValue(200);
        resetPeak();
        t.start();
        d->findChild<QPushButton *>("Scan")->click();
    });
    answer.start(10);
    QTemporaryDir out;
    for (int r = 0; r < rounds; ++r) {
        form.command("mnuacquire")->trigger();
        ours.ms << t.nsecsElapsed() / 1e6;
        peakAboveIdle = std::max(peakAboveIdle, statusKb("VmHWM:") - statusKb("VmRSS:"));
        const QString file = vintrel::acquiredFolder() + "/img00001.bmp";
        if (r == 0)
            std::printf("scanned %s, %.1f MB\n", qPrintable(QFileInfo(file).fileName()), QFileInfo(file).size() / 1e6);
        form.command("mnuNew")->trigger();
        QFile::remove(file);

        QProcess scanimage;
        scanimage.setStandardOutputFile(out.filePath("scan.pnm"));
        t.start();
        scanimage.start("scanimage", {"-d", "test:0", "--format=pnm", "--mode", "Color", "--resolution", "300",
                                      "-l", "0", "-t", "0", "-x", "200", "-y", "200"});
        scanimage.waitForFinished(-1);
        reference.ms << t.nsecsElapsed() / 1e6;
    }
    std::printf("Acquire 200 x 200 mm, colour, 300 dpi, %d rounds\n", rounds);
    ours.print("Scan to photo on the page");
    reference.print("scanimage to a file");
    std::printf("ratio (median)             %.2fx (limit 1.2x)\n", ours.median() / reference.median());
    std::printf("peak memory above idle     %.1f MB (limit 60 MB)\n", peakAboveIdle / 1024.0);
    return 0;
}
