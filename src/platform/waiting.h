#pragma once
// Waiting for work that runs off the GUI thread: the one way the program and
// its scanner library wait. The windows go on repainting while input to them
// is held off: for the first moments nothing but painting, timers and the like
// is handled (a click made then arrives once the work is done), then a modal
// progress says what is happening, with Cancel where the work can be stopped.
// Nothing spins, even once the program is ending and no dialog can be shown.
#include <functional>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>

namespace vintrel {

struct Waiting {
    // The progress shows once the work has taken this long.
    static constexpr int kQuietMs = 300;

    QWidget *owner = nullptr;
    QString objectName = QStringLiteral("Waiting");
    // The progress's text, for the work's progress value and maximum (0 while
    // the work reports none).
    std::function<QString(int value, int maximum)> text;
    // Stops the work; the progress offers Cancel when it is set.
    std::function<void()> cancel;

    // True while some work is being waited for: nothing else may start.
    static bool busy() { return depth() > 0; }

    // Waits until `work` has finished. False when the user cancelled: the
    // work has then been stopped and has finished too.
    bool waitFor(QFuture<void> work) const
    {
        struct Depth {
            Depth() { ++depth(); }
            ~Depth() { --depth(); }
        } const inside;
        QFutureWatcher<void> watcher;
        watcher.setFuture(work);
        if (!work.isFinished()) {
            QEventLoop quiet;
            QObject::connect(&watcher, &QFutureWatcherBase::finished, &quiet, &QEventLoop::quit);
            QTimer::singleShot(kQuietMs, &quiet, &QEventLoop::quit);
            quiet.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
        }
        bool stopped = false;
        if (!work.isFinished()) {
            Progress progress(bool(cancel), owner);
            progress.setLabelText(text ? text(0, 0) : QString());
            progress.setObjectName(objectName);
            progress.setWindowTitle(QApplication::applicationDisplayName());
            progress.setWindowModality(Qt::ApplicationModal);
            progress.setAutoClose(false);
            progress.setAutoReset(false);
            progress.setMinimumDuration(0);
            if (cancel)
                progress.setCancelButtonText(QStringLiteral("Cancel"));
            else
                progress.setCancelButton(nullptr);
            auto show = [&] {
                const int maximum = watcher.progressMaximum() - watcher.progressMinimum();
                progress.setRange(0, maximum);
                progress.setValue(watcher.progressValue() - watcher.progressMinimum());
                if (text)
                    progress.setLabelText(text(progress.value(), maximum));
            };
            QObject::connect(&watcher, &QFutureWatcherBase::progressValueChanged, &progress, show);
            QObject::connect(&watcher, &QFutureWatcherBase::progressRangeChanged, &progress, show);
            QObject::connect(&watcher, &QFutureWatcherBase::finished, &progress, &QDialog::accept);
            show();
            // Ends when the work is done, on Cancel, or at once when the
            // program is ending.
            if (!work.isFinished())
                progress.exec();
            stopped = progress.wasCanceled();
        }
        if (!work.isFinished() && cancel) {
            cancel();
            stopped = true;
        }
        work.waitForFinished();
        return !stopped;
    }

private:
    // Escape and the window's close box are Cancel, or nothing where the work
    // cannot be stopped.
    class Progress : public QProgressDialog {
    public:
        Progress(bool stoppable, QWidget *owner) : QProgressDialog(owner), m_stoppable(stoppable) {}
        void reject() override
        {
            if (m_stoppable)
                cancel();
        }

    protected:
        void closeEvent(QCloseEvent *event) override
        {
            if (m_stoppable)
                QProgressDialog::closeEvent(event);
            else
                event->ignore();
        }

    private:
        bool m_stoppable;
    };

    static int &depth()
    {
        static int waiting = 0;
        return waiting;
    }
};

} // namespace vintrel
