#pragma once
// Writes one scanned image, frame by frame as its data arrives, into a 24-bit
// Windows bitmap: rows bottom-up, each padded to 4 bytes, the scan resolution in
// the header's pixels per metre. Frames are grey, RGB, or one colour of three
// passes, of 1, 8 or 16 bits a sample (16-bit samples in the machine's byte
// order), their lines possibly padded, and their number of lines possibly
// unknown until the end. Everything goes to a temporary file beside the target,
// which takes the target's name only when the image is complete; a writer that
// is destroyed before that leaves nothing behind.
#include <memory>

#include <QByteArray>
#include <QString>

class QFile;
class QTemporaryFile;

namespace vintrel::scan {

class BmpWriter {
public:
    enum class Channel { Gray, Rgb, Red, Green, Blue };
    struct Frame {
        Channel channel = Channel::Gray;
        int depth = 8;
        int pixelsPerLine = 0;
        int bytesPerLine = 0;
        int lines = -1; // -1: not known before the frame ends
    };

    // The largest bitmap written: what the program can place on the page.
    static constexpr qint64 kMostBytes = qint64(1) << 30;

    BmpWriter(const QString &target, double dotsPerInch);
    ~BmpWriter();
    BmpWriter(const BmpWriter &) = delete;
    BmpWriter &operator=(const BmpWriter &) = delete;

    // Each returns false with a reason (why()) on failure.
    bool beginFrame(const Frame &frame);
    bool write(const char *data, qint64 size);
    bool endFrame();
    bool finish(); // the bitmap complete, under the target's name
    const QString &why() const { return m_why; }

    // What to say when the disk holds `available` bytes more and a bitmap
    // needs `needed`: the figures in kilobytes below 10 MB, rounded down for
    // what the disk holds and up for what is needed, so that they never read
    // the same.
    static QString diskTooFull(qint64 available, qint64 needed);

private:
    bool fail(const QString &why);
    static QString tooLarge(const QString &size);
    bool putRow(int y, const uchar *line);
    template <class Bytes, class Io> static int fully(Io io, QFile &file, qint64 at, Bytes data, qint64 size);
    bool writeAt(QFile &file, qint64 at, const char *data, qint64 size);
    bool readAt(QFile &file, qint64 at, char *data, qint64 size);
    qint64 rowAt(int y) const;
    QByteArray header(int height) const;

    QString m_target;
    double m_dpi;
    std::unique_ptr<QTemporaryFile> m_bitmap; // becomes the target
    std::unique_ptr<QTemporaryFile> m_staged; // rows top-down while the height is unknown
    Frame m_frame;
    int m_width = 0, m_height = -1; // -1 while unknown
    qint64 m_stride = 0;
    QByteArray m_line;    // the input line being assembled
    qsizetype m_filled = 0;
    int m_y = 0;          // the next line of the current frame
    QByteArray m_row;     // one output row
    bool m_anyFrame = false;
    QString m_why;
};

} // namespace vintrel::scan
