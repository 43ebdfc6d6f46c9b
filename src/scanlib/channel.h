#pragma once
// The scanner library and its helper process (vintrel-sane) talk over a Unix
// socket, one message at a time: its length (4 bytes, the machine's order), its
// kind (1 byte), then its values as QDataStream writes them. The library asks,
// the helper answers each request; only Cancel may come while a scan sends its
// frames, and it has no answer of its own.
#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

#include "sanedevice.h"

namespace vintrel::scan {

namespace ask { // the library's requests
enum : quint8 { Devices = 1, Open, Settings, Set, Resolution, Scan, Cancel, Close, Quit };
}
namespace answer { // the helper's answers
enum : quint8 {
    Started = 101, // bool started, QString why
    Devices,       // QList<DeviceInfo>
    Opened,        // bool, QString why
    Settings,      // QList<Setting>
    Set,           // bool, QString why
    Resolution,    // double
    Frame,         // qint32 format (BmpWriter::Channel or -1), depth, pixels a line, bytes a line, lines (-1 unknown)
    Data,          // the bytes themselves, no QDataStream
    FrameEnd,      // nothing
    Done,          // bool scanned, bool cancelled, QString why
    Closed,        // nothing
};
}

struct Message {
    quint8 kind = 0;
    QByteArray body;
};

// False when the other side has gone.
bool sendMessage(int socket, quint8 kind, const QByteArray &body = {});
// Waits up to `ms` milliseconds (-1: for ever) for a message to begin, then
// reads it whole. False when the other side has gone or sent nonsense, or, with
// `timedOut` set, when nothing came in time.
bool receiveMessage(int socket, Message &message, int ms, bool *timedOut = nullptr);

template <class... T> QByteArray pack(const T &...values)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    (out << ... << values);
    return body;
}
template <class... T> bool unpack(const QByteArray &body, T &...values)
{
    QDataStream in(body);
    (in >> ... >> values);
    return in.status() == QDataStream::Ok;
}

QDataStream &operator<<(QDataStream &out, const DeviceInfo &d);
QDataStream &operator>>(QDataStream &in, DeviceInfo &d);
QDataStream &operator<<(QDataStream &out, const Setting &s);
QDataStream &operator>>(QDataStream &in, Setting &s);

} // namespace vintrel::scan
