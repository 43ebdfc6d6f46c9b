#include "bmpwriter.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>

namespace vintrel::scan {

namespace {
constexpr qint64 kHeaderBytes = 54;

QString megabytes(qint64 bytes) { return QString::number((bytes + (1 << 20) - 1) >> 20); }

// The process's file mode mask, read without changing it.
mode_t processUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 022;
}

// Sample x of a line, scaled to 0..255, for `depth` bits a sample. One-bit
// grey samples are 1 for black.
int sample(const uchar *line, qint64 index, int depth, bool gray)
{
    switch (depth) {
    case 1: {
        const bool bit = line[index >> 3] & (0x80 >> (index & 7));
        return (bit != gray) ? 255 : 0;
    }
    case 16: {
        quint16 v;
        std::memcpy(&v, line + 2 * index, 2);
        return v >> 8;
    }
    default: return line[index];
    }
}
} // namespace

BmpWriter::BmpWriter(const QString &target, double dotsPerInch) : m_target(target), m_dpi(dotsPerInch) {}

BmpWriter::~BmpWriter() = default; // the temporary files remove themselves unless finished

bool BmpWriter::fail(const QString &why)
{
    m_why = why;
    return false;
}

QByteArray BmpWriter::header(int height) const
{
    QByteArray h(int(kHeaderBytes), '\0');
    auto put16 = [&](int at, quint16 v) { qToLittleEndian(v, h.data() + at); };
    auto put32 = [&](int at, quint32 v) { qToLittleEndian(v, h.data() + at); };
    const quint32 image = quint32(m_stride * height);
    const quint32 perMetre = quint32(std::lround(m_dpi / 0.0254));
    h[0] = 'B';
    h[1] = 'M';
    put32(2, quint32(kHeaderBytes) + image);
    put32(10, quint32(kHeaderBytes));
    put32(14, 40);
    put32(18, quint32(m_width));
    put32(22, quint32(height)); // positive: bottom-up
    put16(26, 1);
    put16(28, 24);
    put32(34, image);
    put32(38, perMetre);
    put32(42, perMetre);
    return h;
}

// Rows go straight to the file where they belong, unbuffered: bottom-up, each
// at its own place. `io` (pread or pwrite) runs until every byte has passed;
// 0, or why not.
template <class Bytes, class Io> int BmpWriter::fully(Io io, QFile &file, qint64 at, Bytes data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t n = io(file.handle(), data + done, size_t(size - done), off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

bool BmpWriter::writeAt(QFile &file, qint64 at, const char *data, qint64 size)
{
    const int error = fully(::pwrite, file, at, data, size);
    return !error || fail(QStringLiteral("The image could not be written: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

bool BmpWriter::readAt(QFile &file, qint64 at, char *data, qint64 size)
{
    const int error = fully(::pread, file, at, data, size);
    return !error || fail(QStringLiteral("The image could not be read back: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

bool BmpWriter::beginFrame(const Frame &frame)
{
    if (frame.pixelsPerLine <= 0 || frame.bytesPerLine <= 0 || frame.lines == 0 ||
        !(frame.depth == 1 || frame.depth == 8 || frame.depth == 16))
        return fail(QStringLiteral("The scanner sent an image of a kind this program cannot store."));
    const int samples = frame.channel == Channel::Rgb ? 3 : 1;
    if (qint64(frame.bytesPerLine) * 8 < qint64(frame.pixelsPerLine) * samples * frame.depth)
        return fail(QStringLiteral("The scanner sent lines shorter than their pixels."));
    if (m_anyFrame && frame.pixelsPerLine != m_width)
        return fail(QStringLiteral("The scanner changed the width of the image between passes."));
    // Every size is taken in 64 bits and checked before anything is made: the
    // bitmap within its budget, a line within what its pixels need.
    const qint64 stride = (qint64(frame.pixelsPerLine) * 3 + 3) / 4 * 4;
    if (kHeaderBytes + stride * qMax(frame.lines, 1) > kMostBytes)
        return fail(frame.lines > 0 ? tooLarge(QStringLiteral("%1 x %2 pixels").arg(frame.pixelsPerLine).arg(frame.lines))
                                    : tooLarge(QStringLiteral("%1 pixels wide").arg(frame.pixelsPerLine)));
    if (frame.bytesPerLine > 2 * stride + 4096)
        return fail(QStringLiteral("The scanner sent lines of %1 bytes for %2 pixels.").arg(frame.bytesPerLine).arg(frame.pixelsPerLine));
    m_frame = frame;
    m_line = QByteArray(frame.bytesPerLine, '\0');
    m_filled = 0;
    m_y = 0;
    if (!m_anyFrame) {
        m_anyFrame = true;
        m_width = frame.pixelsPerLine;
        m_stride = stride;
        m_row = QByteArray(qsizetype(m_stride), '\0');
        const QString folder = QFileInfo(m_target).absolutePath();
        struct statvfs disk {};
        const qint64 needed = kHeaderBytes + stride * qMax(frame.lines, 1);
        if (::statvfs(QFile::encodeName(folder).constData(), &disk) == 0 && qint64(disk.f_bavail) * qint64(disk.f_frsize) < needed)
            return fail(diskTooFull(qint64(disk.f_bavail) * qint64(disk.f_frsize), needed));
        m_bitmap = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral(".scan-XXXXXX.bmp")));
        if (!m_bitmap->open())
            return fail(QStringLiteral("No file can be made in %1: %2").arg(folder, m_bitmap->errorString()));
        if (frame.lines > 0) {
            m_height = frame.lines;
        } else {
            m_staged = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral(".scan-XXXXXX.raw")));
            if (!m_staged->open())
                return fail(QStringLiteral("No file can be made in %1: %2").arg(folder, m_staged->errorString()));
        }
    } else if (m_height > 0 && frame.lines > 0 && frame.lines != m_height) {
        return fail(QStringLiteral("The scanner changed the height of the image between passes."));
    }
    return true;
}

QString BmpWriter::diskTooFull(qint64 available, qint64 needed)
{
    const qint64 unit = needed < 10 << 20 ? 1 << 10 : 1 << 20;
    const QString name = unit == 1 << 10 ? QStringLiteral("kB") : QStringLiteral("MB");
    return QStringLiteral("The disk holds %1 %2 more, and the image needs %3 %2.")
        .arg(available / unit)
        .arg(name)
        .arg((needed + unit - 1) / unit);
}

QString BmpWriter::tooLarge(const QString &size)
{
    return QStringLiteral("The scanner sent an image of %1, too large to place: a scan may take at most %2 MB.")
        .arg(size, megabytes(kMostBytes));
}

qint64 BmpWriter::rowAt(int y) const
{
    return m_staged ? qint64(y) * m_stride : kHeaderBytes + qint64(m_height - 1 - y) * m_stride;
}

bool BmpWriter::putRow(int y, const uchar *line)
{
    QFile &file = m_staged ? static_cast<QFile &>(*m_staged) : static_cast<QFile &>(*m_bitmap);
    uchar *row = reinterpret_cast<uchar *>(m_row.data());
    const Channel c = m_frame.channel;
    const bool single = c == Channel::Red || c == Channel::Green || c == Channel::Blue;
    if (single) { // the other colours come from the passes before
        std::memset(row, 0, size_t(m_stride));
        const qint64 at = rowAt(y);
        if (file.size() >= at + m_stride && !readAt(file, at, m_row.data(), m_stride))
            return false;
        const int offset = c == Channel::Blue ? 0 : c == Channel::Green ? 1 : 2;
        for (int x = 0; x < m_width; ++x)
            row[3 * x + offset] = uchar(sample(line, x, m_frame.depth, false));
    } else if (c == Channel::Gray) {
        for (int x = 0; x < m_width; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = uchar(sample(line, x, m_frame.depth, true));
    } else if (m_frame.depth == 8) { // the common case: RGB to BGR
        for (int x = 0; x < m_width; ++x) {
            row[3 * x] = line[3 * x + 2];
            row[3 * x + 1] = line[3 * x + 1];
            row[3 * x + 2] = line[3 * x];
        }
    } else {
        for (int x = 0; x < m_width; ++x) {
            row[3 * x + 2] = uchar(sample(line, 3 * qint64(x), m_frame.depth, false));
            row[3 * x + 1] = uchar(sample(line, 3 * qint64(x) + 1, m_frame.depth, false));
            row[3 * x] = uchar(sample(line, 3 * qint64(x) + 2, m_frame.depth, false));
        }
    }
    return writeAt(file, rowAt(y), m_row.constData(), m_stride);
}

bool BmpWriter::write(const char *data, qint64 size)
{
    while (size > 0) {
        const qsizetype n = qsizetype(qMin<qint64>(size, m_line.size() - m_filled));
        std::memcpy(m_line.data() + m_filled, data, size_t(n));
        m_filled += n;
        data += n;
        size -= n;
        if (m_filled < m_line.size())
            break;
        m_filled = 0;
        if (m_height > 0 && m_y >= m_height)
            return fail(QStringLiteral("The scanner sent more lines than it announced."));
        if (kHeaderBytes + (m_y + 1) * m_stride > kMostBytes) // lines not told before the end
            return fail(tooLarge(QStringLiteral("%1 pixels wide and more than %2 lines").arg(m_width).arg(m_y)));
        if (!putRow(m_y++, reinterpret_cast<const uchar *>(m_line.constData())))
            return false;
    }
    return true;
}

bool BmpWriter::endFrame()
{
    if (m_filled != 0)
        return fail(QStringLiteral("The scanner ended the image in the middle of a line."));
    if (m_height < 0)
        m_height = m_y;
    if (m_y != m_height || m_height <= 0)
        return fail(QStringLiteral("The scanner sent %1 of the %2 lines of the image.").arg(m_y).arg(m_height));
    return true;
}

bool BmpWriter::finish()
{
    if (!m_anyFrame || m_height <= 0)
        return fail(QStringLiteral("The scanner sent no image."));
    if (m_staged) { // the rows come out of the staging file bottom-up
        for (int y = m_height - 1; y >= 0; --y) {
            if (!readAt(*m_staged, qint64(y) * m_stride, m_row.data(), m_stride) ||
                !writeAt(*m_bitmap, kHeaderBytes + qint64(m_height - 1 - y) * m_stride, m_row.constData(), m_stride))
                return false;
        }
        m_staged.reset();
    }
    const QByteArray h = header(m_height);
    // It takes its name whole, never a part of it; like any file just written,
    // it then reaches the disk when the system writes it out.
    if (!writeAt(*m_bitmap, 0, h.constData(), h.size()))
        return false;
    // A temporary file is the user's alone: the bitmap gets the mode any new
    // file of the user gets.
    ::fchmod(int(m_bitmap->handle()), 0666 & ~processUmask());
    // Into place without replacing anything that stands under the name.
    const QByteArray from = QFile::encodeName(m_bitmap->fileName()), to = QFile::encodeName(m_target);
    if (::link(from.constData(), to.constData()) != 0) {
        if (errno == EEXIST)
            return fail(QStringLiteral("%1 exists already.").arg(m_target));
        if (::rename(from.constData(), to.constData()) != 0)
            return fail(QStringLiteral("The image could not be named %1: %2").arg(m_target, QString::fromLocal8Bit(std::strerror(errno))));
        m_bitmap->setAutoRemove(false);
    }
    m_bitmap.reset(); // removes the temporary name when it was linked
    return true;
}

} // namespace vintrel::scan
