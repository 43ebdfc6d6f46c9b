#pragma once
// Loading several picture files at once: on every core, while the window goes
// on repainting, with a progress after a moment whose Cancel stops the loading.
#include <functional>
#include <optional>

#include <QList>
#include <QString>

#include "picture/picture.h"

class QWidget;

namespace vintrel {

struct PictureRequest {
    QString path;
    // Called on a decoding thread: it may use values only, never the page.
    ShownAt shownAt;
};

struct LoadingProgress {
    QWidget *owner = nullptr;
    QString objectName;
    // The progress's text for the files loaded so far and the number asked for.
    std::function<QString(int loaded, int total)> text;
};

// Each file's picture in the order asked, or nothing for a file that cannot be
// loaded (missing, damaged, not a picture); nothing at all when the user
// cancelled.
std::optional<QList<std::optional<Picture>>> loadPictures(const QList<PictureRequest> &requests,
                                                          const LoadingProgress &progress);

} // namespace vintrel
