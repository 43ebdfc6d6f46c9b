#pragma once
// What the benchmarks share: offscreen windows, camera photos made from a real
// photograph, a Ui that answers every dialog, the limit (libjpeg-turbo's djpeg
// on the same files, on all cores), memory figures and min/median/max.
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QPainter>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QThread>

#include "platform/ui.h"

namespace vintrel::bench {

// Windows offscreen unless the caller chose a platform.
inline void offscreenByDefault()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The photo size a benchmark was asked for: its first argument, in megapixels
// (24 by default).
inline double megapixelsArg(int argc, char **argv) { return argc > 1 ? std::atof(argv[1]) : 24; }

// A 3:2 size of about the given megapixels.
inline QSize cameraSize(double megapixels)
{
    const int width = int(std::sqrt(megapixels * 1e6 * 1.5));
    return QSize(width, width * 2 / 3);
}

// The real photograph the test photos are made from (scripts/setup.sh bench
// installs it).
inline const char *kPhotograph = "/usr/share/backgrounds/mate/nature/Wood.jpg";

// A camera JPEG of the given size (quality 92) made from the real photograph,
// tiled with mirrored copies of itself where it is smaller, so that every pixel
// has a photograph's detail. Without the photograph, a synthetic picture (and
// a warning: its figures are not comparable).
inline QString writePhoto(const QString &path, QSize size)
{
    static const QImage photograph = [] {
        QImageReader reader(QString::fromLatin1(kPhotograph));
        QImageReader::setAllocationLimit(2048);
        return reader.read().convertToFormat(QImage::Format_RGB32);
    }();
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    if (photograph.isNull()) {
        std::fprintf(stderr, "warning: %s is missing (bash scripts/setup.sh bench); using a synthetic picture\n",
                     kPhotograph);
        QLinearGradient g(0, 0, size.width(), size.height());
        g.setColorAt(0, Qt::darkBlue);
        g.setColorAt(1, Qt::yellow);
        p.fillRect(image.rect(), g);
        for (int i = 0; i < 3000; ++i)
            p.fillRect((i * 7919) % size.width(), (i * 104729) % size.height(), 30, 30,
                       QColor::fromHsv(i % 360, 200, 200));
    } else {
        const int w = photograph.width(), h = photograph.height();
        for (int y = 0, row = 0; y < size.height(); y += h, ++row)
            for (int x = 0, col = 0; x < size.width(); x += w, ++col)
                p.drawImage(x, y, photograph.mirrored(col % 2, row % 2));
    }
    p.end();
    image.save(path, "JPG", 92);
    return path;
}

// Answers every dialog: Yes to questions, `file` to file dialogs, no printer.
class BenchUi : public Ui {
public:
    QStringList files; // the paths every file dialog chooses
    QPoint cursor;
    MsgAnswer messageBox(const QString &, const QString &text, MsgButtons buttons, MsgIcon, const QString &) override
    {
        if (buttons == MsgButtons::YesNo)
            return MsgAnswer::Yes;
        std::printf("message: %s\n", qPrintable(text));
        return MsgAnswer::Ok;
    }
    std::optional<QStringList> fileDialog(const FileDialogRequest &) override { return files; }
    bool printDialog(QPrinter &, int, bool &) override { return false; }
    std::function<void(QPrinter &, const PaintSheet &)> preview; // what the print preview does
    void printPreview(QPrinter &printer, bool &, const PaintSheet &paint) override
    {
        if (preview)
            preview(printer, paint);
    }
    QPoint cursorPos() override { return cursor; }
    bool startProgram(const QString &, const QStringList &) override { return false; }
    bool openUrl(const QUrl &) override { return false; }
};

// Wall milliseconds of `djpeg -scale M/8` decoding every file, as many at a
// time as there are cores (the decoder's limit for a program on all cores).
inline double djpegMs(const QStringList &files, int eighths, int parallel = QThread::idealThreadCount())
{
    QElapsedTimer t;
    t.start();
    QList<QProcess *> running;
    int next = 0;
    auto start = [&] {
        auto *p = new QProcess;
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start("djpeg", {"-scale", QString("%1/8").arg(eighths), "-outfile", "/dev/null", files[next++]});
        running << p;
    };
    while (next < files.size() && running.size() < parallel)
        start();
    while (!running.isEmpty()) {
        QProcess *p = running.takeFirst();
        p->waitForFinished(-1);
        if (p->exitCode() != 0)
            std::fprintf(stderr, "djpeg failed: %s\n", p->readAllStandardError().constData());
        delete p;
        if (next < files.size())
            start();
    }
    return t.nsecsElapsed() / 1e6;
}

// Kilobytes of the process's resident size ("VmRSS:") or its peak ("VmHWM:").
inline long statusKb(const char *field)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    return 0;
}
inline double peakMB() { return statusKb("VmHWM:") / 1024.0; }
// Gives freed memory back and starts the peak afresh from what is resident now.
inline void resetPeak()
{
    malloc_trim(0);
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Several timings of one thing.
struct Figures {
    QList<double> ms;
    double median() const
    {
        QList<double> s = ms;
        std::sort(s.begin(), s.end());
        return s[s.size() / 2];
    }
    void print(const char *what) const
    {
        QList<double> s = ms;
        std::sort(s.begin(), s.end());
        std::printf("%-34s min %8.1f  median %8.1f  max %8.1f ms\n", what, s.first(), median(), s.last());
    }
};

// "ratio 1.04x (limit 1.10x) ok" from medians.
inline void printRatio(const char *what, double ours, double limit, double allowed)
{
    const double r = ours / limit;
    std::printf("%-34s %.2fx (at most %.2fx) %s\n", what, r, allowed, r <= allowed ? "ok" : "OVER");
}

} // namespace vintrel::bench
