#pragma once
// Opening the files users name, safely: only a regular file is read, and
// opening never blocks (a FIFO or a device named in a dialog or a layout file
// is refused at once, not waited on). The identity of a file tells later
// whether it is still the file that was read.
#include <QFile>
#include <QString>

namespace vintrel {

struct FileIdentity {
    quint64 device = 0, inode = 0;
    qint64 size = -1, modifiedNs = 0;
    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.device == b.device && a.inode == b.inode && a.size == b.size && a.modifiedNs == b.modifiedNs;
    }
    friend bool operator!=(const FileIdentity &a, const FileIdentity &b) { return !(a == b); }
};

// Opens `path` for reading into `file` when it names a regular file; false with
// a reason otherwise. `identity`, when given, receives the file's identity.
bool openRegularFile(const QString &path, QFile &file, QString &why, FileIdentity *identity = nullptr);

} // namespace vintrel
