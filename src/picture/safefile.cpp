#include "safefile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vintrel {

namespace {
FileIdentity identityOf(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}
} // namespace

QString fileNameOf(QByteArrayView bytes)
{
    QString name;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar lead = uchar(bytes[i]);
        // A UTF-8 sequence: its length, the least code point it may hold.
        const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
        char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const uchar next = uchar(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = code << 6 | (next & 0x3F);
        }
        static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= least[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (valid) {
            name += QString::fromUcs4(&code, 1);
            i += length;
        } else {
            name += QChar(0xDC00 + lead);
            ++i;
        }
    }
    return name;
}

QByteArray bytesOf(const QString &name)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF && !(i > 0 && name[i - 1].isHighSurrogate()))
            bytes += char(c.unicode() - 0xDC00); // a byte that stood for itself
        else if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            bytes += name.mid(i++, 2).toUtf8();
        else
            bytes += QString(c).toUtf8();
    }
    return bytes;
}

bool openRegularFile(const QString &path, QFile &file, QString &why, FileIdentity *identity)
{
    const int fd = ::open(bytesOf(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = QStringLiteral("it is not an ordinary file");
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        why = file.errorString();
        ::close(fd);
        return false;
    }
    if (identity)
        *identity = identityOf(st);
    return true;
}

} // namespace vintrel
