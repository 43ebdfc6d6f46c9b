#pragma once
// A picture loaded from a file, as the image controls, the size probe and the
// printer use it. It is a cheap value: copies share one picture.
//
// It keeps one copy of its pixels, for the screen, at the size the photo is
// shown at (a camera JPEG is decoded at libjpeg's exact scale M/8, fast and in a
// sliver of the memory; never the whole picture). Who needs more pixels (a photo
// enlarged on screen, the printer) asks for them; they come from the file as
// long as it is still the picture that was loaded, else from the copy held.
#include <functional>
#include <memory>

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

class QThreadPool;

namespace vintrel {

class Picture {
public:
    // The largest screen copy kept, on either side, in device pixels.
    static constexpr int kLargestCopy = 2048;

    Picture() = default; // the empty picture

    bool isEmpty() const { return !d; }
    // The picture's natural size in pixels, standing upright (EXIF orientation applied).
    QSize size() const;
    QString path() const;
    // The copy kept for the screen.
    QImage display() const;
    // A sharper screen copy of at least `pixels` (bounded by size() and
    // kLargestCopy), decoded from the file; a null image when the copy held is
    // large enough or the file is no longer the picture that was loaded.
    QImage sharper(QSize pixels) const;
    // Makes `copy` (from sharper()) the screen copy of every holder of this picture.
    void setDisplay(const QImage &copy) const;
    // The part `part` of the picture (fractions of its upright size) at `pixels`,
    // or fewer in a direction where the picture has fewer: from the file where
    // that gives more detail than the screen copy and the file is still the
    // picture that was loaded, else from the copy.
    QImage render(QSize pixels, QRectF part = QRectF(0, 0, 1, 1)) const;

    // Tells pictures apart without holding one.
    const void *identity() const { return d.get(); }

    friend bool operator==(const Picture &a, const Picture &b) { return a.d == b.d; }
    friend bool operator!=(const Picture &a, const Picture &b) { return a.d != b.d; }

    struct Data;

private:
    std::shared_ptr<const Data> d;
    friend Picture LoadPicture(const QString &path, const std::function<QSize(QSize)> &shownAt);
};

// The device pixels a photo of the given natural size (upright pixels) will be
// shown at on screen.
using ShownAt = std::function<QSize(QSize natural)>;

// The threads pictures are decoded on, as many as the machine has cores. Qt's
// own pool is left to Qt: its painting hands parts of its work to that pool and
// waits for them, and would wait behind decodes there.
QThreadPool &decodingThreads();

// Reads a picture file of any type Qt decodes (JPEG, GIF, BMP, PNG, ...),
// deciding the type from the content, with a screen copy for `shownAt` (by
// default the natural size, at most 1024 pixels a side). The empty path gives
// the empty picture. Throws PictureError for a missing file, one that is not
// an ordinary file or not a picture, a damaged or cut-short one, or one too
// large to decode within the memory budget. Safe to call on any thread.
Picture LoadPicture(const QString &path, const ShownAt &shownAt = {});

} // namespace vintrel
