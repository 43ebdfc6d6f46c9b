#pragma once
// HEIF files (HEIC from phones, AVIF): the primary image of the file, turned
// and mirrored as the file says, its embedded thumbnails, its colour
// description, and decoding to 8 bits a channel. Damaged data fails rather
// than giving half a picture. libheif and its codecs are read in a plugin of
// the program's own (libvintrelheif.so, heifdecoder.cpp), loaded on the first
// HEIF picture: linked to the program they would slow every start.
#include <memory>

#include <QImage>
#include <QSize>
#include <QString>

#include "colour.h"

namespace vintrel::heif {

// True when the bytes start like a HEIF or AVIF file.
bool isHeif(const uchar *data, qint64 size);

class File {
public:
    virtual ~File() = default;
    // The primary image's size, upright.
    virtual QSize size() const = 0;
    // The largest embedded thumbnail's size, or an empty size.
    virtual QSize thumbnailSize() const = 0;
    // The most pixels decoding the primary image or its largest thumbnail
    // may put together, whatever its boxes claim.
    virtual qint64 mostPixels(bool thumbnail) const = 0;
    // The primary image, or its largest thumbnail, upright, shrunk to at most
    // `atMost` (when not empty), as RGB32 (ARGB32 with alpha), and where its
    // colours come from (the file's boxes, else the coded picture); a null
    // image and a reason on failure. One decode at a time.
    virtual QImage decode(bool thumbnail, QSize atMost, QString &why, colour::Source &colours) const = 0;
};

// Reads the file's boxes from bytes that stay valid while the File lives;
// nothing and a reason when they hold no usable picture, or when the plugin
// cannot be loaded. Safe on any thread.
std::unique_ptr<File> open(const uchar *data, qint64 size, QString &why);

// The plugin's one function, as open() finds it.
using Opener = File *(*)(const uchar *data, qint64 size, QString *why);
constexpr const char *kOpener = "vintrel_heif_open";

} // namespace vintrel::heif
