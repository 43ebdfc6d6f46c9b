// Dragging a photo on a full page in a real X server: the program's time (the
// CPU time of all its threads) of one mouse move that moves the front photo,
// with its repaint, with 30 camera-sized photos on the page, beside the same
// page of 30 small photos in the same run, at actual size and at twice the
// size (the whole page in view). The button is held in the X server (xdotool)
// and the pointer is moved by warping it, so every step arrives as a real
// motion event. Without $DISPLAY it starts an Xvfb of its own.
//   build/bench/bench_drag [megapixels] [steps]
#include <QAction>
#include <time.h>

#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <QTemporaryDir>
#include <QWindow>

#include "app/frmmain.h"
#include "app/pageview.h"
#include "benchsupport.h"

namespace {

double cpuMs()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Runs events until `done` holds or a second has passed, sleeping in between
// (a busy wait would count as the program's time).
bool waitFor(const std::function<bool()> &done)
{
    bool late = false;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, [&] { late = true; });
    timeout.start(1000);
    while (!done() && !late)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

void xdotool(const QStringList &args) { QProcess::execute("xdotool", args); }

// Where the X server has the pointer, as the program's own Ui reads it.
class PointerUi : public vintrel::bench::BenchUi {
public:
    QPoint cursorPos() override { return QCursor::pos(); }
};

// The program's milliseconds of each drag step with 30 copies of the photo, at the zoom.
QList<double> dragSteps(const QString &photo, int steps, double zoom)
{
    PointerUi ui;
    vintrel::frmMain form(ui);
    form.Form_Load();
    form.resize(900, 1010); // the whole page in view at twice its size
    form.view().setZoom(zoom);
    form.show();
    waitFor([&] { return form.windowHandle() && form.windowHandle()->isExposed(); });
    ui.files = QStringList{photo};
    for (int i = 0; i < 30; ++i)
        form.command("mnuAdd")->trigger();
    QWidget *front = form.page().Pic(29).widget();
    waitFor([] { return false; }); // every picture shown once
    const QPoint start = front->mapToGlobal(front->rect().center());
    xdotool({"mousemove", QString::number(start.x()), QString::number(start.y()), "mousedown", "1"});
    waitFor([] { return false; });
    QList<double> ms;
    for (int s = 1; s <= steps; ++s) {
        const QPoint was = front->pos();
        const int dx = s % 80 < 40 ? s % 40 : 40 - s % 40; // back and forth
        const double before = cpuMs();
        QCursor::setPos(start + QPoint(dx, s % 2));
        if (!waitFor([&] { return front->pos() != was; })) {
            std::fprintf(stderr, "step %d: the photo did not move\n", s);
            break;
        }
        QCoreApplication::sendPostedEvents(); // the repaint
        QCoreApplication::processEvents();
        ms << cpuMs() - before;
    }
    xdotool({"mouseup", "1"});
    waitFor([] { return false; });
    return ms;
}

double percentile(QList<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[std::min<qsizetype>(v.size() - 1, qsizetype(p / 100 * v.size()))];
}

// An X server of the benchmark's own, when there is none.
std::unique_ptr<QProcess> ownXServer()
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    auto x = std::make_unique<QProcess>();
    x->start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    if (!x->waitForReadyRead(10000)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        std::exit(1);
    }
    qputenv("DISPLAY", ":" + x->readLine().trimmed());
    return x;
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QProcess> xserver = ownXServer();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const double megapixels = vintrel::bench::megapixelsArg(argc, argv);
    const int steps = argc > 2 ? std::max(10, std::atoi(argv[2])) : 1000;
    const QSize size = vintrel::bench::cameraSize(megapixels);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
    const QString big = vintrel::bench::writePhoto(dir.filePath("big.jpg"), size);
    const QString small = vintrel::bench::writePhoto(dir.filePath("small.jpg"), QSize(600, 400));
    std::printf("Drag: %d mouse moves of the front photo of 30, real X server (%s), program's CPU time\n", steps,
                qgetenv("DISPLAY").constData());
    bool whole = true;
    for (const double zoom : {1.0, 2.0}) {
        const QList<double> smallMs = dragSteps(small, steps, zoom);
        const QList<double> bigMs = dragSteps(big, steps, zoom);
        whole = whole && bigMs.size() == steps && smallMs.size() == steps;
        auto row = [zoom](const QString &what, const QList<double> &v) {
            std::printf("%-40s median %6.3f  p99 %6.3f  max %6.3f ms\n",
                        qPrintable(QString("%1 %, %2").arg(zoom * 100).arg(what)), percentile(v, 50),
                        percentile(v, 99), percentile(v, 100));
        };
        row("30 photos of 600x400", smallMs);
        row(QString("30 photos of %1x%2").arg(size.width()).arg(size.height()), bigMs);
        const double p99 = percentile(bigMs, 99);
        std::printf("%-40s %6.2f (camera / small)\n", "ratio of p99", p99 / percentile(smallMs, 99));
        std::printf("%-40s %6.3f ms (at most 1 ms) %s\n", "p99, camera photos", p99, p99 <= 1 ? "ok" : "OVER");
    }
    if (xserver)
        xserver->terminate(), xserver->waitForFinished();
    return whole ? 0 : 1;
}
