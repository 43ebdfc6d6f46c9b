#pragma once
// Opening the files users name, safely: only a regular file is read, and
// opening never blocks (a FIFO or a device named in a dialog or a layout file
// is refused at once, not waited on). The identity of a file tells later
// whether it is still the file that was read.
#include <QByteArrayView>
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

// File names as the bytes the file system has them. Where they are not UTF-8,
// each stray byte stands for itself as a character of its own (U+DC80 to
// U+DCFF, which no valid name decodes to), so that any name goes into a
// QString and back whole, where Qt's own decoding would replace such bytes.
QString fileNameOf(QByteArrayView bytes);
QByteArray bytesOf(const QString &name);

// Opens `path` for reading into `file` when it names a regular file; false with
// a reason otherwise (a name holding a NUL names no file). `identity`, when given, receives the file's identity.
bool openRegularFile(const QString &path, QFile &file, QString &why, FileIdentity *identity = nullptr);

// An open file mapped whole into memory for reading, as long as this lives.
// Anyone who may write the file may shorten it while it is read (a sync tool,
// an editor saving in place): the pages it no longer holds then read as zeros
// rather than ending the process, and cutShort() tells that it happened. An
// empty file, or one that cannot be mapped, gives no data.
class MappedFile {
public:
    explicit MappedFile(const QFile &file);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;
    const uchar *data() const { return m_data; }
    qint64 size() const { return m_size; }
    // Whether the file went short of some page that was read.
    bool cutShort() const;

private:
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    int m_guard = -1;
};

} // namespace vintrel
