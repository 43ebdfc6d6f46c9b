#include "sanedevice.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include "bmpwriter.h"
#include "channel.h"

extern char **environ;

namespace vintrel::scan {

namespace {

// How long the helper may take: to answer a request (looking for network
// scanners takes seconds), to end after being asked to, and to stop a scan
// after Cancel.
constexpr int kAnswerMs = 120'000;
constexpr int kEndMs = 5'000;
constexpr int kCancelMs = 10'000;

const QString kStopped = QStringLiteral("the scanner's driver stopped working");
const QString kSilent = QStringLiteral("the scanner stopped answering");

// The helper that runs, while it may be ended from another thread.
std::atomic<pid_t> runningHelper{0};

struct Helper {
    pid_t pid = -1;
    int socket = -1;
    std::mutex sending;
    std::atomic<bool> ended{false};

    ~Helper()
    {
        if (pid > 0) {
            pid_t mine = pid; // no longer to be ended from elsewhere: it may be reaped, its number reused
            runningHelper.compare_exchange_strong(mine, 0);
            // Asked to end (or ended already): it has a moment, then is killed.
            bool reaped = false;
            for (int waited = 0; !reaped && waited < kEndMs; ++waited) {
                reaped = waitpid(pid, nullptr, WNOHANG) != 0;
                if (!reaped)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            if (!reaped) {
                ::kill(-pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
        if (socket >= 0)
            close(socket);
    }
    bool send(quint8 kind, const QByteArray &body = {})
    {
        std::lock_guard<std::mutex> hold(sending);
        return !ended && sendMessage(socket, kind, body);
    }
    // Ends a helper that cannot go on (and the drivers it started).
    void kill()
    {
        if (!ended.exchange(true))
            ::kill(-pid, SIGKILL);
    }
    // Sends a request and waits for its answer. A helper that answers
    // something else, or nothing in time, is ended; `why` says what happened.
    bool exchange(quint8 request, const QByteArray &body, quint8 expected, QByteArray &answer, QString &why,
                  int ms = kAnswerMs)
    {
        Message m;
        bool late = false;
        if (send(request, body) && receiveMessage(socket, m, ms, &late) && m.kind == expected) {
            answer = m.body;
            return true;
        }
        why = late ? kSilent : kStopped;
        kill();
        return false;
    }
};

// The helper while SANE is started (SANE thread only).
std::shared_ptr<Helper> helper;

QString helperPath()
{
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void *>(&helperPath), &self) || !self.dli_fname)
        return {};
    return QFileInfo(QFile::decodeName(self.dli_fname)).absolutePath() + QStringLiteral("/vintrel-sane");
}

std::shared_ptr<Helper> startHelper(QString &why)
{
    const QByteArray path = QFile::encodeName(helperPath());
    if (path.isEmpty() || access(path.constData(), X_OK) != 0) {
        why = QStringLiteral("vintrel-sane, which the scanner library needs, is not beside it");
        return nullptr;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        why = QString::fromLocal8Bit(strerror(errno));
        return nullptr;
    }
    auto h = std::make_shared<Helper>();
    h->socket = pair[0];
    int theirs = pair[1];
    if (theirs == 3) { // dup2 onto itself would keep close-on-exec
        theirs = fcntl(pair[1], F_DUPFD_CLOEXEC, 4);
        close(pair[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0); // its own group, which ends with it
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    char *argv[] = {const_cast<char *>("vintrel-sane"), nullptr};
    const int failed = posix_spawn(&h->pid, path.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(theirs);
    if (!failed)
        runningHelper = h->pid;
    if (failed) {
        h->pid = -1;
        why = QString::fromLocal8Bit(strerror(failed));
        return nullptr;
    }
    Message m;
    bool late = false, started = false;
    if (!receiveMessage(h->socket, m, kAnswerMs, &late) || m.kind != answer::Started || !unpack(m.body, started, why)) {
        why = late ? kSilent : kStopped;
        h->kill();
        return nullptr;
    }
    if (!started) {
        h->send(ask::Quit);
        return nullptr;
    }
    return h;
}

} // namespace

void saneAbort()
{
    const pid_t pid = runningHelper;
    if (pid > 0)
        ::kill(-pid, SIGKILL);
}

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

bool saneStart(QString &why)
{
    helper = startHelper(why);
    return helper != nullptr;
}

void saneEnd()
{
    if (helper)
        helper->send(ask::Quit);
    helper.reset(); // waits for it to end
}

QList<DeviceInfo> saneDevices()
{
    QByteArray body;
    QString why;
    QList<DeviceInfo> out;
    if (!helper || !helper->exchange(ask::Devices, {}, answer::Devices, body, why) || !unpack(body, out))
        return {};
    return out;
}

struct SaneDevice::Impl {
    std::shared_ptr<Helper> helper;
    // Set by Cancel, from any thread: when it was asked for (0: not asked).
    std::atomic<qint64> cancelledAt{0};

    static qint64 now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count() + 1;
    }
};

SaneDevice::SaneDevice(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

SaneDevice::~SaneDevice()
{
    QByteArray body;
    QString why;
    d->helper->exchange(ask::Close, {}, answer::Closed, body, why, kEndMs);
}

std::unique_ptr<SaneDevice> SaneDevice::open(const QString &name, QString &why)
{
    QByteArray body;
    bool opened = false;
    if (!helper) {
        why = kStopped;
        return nullptr;
    }
    if (!helper->exchange(ask::Open, pack(name), answer::Opened, body, why))
        return nullptr;
    if (!unpack(body, opened, why) || !opened)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->helper = helper;
    return std::unique_ptr<SaneDevice>(new SaneDevice(std::move(impl)));
}

QList<Setting> SaneDevice::settings()
{
    QByteArray body;
    QString why;
    QList<Setting> out;
    if (!d->helper->exchange(ask::Settings, {}, answer::Settings, body, why) || !unpack(body, out))
        return {};
    return out;
}

bool SaneDevice::set(const QString &name, const QVariant &value, QString &why)
{
    QByteArray body;
    bool set = false;
    return d->helper->exchange(ask::Set, pack(name, Value{value}), answer::Set, body, why) && unpack(body, set, why) && set;
}

double SaneDevice::resolution()
{
    QByteArray body;
    QString why;
    double dpi = 0;
    if (!d->helper->exchange(ask::Resolution, {}, answer::Resolution, body, why) || !unpack(body, dpi) ||
        !(dpi > 0 && dpi < 1e6))
        return 72;
    return dpi;
}

bool SaneDevice::scan(BmpWriter &writer, std::atomic<qint64> &done, std::atomic<qint64> &total, bool &cancelled,
                      QString &why)
{
    Helper &h = *d->helper;
    cancelled = false;
    d->cancelledAt = 0;
    if (!h.send(ask::Scan)) {
        why = kStopped;
        return false;
    }
    QString refused; // the writer's reason, when it could not take what came
    auto refuse = [&](const QString &reason) {
        refused = reason;
        cancel(); // and the rest of the scan goes unread
    };
    bool firstFrame = true;
    for (;;) {
        Message m;
        bool late = false;
        if (!receiveMessage(h.socket, m, 200, &late)) {
            const qint64 asked = d->cancelledAt;
            if (late && !(asked && Impl::now() - asked > kCancelMs))
                continue;
            // Gone, or not stopping after Cancel: ended, and the scan with it.
            h.kill();
            cancelled = late && refused.isEmpty();
            why = !refused.isEmpty() ? refused : late ? kSilent : kStopped;
            return false;
        }
        switch (m.kind) {
        case answer::Frame: {
            qint32 channel = -1, depth = 0, pixels = 0, bytes = 0, lines = 0;
            if (!refused.isEmpty())
                break;
            if (!unpack(m.body, channel, depth, pixels, bytes, lines) || channel < int(BmpWriter::Channel::Gray) ||
                channel > int(BmpWriter::Channel::Blue)) {
                refuse(QStringLiteral("The scanner sends a kind of image this program cannot store."));
                break;
            }
            const auto c = BmpWriter::Channel(channel);
            if (firstFrame && lines > 0)
                total = qint64(bytes) * lines * (c == BmpWriter::Channel::Gray || c == BmpWriter::Channel::Rgb ? 1 : 3);
            firstFrame = false;
            if (!writer.beginFrame({c, depth, pixels, bytes, lines}))
                refuse(writer.why());
            break;
        }
        case answer::Data:
            if (!refused.isEmpty())
                break;
            if (!writer.write(m.body.constData(), m.body.size()))
                refuse(writer.why());
            done += m.body.size();
            break;
        case answer::FrameEnd:
            if (refused.isEmpty() && !writer.endFrame())
                refuse(writer.why());
            break;
        case answer::Done: {
            bool scanned = false, stopped = false;
            QString reason;
            if (!unpack(m.body, scanned, stopped, reason)) {
                h.kill();
                why = kStopped;
                return false;
            }
            if (!refused.isEmpty()) {
                why = refused;
                return false;
            }
            cancelled = stopped;
            why = reason;
            return scanned;
        }
        default:
            h.kill();
            why = kStopped;
            return false;
        }
    }
}

void SaneDevice::cancel()
{
    // The helper stops the scan; one that has not within a while is ended.
    qint64 expected = 0;
    d->cancelledAt.compare_exchange_strong(expected, Impl::now());
    d->helper->send(ask::Cancel);
}

} // namespace vintrel::scan
