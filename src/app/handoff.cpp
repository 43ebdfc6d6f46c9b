#include "handoff.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTimer>

#include "platform/app.h"

// A plain local stream socket: one line (the path) in, "ok" out. The program
// needs nothing more, and Qt's network module would cost start-up time.
namespace vintrel {

namespace {
constexpr int kWaitMs = 5000;
constexpr qsizetype kLongestLine = 64 * 1024; // a path, and no more

bool socketAddress(const QString &path, sockaddr_un &address, QString &why)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof address.sun_path)) {
        why = QStringLiteral("the socket's path %1 is too long").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

QString errnoReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Waits up to `ms` for `events` on `fd`; false on a timeout or an error.
bool waitFor(int fd, short events, int ms)
{
    pollfd one{fd, events, 0};
    int ready;
    do
        ready = ::poll(&one, 1, ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}
} // namespace

QString handoffSocket() { return QDir(App::runtimeFolder()).filePath(QStringLiteral("vintrel.socket")); }

FileHandoff::FileHandoff(std::function<void(const QString &)> take, QObject *parent)
    : QObject(parent), m_take(std::move(take))
{
    sockaddr_un address;
    QString why;
    if (!socketAddress(handoffSocket(), address, why))
        return;
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return;
    // Only the copy that holds the lock gets here: a socket left by a copy that
    // was killed is its own to replace. Only the user may connect.
    ::unlink(address.sun_path);
    const mode_t mask = ::umask(0077);
    const bool bound = ::bind(m_listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bound || ::listen(m_listener, 8) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_listener, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { accept(); });
}

FileHandoff::~FileHandoff()
{
    while (!m_peers.empty())
        drop(m_peers.begin()->first);
    if (m_listener >= 0) {
        m_notifier.reset();
        ::close(m_listener);
    }
}

void FileHandoff::accept()
{
    int fd;
    while ((fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
        Peer &peer = m_peers[fd];
        peer.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(peer.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { read(fd); });
    }
}

void FileHandoff::read(int fd)
{
    Peer &peer = m_peers.at(fd);
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        peer.line.append(chunk, got);
        const qsizetype end = peer.line.indexOf('\n');
        if (end >= 0) {
            const QString path = QString::fromUtf8(peer.line.left(end));
            (void)!::send(fd, "ok\n", 3, MSG_NOSIGNAL);
            drop(fd);
            // Opened from the event loop, not from inside this notifier, which
            // a dialog's own loop would otherwise re-enter.
            if (QDir::isAbsolutePath(path))
                QTimer::singleShot(0, this, [this, path] { m_take(path); });
            return;
        }
        if (peer.line.size() > kLongestLine)
            break;
    }
    if (got == 0 || peer.line.size() > kLongestLine || (got < 0 && errno != EAGAIN && errno != EINTR))
        drop(fd);
}

void FileHandoff::drop(int fd)
{
    const auto found = m_peers.find(fd);
    if (found == m_peers.end())
        return;
    found->second.notifier->setEnabled(false);
    // Deleted later: this may run inside the notifier's own signal.
    found->second.notifier.release()->deleteLater();
    m_peers.erase(found);
    ::close(fd);
}

bool handFileToRunningCopy(const QString &absolutePath, QString &why)
{
    sockaddr_un address;
    if (!socketAddress(handoffSocket(), address, why))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = errnoReason();
        return false;
    }
    const timeval wait{kWaitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    QByteArray answer;
    // The running copy may be starting: it holds the lock a moment before it listens.
    int connected;
    for (int tries = 0; (connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address)) != 0 &&
                        (errno == ENOENT || errno == ECONNREFUSED) && tries < 100;
         ++tries)
        ::usleep(20000);
    if (connected != 0) {
        why = errnoReason();
    } else {
        const QByteArray line = absolutePath.toUtf8() + '\n';
        qsizetype sent = 0;
        while (why.isEmpty() && sent < line.size()) {
            const ssize_t n = ::send(fd, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
            else if (errno != EINTR)
                why = errnoReason();
        }
        while (why.isEmpty() && !answer.contains('\n')) {
            if (!waitFor(fd, POLLIN, kWaitMs)) {
                why = QStringLiteral("the running copy did not answer");
                break;
            }
            char chunk[16];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0)
                answer.append(chunk, n);
            else if (n == 0 || errno != EINTR)
                why = QStringLiteral("the running copy did not answer");
        }
    }
    ::close(fd);
    return why.isEmpty() && answer == "ok\n";
}

} // namespace vintrel
