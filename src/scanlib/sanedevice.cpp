#include "sanedevice.h"

#include <sys/syscall.h>

#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include <QDir>
#include <QFile>
#include <QThreadPool>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include "bmpwriter.h"

namespace vintrel::scan {

namespace {
std::set<long> ThreadsOfThisProcess()
{
    std::set<long> threads;
    for (const QString &name : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        threads.insert(name.toLong());
    return threads;
}

// What a thread is doing: its system call with its arguments and where it was
// made ("running" when it runs), and how often it has given up the processor.
QByteArray ThreadState(long thread, long &call)
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

void SettleBackendThreads(const std::set<long> &before)
{
    // Some backends stop their reader thread with an asynchronous cancel. One
    // that lands while the thread is inside the C library (starting, closing
    // its pipe, freeing memory) leaves a lock taken for good and the program
    // hangs; one that lands while it waits in the kernel to write, read or
    // sleep is harmless. So wait, up to two seconds, until each thread the
    // backend started has ended or waits in one of those calls, and has not
    // moved since the last look (a thread seen in a write may be just leaving
    // it: one that waits on a full pipe stays there, the same call, not
    // switched in).
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
        for (long thread : ThreadsOfThisProcess()) {
            if (before.count(thread))
                continue;
            long call = -1;
            const QByteArray state = ThreadState(thread, call);
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

} // namespace

QThreadPool &saneThread()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        p->setExpiryTimeout(-1); // the same thread for every call
        return p;
    }();
    return *pool;
}

bool SaneStart(QString &why)
{
    SANE_Int version = 0;
    const SANE_Status status = sane_init(&version, nullptr);
    if (status != SANE_STATUS_GOOD) {
        why = text(status);
        return false;
    }
    return true;
}

void SaneEnd() { sane_exit(); }

QList<DeviceInfo> SaneDevices()
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

struct SaneDevice::Impl {
    SANE_Handle handle = nullptr;
    // Shared with a Cancel that may outlive the scan.
    struct ScanState {
        std::atomic<bool> cancelRequested{false}, scanning{false}, stopping{false};
    };
    std::shared_ptr<ScanState> scan = std::make_shared<ScanState>();

    // The option of that name, active, and its number.
    const SANE_Option_Descriptor *find(const QString &name, SANE_Int &index)
    {
        SANE_Int count = 0;
        if (sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
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
};

SaneDevice::SaneDevice(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

SaneDevice::~SaneDevice()
{
    if (d->handle)
        sane_close(d->handle);
}

std::unique_ptr<SaneDevice> SaneDevice::Open(const QString &name, QString &why)
{
    auto impl = std::make_unique<Impl>();
    const SANE_Status status = sane_open(QFile::encodeName(name).constData(), &impl->handle);
    if (status != SANE_STATUS_GOOD) {
        why = text(status);
        return nullptr;
    }
    return std::unique_ptr<SaneDevice>(new SaneDevice(std::move(impl)));
}

QList<Setting> SaneDevice::Settings()
{
    QList<Setting> out;
    for (const char *name : kOffered) {
        SANE_Int index = 0;
        const SANE_Option_Descriptor *o = d->find(QLatin1String(name), index);
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
        s.value = d->value(o, index);
        if (s.value.isValid())
            out << s;
    }
    return out;
}

bool SaneDevice::Set(const QString &name, const QVariant &value, QString &why)
{
    SANE_Int index = 0;
    const SANE_Option_Descriptor *o = d->find(name, index);
    if (!o || !SANE_OPTION_IS_SETTABLE(o->cap))
        return true; // no longer offered: nothing to set
    SANE_Status status;
    if (o->type == SANE_TYPE_STRING) {
        QByteArray buffer = value.toString().toLocal8Bit();
        buffer.resize(qMax(qsizetype(o->size), buffer.size() + 1));
        status = sane_control_option(d->handle, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
    } else {
        SANE_Word w = o->type == SANE_TYPE_FIXED ? SANE_FIX(value.toDouble()) : SANE_Word(std::lround(value.toDouble()));
        status = sane_control_option(d->handle, index, SANE_ACTION_SET_VALUE, &w, nullptr);
    }
    if (status != SANE_STATUS_GOOD) {
        why = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(o->title ? o->title : o->name), text(status));
        return false;
    }
    return true;
}

double SaneDevice::Resolution()
{
    SANE_Int index = 0;
    const SANE_Option_Descriptor *o = d->find(QStringLiteral(SANE_NAME_SCAN_RESOLUTION), index);
    const QVariant v = o ? d->value(o, index) : QVariant();
    return v.isValid() && v.toDouble() > 0 ? v.toDouble() : 72;
}

bool SaneDevice::Scan(BmpWriter &writer, std::atomic<qint64> &done, std::atomic<qint64> &total, bool &cancelled,
                      QString &why)
{
    cancelled = false;
    d->scan->cancelRequested = false;
    d->scan->scanning = true;
    d->scan->stopping = false;
    QByteArray buffer(256 * 1024, '\0');
    std::set<long> before; // the threads there were before the backend started its own
    auto finish = [&] {
        d->scan->stopping = true;
        SettleBackendThreads(before);
        sane_cancel(d->handle);
        d->scan->scanning = false;
    };
    auto stop = [&](SANE_Status status) {
        cancelled = status == SANE_STATUS_CANCELLED;
        why = text(status);
        finish();
        return false;
    };
    auto refuse = [&] {
        why = writer.why();
        finish();
        return false;
    };
    for (int pass = 0;; ++pass) {
        before = ThreadsOfThisProcess();
        SANE_Status status = sane_start(d->handle);
        if (status != SANE_STATUS_GOOD)
            return stop(status);
        SANE_Parameters p{};
        status = sane_get_parameters(d->handle, &p);
        if (status != SANE_STATUS_GOOD)
            return stop(status);
        const std::optional<BmpWriter::Channel> channel = channelOf(p.format);
        if (!channel) {
            why = QStringLiteral("The scanner sends a kind of image this program cannot store.");
            finish();
            return false;
        }
        if (pass == 0 && p.lines > 0)
            total = qint64(p.bytes_per_line) * p.lines * (*channel == BmpWriter::Channel::Gray || *channel == BmpWriter::Channel::Rgb ? 1 : 3);
        if (!writer.beginFrame({*channel, p.depth, p.pixels_per_line, p.bytes_per_line, p.lines}))
            return refuse();
        for (;;) {
            SANE_Int length = 0;
            status = sane_read(d->handle, reinterpret_cast<SANE_Byte *>(buffer.data()), SANE_Int(buffer.size()), &length);
            if (status == SANE_STATUS_EOF)
                break;
            if (status == SANE_STATUS_GOOD && d->scan->cancelRequested)
                status = SANE_STATUS_CANCELLED;
            if (status != SANE_STATUS_GOOD)
                return stop(status);
            if (!writer.write(buffer.constData(), length))
                return refuse();
            done += length;
        }
        if (!writer.endFrame())
            return refuse();
        if (p.last_frame)
            break;
    }
    finish(); // the end of the scan
    return true;
}

void SaneDevice::Cancel()
{
    // The scan stops itself at its next read, its backend's threads settled; a
    // device that sends nothing for two seconds is stopped from here.
    d->scan->cancelRequested = true;
    std::thread([state = d->scan, handle = d->handle] {
        for (int waited = 0; waited < 2000 && state->scanning && !state->stopping; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (state->scanning && !state->stopping) // the device is still open while its scan runs
            sane_cancel(handle);
    }).detach();
}

} // namespace vintrel::scan
