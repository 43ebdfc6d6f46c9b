#pragma once
// Running work on the SANE thread while the windows go on repainting: for the
// first moments nothing but painting and timers is handled (no clicks reach
// the program meanwhile), then a modal busy indication says what is happening
// until the work is done.
#include <QApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "sanedevice.h"

namespace vintrel::scan {

template <class Work>
auto onSaneThread(Work work, QWidget *owner, const QString &busy) -> decltype(work())
{
    using Result = decltype(work());
    QFuture<Result> future = QtConcurrent::run(&saneThread(), std::move(work));
    QFutureWatcher<Result> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished()) {
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!future.isFinished()) {
        QProgressDialog dialog(busy, QString(), 0, 0, owner);
        dialog.setObjectName(QStringLiteral("ScannerBusy"));
        dialog.setWindowTitle(QApplication::applicationDisplayName());
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setCancelButton(nullptr);
        dialog.setMinimumDuration(0);
        dialog.show();
        while (!future.isFinished())
            loop.exec();
    }
    if constexpr (!std::is_void_v<Result>)
        return future.takeResult();
}

} // namespace vintrel::scan
