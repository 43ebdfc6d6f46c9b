#pragma once
// A picture loaded from a file, as the image controls, the size probe and the
// printer use it. It is a cheap value: copies share one decoded image.
//
// How the pixels are held is this class's business. On loading it keeps a copy
// sized for the screen (a 24-megapixel JPEG is decoded at a fraction of its size,
// which libjpeg does far faster and in a sliver of the memory); a caller that
// needs more pixels, such as the printer, asks render() for the size it needs.
#include <memory>
#include <QImage>
#include <QSize>
#include <QString>

namespace vintrel {

class Picture {
public:
    // The longest side, in pixels, of the copy kept for the screen.
    static constexpr int kDisplaySide = 1024;

    Picture() = default; // the empty picture

    bool isEmpty() const { return !d; }
    // The picture's natural size in pixels, standing upright (EXIF orientation applied).
    QSize size() const;
    QString path() const;
    // The copy kept for the screen: at most kDisplaySide pixels on its longer side.
    QImage display() const;
    // The picture at (at most) the given pixel size, decoded again from its file
    // where that gives more detail than the screen copy; never larger than size().
    QImage render(QSize pixels) const;

    friend bool operator==(const Picture &a, const Picture &b) { return a.d == b.d; }
    friend bool operator!=(const Picture &a, const Picture &b) { return a.d != b.d; }

    struct Data;

private:
    std::shared_ptr<const Data> d;
    friend Picture LoadPicture(const QString &path);
};

// Reads a picture file of any type the platform decodes (JPEG, GIF, BMP, PNG, ...),
// deciding the type from the content. The empty path gives the empty picture.
// Throws PictureError for a missing file, one that is not a picture, a damaged
// or truncated one, or one too large to decode. Safe to call on any thread.
Picture LoadPicture(const QString &path);

} // namespace vintrel
