#include "loading.h"

#include <QGuiApplication>
#include <QtConcurrent/QtConcurrentMap>

#include "platform/errors.h"
#include "platform/waiting.h"

namespace vintrel {

std::optional<QList<std::optional<Picture>>> loadPictures(const QList<PictureRequest> &requests,
                                                          const LoadingProgress &progress)
{
    if (requests.isEmpty())
        return QList<std::optional<Picture>>();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QFuture<std::optional<Picture>> loading =
        QtConcurrent::mapped(&decodingThreads(), requests, [](const PictureRequest &request) {
            std::optional<Picture> picture;
            completed([&] { picture = LoadPicture(request.path, request.shownAt); });
            return picture;
        });
    Waiting waiting;
    waiting.owner = progress.owner;
    waiting.objectName = progress.objectName;
    waiting.text = [text = progress.text, total = int(requests.size())](int loaded, int) { return text(loaded, total); };
    waiting.cancel = [&loading] { loading.cancel(); };
    const bool done = waiting.waitFor(QFuture<void>(loading));
    QGuiApplication::restoreOverrideCursor();
    if (!done)
        return std::nullopt;
    return loading.results();
}

} // namespace vintrel
