#pragma once
// HEIF files (HEIC from phones, AVIF) through libheif: the primary image of
// the file, turned and mirrored as the file says (libheif applies it), its
// embedded thumbnails, its colour description, and decoding to 8 bits a
// channel. Damaged data fails rather than giving half a picture.
#include <memory>

#include <QImage>
#include <QSize>
#include <QString>

#include "colour.h"

struct heif_context;
struct heif_image_handle;

namespace vintrel::heif {

// True when the bytes start like a HEIF or AVIF file.
bool isHeif(const uchar *data, qint64 size);

class File {
public:
    // Reads the file's boxes from bytes that stay valid while the File lives;
    // an empty File and a reason when they hold no usable picture.
    File(const uchar *data, qint64 size, QString &why);
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    bool isNull() const { return !m_primary; }

    // The primary image's size, upright.
    QSize size() const { return m_size; }
    // The largest embedded thumbnail's size, or an empty size.
    QSize thumbnailSize() const { return m_thumbnailSize; }
    // The primary image, or its largest thumbnail, upright, shrunk to at most
    // `atMost` (when not empty), as RGB32 (ARGB32 with alpha), and where its
    // colours come from (the file's boxes, else the coded picture); a null
    // image and a reason on failure.
    QImage decode(bool thumbnail, QSize atMost, QString &why, colour::Source &colours) const;

private:
    heif_context *m_context = nullptr;
    heif_image_handle *m_primary = nullptr;
    heif_image_handle *m_thumbnail = nullptr;
    QSize m_size, m_thumbnailSize;
    colour::Source m_colours;
};

} // namespace vintrel::heif
