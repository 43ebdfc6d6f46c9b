// Start-up to a shown window: from starting the program to the X server
// mapping its window, against an empty Qt Widgets window started and watched
// the same way, in the same run. The benchmark watches the root window of an
// X server for a top-level window being mapped (it starts an Xvfb of its own
// without $DISPLAY); each round starts with a fresh settings and runtime folder.
//   build/bench/bench_startup [rounds]
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "benchsupport.h"

namespace {

xcb_connection_t *g_x = nullptr;

// Milliseconds from starting `program` to its first window being mapped.
double startUp(const QString &program, const QString &scratch, int round)
{
    const QString home = scratch + QString("/round%1").arg(round);
    QDir().mkpath(home + "/run");
    QFile::setPermissions(home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_RUNTIME_DIR", home + "/run");
    env.insert("QT_QPA_PLATFORM", "xcb");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, {});
    double ms = -1;
    while (ms < 0 && t.elapsed() < 20000) {
        xcb_generic_event_t *e = xcb_poll_for_event(g_x);
        if (!e) {
            if (xcb_connection_has_error(g_x))
                break;
            QThread::usleep(50);
            continue;
        }
        if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY)
            ms = t.nsecsElapsed() / 1e6;
        free(e);
    }
    p.kill();
    p.waitForFinished();
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    QProcess xserver;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        xserver.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!xserver.waitForReadyRead(10000))
            return std::fprintf(stderr, "Xvfb did not start\n"), 1;
        qputenv("DISPLAY", ":" + xserver.readLine().trimmed());
    }
    g_x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(g_x))
        return std::fprintf(stderr, "no X server at %s\n", qgetenv("DISPLAY").constData()), 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(g_x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(g_x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(g_x);

    const QString vintrel = VINTREL_PROGRAM, empty = VINTREL_EMPTY_WINDOW;
    QTemporaryDir scratch;
    vintrel::bench::Figures ours, limit;
    for (int r = 0; r < rounds; ++r) { // alternating, so that both meet the same load
        limit.ms << startUp(empty, scratch.path(), 2 * r);
        ours.ms << startUp(vintrel, scratch.path(), 2 * r + 1);
    }
    if (std::min(*std::min_element(ours.ms.begin(), ours.ms.end()),
                 *std::min_element(limit.ms.begin(), limit.ms.end())) < 0)
        return std::fprintf(stderr, "a window was not shown within 20 s\n"), 1;
    std::printf("Start-up to a mapped window, %d rounds, X server %s\n", rounds, qgetenv("DISPLAY").constData());
    ours.print("Vintrel");
    limit.print("empty Qt Widgets window");
    vintrel::bench::printRatio("ratio (medians)", ours.median(), limit.median(), 1.5);
    xcb_disconnect(g_x);
    if (xserver.state() != QProcess::NotRunning) {
        xserver.terminate();
        xserver.waitForFinished(5000);
    }
    return 0;
}
