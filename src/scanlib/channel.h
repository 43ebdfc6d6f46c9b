#pragma once
// The scanner library and its helper process (vintrel-sane) talk over a Unix
// socket, one message at a time: its length (4 bytes, the machine's order), its
// kind (1 byte), then its values as QDataStream writes them. The library asks,
// the helper answers each request; only Cancel may come while a scan sends its
// frames, and it has no answer of its own.
//
// Neither side trusts what it reads: a message must decode exactly, to its
// last byte, every count is bounded by the bytes that follow it, and a value
// (QVariant) crosses only as a number or a text.
#include <new>

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
// False when the body does not hold exactly these values.
template <class... T> bool unpack(const QByteArray &body, T &...values)
{
    QDataStream in(body);
    try {
        (in >> ... >> values);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return in.status() == QDataStream::Ok && in.atEnd();
}

// A setting's value: a number or a text (or nothing).
struct Value {
    QVariant value;
};

QDataStream &operator<<(QDataStream &out, const Value &v);
QDataStream &operator>>(QDataStream &in, Value &v);
QDataStream &operator<<(QDataStream &out, const DeviceInfo &d);
QDataStream &operator>>(QDataStream &in, DeviceInfo &d);
QDataStream &operator<<(QDataStream &out, const Setting &s);
QDataStream &operator>>(QDataStream &in, Setting &s);
// Lists read no more elements than the bytes left could hold.
QDataStream &operator>>(QDataStream &in, QList<DeviceInfo> &list);
QDataStream &operator>>(QDataStream &in, QList<Setting> &list);

} // namespace vintrel::scan
