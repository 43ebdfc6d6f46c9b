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

namespace {
// A list as QDataStream writes it (a count, then the elements), read without
// trusting the count: at most one element a byte left.
template <class T> QDataStream &readList(QDataStream &in, QList<T> &list)
{
    list.clear();
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok || count > quint64(in.device()->bytesAvailable())) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    for (quint32 n = 0; n < count && in.status() == QDataStream::Ok; ++n) {
        T element;
        in >> element;
        list.append(element);
    }
    return in;
}
} // namespace

QDataStream &operator<<(QDataStream &out, const Value &v)
{
    if (v.value.typeId() == QMetaType::QString)
        return out << quint8(2) << v.value.toString();
    if (v.value.isValid())
        return out << quint8(1) << v.value.toDouble();
    return out << quint8(0);
}
QDataStream &operator>>(QDataStream &in, Value &v)
{
    quint8 kind = 0;
    in >> kind;
    QString text;
    double number = 0;
    if (kind == 2)
        in >> text, v.value = text;
    else if (kind == 1)
        in >> number, v.value = number;
    else if (kind == 0)
        v.value = QVariant();
    else
        in.setStatus(QDataStream::ReadCorruptData);
    return in;
}
QDataStream &operator<<(QDataStream &out, const DeviceInfo &d) { return out << d.name << d.vendor << d.model << d.type; }
QDataStream &operator>>(QDataStream &in, DeviceInfo &d) { return in >> d.name >> d.vendor >> d.model >> d.type; }
QDataStream &operator<<(QDataStream &out, const Setting &s)
{
    return out << s.name << s.title << s.unit << s.words << s.numbers << s.minimum << s.maximum << s.step << s.whole
               << Value{s.value};
}
QDataStream &operator>>(QDataStream &in, Setting &s)
{
    Value value;
    in >> s.name >> s.title >> s.unit;
    readList(in, s.words);
    readList(in, s.numbers);
    in >> s.minimum >> s.maximum >> s.step >> s.whole >> value;
    s.value = value.value;
    return in;
}
QDataStream &operator>>(QDataStream &in, QList<DeviceInfo> &list) { return readList(in, list); }
QDataStream &operator>>(QDataStream &in, QList<Setting> &list) { return readList(in, list); }

} // namespace vintrel::scan
