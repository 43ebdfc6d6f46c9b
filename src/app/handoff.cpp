#include "handoff.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include "picture/safefile.h"
#include "platform/app.h"

// A plain local stream socket: one length-prefixed path in, "ok" out. The
// program needs nothing more, and Qt's network module would cost start-up time.
namespace vintrel {

namespace {
constexpr int kWaitMs = 5000;
constexpr quint32 kLongestPath = 64 * 1024;

bool socketAddress(const QString &path, sockaddr_un &address, QString &why)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= qsizetype(sizeof address.sun_path)) {
        why = name.isEmpty() ? QStringLiteral("there is no private folder for it")
                             : QStringLiteral("the socket's path %1 is too long").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

QString errnoReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

// True when the process at the other end of the socket is the user's own.
bool ownPeer(int fd)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

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

QString handoffSocket()
{
    const QString folder = App::runtimeFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("vintrel.socket"));
}

QByteArray handoffMessage(const QString &path)
{
    const QByteArray bytes = bytesOf(path);
    QByteArray message(4, '\0');
    qToLittleEndian(quint32(bytes.size()), message.data());
    return message + bytes;
}

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
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, [this] { m_notifier->setEnabled(true); });
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
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of files, say: listened for again in a moment, not at once.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_notifier->setEnabled(false);
                m_resume.start(200);
            }
            return;
        }
        if (!ownPeer(fd)) {
            ::close(fd);
            continue;
        }
        // Full: the connection that has waited longest, silent so far, makes room.
        if (int(m_peers.size()) >= kMostPeers)
            drop(m_order.front());
        auto *peer = new Peer(fd);
        connect(&peer->notifier, &QSocketNotifier::activated, this, [this, fd] { read(fd); });
        peer->patience.setSingleShot(true);
        connect(&peer->patience, &QTimer::timeout, this, [this, fd] { drop(fd); });
        peer->patience.start(kPatienceMs);
        m_peers[fd] = peer;
        m_order.push_back(fd);
    }
}

void FileHandoff::read(int fd)
{
    Peer &peer = *m_peers.at(fd);
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        peer.received.append(chunk, got);
        const quint32 length = peer.received.size() >= 4 ? qFromLittleEndian<quint32>(peer.received.constData()) : 0;
        if (length > kLongestPath || peer.received.size() > 4 + qsizetype(length)) {
            drop(fd); // no path, or more than one
            return;
        }
        if (peer.received.size() == 4 + qsizetype(length)) {
            const QByteArray bytes = peer.received.mid(4);
            const QString path = fileNameOf(bytes);
            const bool whole = !bytes.isEmpty() && !bytes.contains('\0') && QDir::isAbsolutePath(path);
            if (whole)
                (void)!::send(fd, "ok\n", 3, MSG_NOSIGNAL);
            drop(fd);
            // Opened from the event loop, not from inside this notifier, which
            // a dialog's own loop would otherwise re-enter.
            if (whole)
                QTimer::singleShot(0, this, [this, path] { m_take(path); });
            return;
        }
    }
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
        drop(fd);
}

void FileHandoff::drop(int fd)
{
    const auto found = m_peers.find(fd);
    if (found == m_peers.end())
        return;
    found->second->notifier.setEnabled(false);
    found->second->patience.stop();
    found->second->deleteLater();
    m_peers.erase(found);
    m_order.erase(std::find(m_order.begin(), m_order.end(), fd));
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
    } else if (!ownPeer(fd)) {
        why = QStringLiteral("the socket belongs to another user");
    } else {
        const QByteArray message = handoffMessage(absolutePath);
        qsizetype sent = 0;
        while (why.isEmpty() && sent < message.size()) {
            const ssize_t n = ::send(fd, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL);
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
