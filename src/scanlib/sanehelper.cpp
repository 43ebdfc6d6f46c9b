// vintrel-sane: the process the scanner library runs SANE in. SANE's backends
// are other people's drivers, loaded at run time; one that hangs or crashes
// takes only this process with it, and the library ends a helper that stops
// answering. The library starts one for each of its commands and gives it a
// Unix socket as file descriptor 3; the helper answers its requests one at a
// time (channel.h) and ends with SANE when asked to or when the socket closes.
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <QDir>
#include <QFile>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif
#include <unistd.h>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include "bmpwriter.h"
#include "channel.h"

using namespace vintrel::scan;

namespace {

constexpr int kSocket = 3;

std::set<long> threadsOfThisProcess()
{
    std::set<long> threads;
    for (const QString &name : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        threads.insert(name.toLong());
    return threads;
}

// What a thread is doing: its system call with its arguments and where it was
// made ("running" when it runs), and how often it has given up the processor.
QByteArray threadState(long thread, long &call)
{
    QFile syscall(QStringLiteral("/proc/self/task/%1/syscall").arg(thread));
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(thread));
    if (!syscall.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
        return {}; // ended meanwhile
    QByteArray state = syscall.readAll();
    bool number = false;
    call = state.split(' ').value(0).trimmed().toLong(&number);
    if (!number)
        call = -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches") || line.startsWith("nonvoluntary_ctxt_switches"))
            state += line;
    return state;
}

void settleBackendThreads(const std::set<long> &before)
{
    // Some backends stop their reader thread with an asynchronous cancel. One
    // that lands while the thread is inside the C library (starting, closing
    // its pipe, freeing memory) leaves a lock taken for good, and this process
    // hangs (the library then ends it); one that lands while it waits in the
    // kernel to write, read or sleep is harmless. So wait, up to two seconds,
    // until each thread the backend started has ended or waits in one of those
    // calls, and has not moved since the last look (a thread seen in a write
    // may be just leaving it: one that waits on a full pipe stays there, the
    // same call, not switched in).
    static const std::set<long> waiting = {
        SYS_read, SYS_write, SYS_nanosleep, SYS_clock_nanosleep, SYS_pselect6, SYS_ppoll,
#ifdef SYS_poll
        SYS_poll,
#endif
#ifdef SYS_select
        SYS_select,
#endif
    };
    std::map<long, QByteArray> seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        bool settled = true;
        std::map<long, QByteArray> now;
        for (long thread : threadsOfThisProcess()) {
            if (before.count(thread))
                continue;
            long call = -1;
            const QByteArray state = threadState(thread, call);
            if (state.isEmpty())
                continue;
            now[thread] = state;
            const auto last = seen.find(thread);
            settled = settled && waiting.count(call) && last != seen.end() && last->second == state;
        }
        if (settled)
            return;
        seen = std::move(now);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

QString text(SANE_Status status) { return QString::fromLocal8Bit(sane_strstatus(status)); }

const char *const kOffered[] = {SANE_NAME_SCAN_MODE, SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_TL_X,
                                SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};

double number(const SANE_Option_Descriptor *o, SANE_Word w)
{
    return o->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
}

std::optional<BmpWriter::Channel> channelOf(SANE_Frame format)
{
    switch (format) {
    case SANE_FRAME_GRAY: return BmpWriter::Channel::Gray;
    case SANE_FRAME_RGB: return BmpWriter::Channel::Rgb;
    case SANE_FRAME_RED: return BmpWriter::Channel::Red;
    case SANE_FRAME_GREEN: return BmpWriter::Channel::Green;
    case SANE_FRAME_BLUE: return BmpWriter::Channel::Blue;
    default: return std::nullopt;
    }
}

// The device open and its name, and the scan's state, shared with the thread
// that reads the socket (a Cancel comes while the scan runs).
SANE_Handle handle = nullptr;
QByteArray deviceName;
std::atomic<bool> cancelRequested{false}, scanning{false}, stopping{false};
// Counts the scans, so that a Cancel acts on the scan it came for and no later one.
std::atomic<unsigned> scanNumber{0};

void send(quint8 kind, const QByteArray &body = {})
{
    if (!sendMessage(kSocket, kind, body))
        _exit(0); // the library has gone
}

// The option of that name, active, and its number.
const SANE_Option_Descriptor *find(const QString &name, SANE_Int &index)
{
    SANE_Int count = 0;
    if (!handle || sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return nullptr;
    for (SANE_Int n = 1; n < count; ++n) {
        const SANE_Option_Descriptor *o = sane_get_option_descriptor(handle, n);
        if (o && o->name && name == QLatin1String(o->name) && SANE_OPTION_IS_ACTIVE(o->cap)) {
            index = n;
            return o;
        }
    }
    return nullptr;
}

QVariant value(const SANE_Option_Descriptor *o, SANE_Int index)
{
    if (o->type == SANE_TYPE_STRING) {
        QByteArray buffer(o->size + 1, '\0');
        if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
            return QVariant();
        return QString::fromLocal8Bit(buffer.constData());
    }
    if ((o->type == SANE_TYPE_INT || o->type == SANE_TYPE_FIXED) && o->size == sizeof(SANE_Word)) {
        SANE_Word w = 0;
        if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, &w, nullptr) != SANE_STATUS_GOOD)
            return QVariant();
        return number(o, w);
    }
    return QVariant();
}

QList<DeviceInfo> devices()
{
    const SANE_Device **list = nullptr;
    QList<DeviceInfo> out;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return out;
    for (int i = 0; list[i]; ++i)
        out.append({QString::fromLocal8Bit(list[i]->name), QString::fromLocal8Bit(list[i]->vendor),
                    QString::fromLocal8Bit(list[i]->model), QString::fromLocal8Bit(list[i]->type)});
    return out;
}

QList<Setting> settings()
{
    QList<Setting> out;
    for (const char *name : kOffered) {
        SANE_Int index = 0;
        const SANE_Option_Descriptor *o = find(QLatin1String(name), index);
        if (!o || !SANE_OPTION_IS_SETTABLE(o->cap))
            continue;
        Setting s;
        s.name = QLatin1String(name);
        s.title = QString::fromLocal8Bit(o->title ? o->title : name);
        s.unit = o->unit == SANE_UNIT_DPI ? QStringLiteral("dpi") : o->unit == SANE_UNIT_MM ? QStringLiteral("mm") : QString();
        s.whole = o->type == SANE_TYPE_INT;
        if (o->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
            for (int i = 0; o->constraint.string_list[i]; ++i)
                s.words << QString::fromLocal8Bit(o->constraint.string_list[i]);
        } else if (o->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
            for (int i = 1; i <= o->constraint.word_list[0]; ++i)
                s.numbers << number(o, o->constraint.word_list[i]);
        } else if (o->constraint_type == SANE_CONSTRAINT_RANGE) {
            s.minimum = number(o, o->constraint.range->min);
            s.maximum = number(o, o->constraint.range->max);
            s.step = number(o, o->constraint.range->quant);
        } else if (o->type != SANE_TYPE_STRING) {
            s.minimum = 0;
            s.maximum = 100000;
        }
        s.value = value(o, index);
        if (s.value.isValid())
            out << s;
    }
    return out;
}

bool set(const QString &name, const QVariant &v, QString &why)
{
    SANE_Int index = 0;
    const SANE_Option_Descriptor *o = find(name, index);
    if (!o || !SANE_OPTION_IS_SETTABLE(o->cap))
        return true; // no longer offered: nothing to set
    SANE_Status status;
    if (o->type == SANE_TYPE_STRING) {
        QByteArray buffer = v.toString().toLocal8Bit();
        buffer.resize(qMax(qsizetype(o->size), buffer.size() + 1));
        status = sane_control_option(handle, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
    } else {
        const double d = v.toDouble();
        const double limit = o->type == SANE_TYPE_FIXED ? 32767.0 : 2147483647.0; // what a SANE_Word holds
        const double within = std::isfinite(d) ? qBound(-limit, d, limit) : 0;
        SANE_Word w = o->type == SANE_TYPE_FIXED ? SANE_FIX(within) : SANE_Word(std::lround(within));
        status = sane_control_option(handle, index, SANE_ACTION_SET_VALUE, &w, nullptr);
    }
    if (status != SANE_STATUS_GOOD) {
        why = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(o->title ? o->title : o->name), text(status));
        return false;
    }
    return true;
}

double resolution()
{
    SANE_Int index = 0;
    const SANE_Option_Descriptor *o = find(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), index);
    const QVariant v = o ? value(o, index) : QVariant();
    return v.isValid() && v.toDouble() > 0 ? v.toDouble() : 72;
}

// Scans one image, every frame of it, to the library: Frame, Data..., FrameEnd
// for each, then Done.
void scan()
{
    ++scanNumber;
    scanning = true;
    stopping = false;
    QByteArray buffer(256 * 1024, '\0');
    std::set<long> before; // the threads there were before the backend started its own
    bool midImage = false; // in an image of several passes, before its last
    auto done = [&](bool scanned, bool cancelled, const QString &why) {
        stopping = true;
        if (handle) { // a scan asked for before any device was opened has nothing to end
            settleBackendThreads(before);
            sane_cancel(handle);
        }
        if (handle && midImage) {
            // A device stopped before the last pass of an image may take the
            // next scan for the image's next pass; opened again, it starts afresh.
            sane_close(handle);
            if (sane_open(deviceName.constData(), &handle) != SANE_STATUS_GOOD)
                handle = nullptr;
        }
        scanning = false;
        send(answer::Done, pack(scanned, cancelled, why));
    };
    auto stop = [&](SANE_Status status) { done(false, status == SANE_STATUS_CANCELLED, text(status)); };
    if (!handle)
        return done(false, false, QStringLiteral("no device is open"));
    for (;;) {
        before = threadsOfThisProcess();
        SANE_Status status = cancelRequested ? SANE_STATUS_CANCELLED : sane_start(handle);
        if (status != SANE_STATUS_GOOD)
            return stop(status);
        SANE_Parameters p{};
        status = sane_get_parameters(handle, &p);
        if (status != SANE_STATUS_GOOD)
            return stop(status);
        midImage = !p.last_frame;
        const std::optional<BmpWriter::Channel> channel = channelOf(p.format);
        if (!channel)
            return done(false, false, QStringLiteral("The scanner sends a kind of image this program cannot store."));
        send(answer::Frame, pack(qint32(*channel), qint32(p.depth), qint32(p.pixels_per_line),
                                 qint32(p.bytes_per_line), qint32(p.lines)));
        for (;;) {
            SANE_Int length = 0;
            status = sane_read(handle, reinterpret_cast<SANE_Byte *>(buffer.data()), SANE_Int(buffer.size()), &length);
            if (status == SANE_STATUS_EOF)
                break;
            if (status == SANE_STATUS_GOOD && cancelRequested)
                status = SANE_STATUS_CANCELLED;
            if (status != SANE_STATUS_GOOD)
                return stop(status);
            send(answer::Data, buffer.left(qBound(0, length, int(buffer.size()))));
        }
        send(answer::FrameEnd);
        if (p.last_frame)
            break;
    }
    done(true, false, QString());
}

void cancel()
{
    // The scan stops itself at its next read, its backend's threads settled; a
    // device that sends nothing for two seconds is stopped from here.
    cancelRequested = true;
    std::thread([of = unsigned(scanNumber)] {
        auto running = [of] { return scanning && !stopping && scanNumber == of; };
        for (int waited = 0; waited < 2000 && running(); waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (running()) // the device is still open while its scan runs
            sane_cancel(handle);
    }).detach();
}

} // namespace

int main()
{
    // Ends with the program that started it, whatever a driver is doing.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::signal(SIGPIPE, SIG_IGN);
    // Requests wait here for the main thread; a Cancel acts at once.
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<Message> requests;
    std::thread([&] {
        Message m;
        while (receiveMessage(kSocket, m, -1) && m.kind != ask::Quit) {
            if (m.kind == ask::Cancel) {
                cancel();
                continue;
            }
            if (m.kind == ask::Scan) // a Cancel that follows it is for it
                cancelRequested = false;
            std::lock_guard<std::mutex> hold(lock);
            requests.push_back(m);
            arrived.notify_one();
        }
        cancel(); // the library has gone, or asks to end
        std::lock_guard<std::mutex> hold(lock);
        requests.push_back({ask::Quit, {}});
        arrived.notify_one();
    }).detach();

    SANE_Int version = 0;
    const SANE_Status started = sane_init(&version, nullptr);
    send(answer::Started, pack(started == SANE_STATUS_GOOD, started == SANE_STATUS_GOOD ? QString() : text(started)));
    if (started != SANE_STATUS_GOOD)
        return 0;
    for (;;) {
        Message m;
        {
            std::unique_lock<std::mutex> hold(lock);
            arrived.wait(hold, [&] { return !requests.empty(); });
            m = requests.front();
            requests.pop_front();
        }
        QString name, why;
        Value v;
        switch (m.kind) {
        case ask::Devices: send(answer::Devices, pack(devices())); break;
        case ask::Open: {
            if (handle)
                sane_close(handle);
            handle = nullptr;
            if (!unpack(m.body, name)) { // no device is opened on a request that does not read
                send(answer::Opened, pack(false, QStringLiteral("the request to open a device could not be read")));
                break;
            }
            deviceName = QFile::encodeName(name);
            const SANE_Status status = sane_open(deviceName.constData(), &handle);
            if (status != SANE_STATUS_GOOD)
                handle = nullptr;
            send(answer::Opened, pack(status == SANE_STATUS_GOOD, status == SANE_STATUS_GOOD ? QString() : text(status)));
            break;
        }
        case ask::Settings: send(answer::Settings, pack(settings())); break;
        case ask::Set: {
            bool ok = unpack(m.body, name, v);
            why = ok ? QString() : QStringLiteral("the request to set a value could not be read");
            ok = ok && set(name, v.value, why);
            send(answer::Set, pack(ok, why));
            break;
        }
        case ask::Resolution: send(answer::Resolution, pack(resolution())); break;
        case ask::Scan: scan(); break;
        case ask::Close:
            if (handle)
                sane_close(handle);
            handle = nullptr;
            send(answer::Closed);
            break;
        case ask::Quit:
            if (handle)
                sane_close(handle);
#ifdef __SANITIZE_ADDRESS__
            // Leaks are looked for while the drivers are loaded and can be
            // named; what a driver leaves behind when it is unloaded is its own.
            __lsan_do_leak_check();
#endif
            sane_exit();
            _exit(0);
        default: break; // not a request: no answer, and the library ends this helper
        }
    }
}
