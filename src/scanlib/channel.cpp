#include "channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace vintrel::scan {

namespace {
// A scan's data comes 256 KB a message; anything far longer is not a message.
constexpr quint32 kLongest = 16 << 20;
// Once a message has begun, the rest of it must come within this time.
constexpr int kRestMs = 30'000;

bool waitReadable(int socket, int ms)
{
    pollfd p{socket, POLLIN, 0};
    for (;;) {
        const int n = poll(&p, 1, ms);
        if (n >= 0 || errno != EINTR)
            return n > 0;
    }
}

bool readAll(int socket, char *to, qsizetype size)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRestMs);
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitReadable(socket, int(left.count())))
            return false;
        const ssize_t n = recv(socket, to, size_t(size), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        to += n;
        size -= n;
    }
    return true;
}
} // namespace

bool sendMessage(int socket, quint8 kind, const QByteArray &body)
{
    QByteArray all(5, '\0');
    const quint32 length = quint32(body.size());
    memcpy(all.data(), &length, 4);
    all[4] = char(kind);
    all += body;
    const char *from = all.constData();
    qsizetype left = all.size();
    while (left > 0) {
        const ssize_t n = send(socket, from, size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        from += n;
        left -= n;
    }
    return true;
}

bool receiveMessage(int socket, Message &message, int ms, bool *timedOut)
{
    if (timedOut)
        *timedOut = false;
    if (!waitReadable(socket, ms)) {
        if (timedOut)
            *timedOut = true;
        return false;
    }
    char head[5];
    if (!readAll(socket, head, 5))
        return false;
    quint32 length = 0;
    memcpy(&length, head, 4);
    if (length > kLongest)
        return false;
    message.kind = quint8(head[4]);
    message.body.resize(qsizetype(length));
    return readAll(socket, message.body.data(), message.body.size());
}

QDataStream &operator<<(QDataStream &out, const DeviceInfo &d) { return out << d.name << d.vendor << d.model << d.type; }
QDataStream &operator>>(QDataStream &in, DeviceInfo &d) { return in >> d.name >> d.vendor >> d.model >> d.type; }
QDataStream &operator<<(QDataStream &out, const Setting &s)
{
    return out << s.name << s.title << s.unit << s.words << s.numbers << s.minimum << s.maximum << s.step << s.whole
               << s.value;
}
QDataStream &operator>>(QDataStream &in, Setting &s)
{
    return in >> s.name >> s.title >> s.unit >> s.words >> s.numbers >> s.minimum >> s.maximum >> s.step >> s.whole >>
           s.value;
}

} // namespace vintrel::scan
