// The scanner library's commands, with its own dialogs: the list of devices
// and the scan dialog (scandialog.cpp). SANE runs in the helper process, which
// sanedevice.cpp asks from one thread of its own; the dialogs and the
// program's windows keep repainting meanwhile.
#include "vintrelscan.h"

#include <optional>

#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "sanedevice.h"
#include "scandialog.h"
#include "platform/waiting.h"

#define VINTREL_SCAN_EXPORT extern "C" __attribute__((visibility("default")))

namespace vintrel::scan {

namespace {

// How long a helper asked to stop waiting for it may take before it is ended.
constexpr int kCancelGraceMs = 500;

// Runs work on the SANE thread, waiting as the program waits: after a moment
// a modal busy indication says what is happening, with Cancel, which gives
// the helper a moment and then ends it. Nothing when cancelled.
template <class Work> auto onSaneThread(Work work, QWidget *owner, const QString &busy) -> std::optional<decltype(work())>
{
    auto future = QtConcurrent::run(&saneThread(), std::move(work));
    Waiting waiting;
    waiting.owner = owner;
    waiting.objectName = QStringLiteral("ScannerBusy");
    waiting.text = [busy](int, int) { return busy; };
    waiting.cancel = [future] {
        for (QDeadlineTimer grace(kCancelGraceMs); !future.isFinished() && !grace.hasExpired();)
            QThread::msleep(10);
        saneAbort();
    };
    if (!waiting.waitFor(QFuture<void>(future)))
        return std::nullopt;
    return future.takeResult();
}

QWidget *ownerOf(uint32_t window)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->internalWinId() && quint32(w->internalWinId()) == window)
            return w;
    return QApplication::activeWindow();
}

// Looking for devices can take seconds (network scanners): the list is kept a while.
QList<DeviceInfo> devices(QWidget *owner)
{
    static QList<DeviceInfo> known;
    static QElapsedTimer age;
    if (!known.isEmpty() && age.isValid() && age.elapsed() < 60'000)
        return known; // an empty answer is asked again: a scanner may just have been plugged in
    known = onSaneThread(
                [] {
                    QString why;
                    if (!saneStart(why))
                        return QList<DeviceInfo>();
                    QList<DeviceInfo> found = saneDevices();
                    saneEnd();
                    return found;
                },
                owner, QStringLiteral("Looking for scanners and cameras…"))
                .value_or(QList<DeviceInfo>()); // cancelled: as if none were found
    age.start();
    return known;
}

int chosen(const QList<DeviceInfo> &list)
{
    const QString name = settings().value(QStringLiteral("Source/name")).toString();
    for (int i = 0; i < list.size(); ++i)
        if (list[i].name == name)
            return i;
    return 0;
}

// Network devices are named as such: those of SANE's network backends, and
// those a backend reaches at an address.
QString kindOf(const DeviceInfo &d)
{
    static const QRegularExpression network(QStringLiteral("^(net|airscan|escl|bjnp):|://|\\b(\\d{1,3}\\.){3}\\d{1,3}\\b"));
    return network.match(d.name).hasMatch() ? d.type + QStringLiteral(" (network)") : d.type;
}

// Acquire: the chosen device's scan dialog, writing to the targets in turn.
int acquire(uint32_t window, const QStringList &targets)
{
    if (targets.isEmpty() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return 0;
    QWidget *owner = ownerOf(window);
    const QList<DeviceInfo> list = devices(owner);
    if (list.isEmpty()) {
        tell(owner, QStringLiteral("No scanner or camera was found."));
        return 0;
    }
    const DeviceInfo info = list[chosen(list)];
    struct Opened {
        std::unique_ptr<SaneDevice> device;
        QList<Setting> offered;
        QString why;
    };
    std::optional<Opened> tried = onSaneThread(
        [name = info.name] {
            Opened o;
            if (!saneStart(o.why))
                return o;
            o.device = SaneDevice::open(name, o.why);
            if (o.device)
                o.offered = o.device->settings();
            else
                saneEnd();
            return o;
        },
        owner, QStringLiteral("Opening %1 %2…").arg(info.vendor, info.model));
    if (!tried)
        return 0; // cancelled: as a cancelled scan
    Opened opened = std::move(*tried);
    if (!opened.device) {
        tell(owner, QStringLiteral("%1 cannot be used: %2").arg(info.name, opened.why));
        return 0;
    }
    const int written = scanInDialog(*opened.device, info, opened.offered, targets, owner);
    // Closed on the SANE thread while the program goes on; what comes next
    // there comes after it.
    saneThread().start([device = opened.device.release()] {
        delete device;
        saneEnd();
    });
    return written;
}

} // namespace

} // namespace vintrel::scan

using namespace vintrel::scan;

VINTREL_SCAN_EXPORT int32_t TWAIN_IsAvailable(void)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return 0;
    return devices(QApplication::activeWindow()).isEmpty() ? 0 : 1;
}

VINTREL_SCAN_EXPORT int32_t TWAIN_SelectImageSource(uint32_t window)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return 1;
    QWidget *owner = ownerOf(window);
    const QList<DeviceInfo> list = devices(owner);
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("SourceDialog"));
    dialog.setWindowTitle(QStringLiteral("Select Source"));
    auto *tree = new QTreeWidget;
    tree->setObjectName(QStringLiteral("Sources"));
    tree->setHeaderLabels({QStringLiteral("Vendor"), QStringLiteral("Model"), QStringLiteral("Type"), QStringLiteral("Name")});
    tree->setRootIsDecorated(false);
    for (const DeviceInfo &d : list)
        tree->addTopLevelItem(new QTreeWidgetItem({d.vendor, d.model, kindOf(d), d.name}));
    if (!list.isEmpty())
        tree->setCurrentItem(tree->topLevelItem(chosen(list)));
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!list.isEmpty());
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(tree, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto *column = new QVBoxLayout(&dialog);
    column->addWidget(new QLabel(list.isEmpty() ? QStringLiteral("No scanner or camera was found.")
                                                : QStringLiteral("Scanners and cameras:")));
    column->addWidget(tree);
    column->addWidget(buttons);
    dialog.resize(560, 260);
    if (dialog.exec() != QDialog::Accepted || !tree->currentItem())
        return 1;
    settings().setValue(QStringLiteral("Source/name"), list[tree->indexOfTopLevelItem(tree->currentItem())].name);
    return 0;
}

VINTREL_SCAN_EXPORT int16_t TWAIN_AcquireToFilename(uint32_t window, const char *path)
{
    return path && acquire(window, {QFile::decodeName(path)}) == 1 ? 0 : 1;
}

VINTREL_SCAN_EXPORT int32_t VintrelScan_AcquireToFilenames(uint32_t window, const char *const *paths, int32_t count)
{
    QStringList targets;
    for (int32_t i = 0; paths && i < count; ++i) {
        if (!paths[i])
            return 0;
        targets << QFile::decodeName(paths[i]);
    }
    return acquire(window, targets);
}
