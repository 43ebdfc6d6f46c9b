// The scanner library's three commands, with its own dialogs: the list of
// devices and the scan dialog. SANE runs in the helper process, which
// sanedevice.cpp asks from one thread of its own; the dialogs and the
// program's windows keep repainting meanwhile.
#include "vintrelscan.h"

#include <atomic>
#include <optional>

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "bmpwriter.h"
#include "sanedevice.h"
#include "platform/waiting.h"

#define VINTREL_SCAN_EXPORT extern "C" __attribute__((visibility("default")))

namespace vintrel::scan {

namespace {

// How long a helper asked to stop waiting for it may take before it is ended.
constexpr int kCancelGraceMs = 500;

// The library keeps its own settings: the chosen device, and per device the
// values last used in its scan dialog.
QSettings settings() { return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vintrel"), QStringLiteral("vintrel-scan")); }
QString deviceGroup(const QString &name) { return QStringLiteral("Device-") + QString::fromLatin1(QUrl::toPercentEncoding(name)); }

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

void tell(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ScannerMessage"));
    box.exec();
}

// The scan dialog: one control a setting, Scan and Cancel, and a progress bar
// while the device scans on the SANE thread.
class ScanDialog : public QDialog {
public:
    ScanDialog(SaneDevice &device, const DeviceInfo &info, const QList<Setting> &offered, const QString &target,
               QWidget *owner)
        : QDialog(owner), m_device(device), m_info(info), m_target(target)
    {
        setObjectName(QStringLiteral("ScanDialog"));
        setWindowTitle(QStringLiteral("Scan from %1 %2").arg(info.vendor, info.model));
        auto *form = new QFormLayout;
        QSettings stored = settings();
        stored.beginGroup(deviceGroup(info.name));
        for (const Setting &s : offered) {
            const QVariant value = stored.value(s.name, s.value);
            QWidget *control;
            if (!s.words.isEmpty() || !s.numbers.isEmpty()) {
                auto *box = new QComboBox;
                for (const QString &w : s.words)
                    box->addItem(w, w);
                for (double n : s.numbers)
                    box->addItem(QString::number(n) + (s.unit.isEmpty() ? QString() : QLatin1Char(' ') + s.unit), n);
                const int at = box->findData(value);
                box->setCurrentIndex(at >= 0 ? at : 0);
                control = box;
            } else {
                auto *spin = new QDoubleSpinBox;
                spin->setDecimals(s.whole || s.step >= 1 ? 0 : 1);
                spin->setRange(s.minimum, s.maximum);
                spin->setSingleStep(s.step > 0 ? s.step : 1);
                if (!s.unit.isEmpty())
                    spin->setSuffix(QLatin1Char(' ') + s.unit);
                spin->setValue(value.toDouble());
                control = spin;
            }
            control->setObjectName(s.name);
            form->addRow(s.title, control);
            m_controls.append({s.name, control});
        }
        m_progress = new QProgressBar;
        m_progress->setObjectName(QStringLiteral("ScanProgress"));
        m_progress->hide();
        m_buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
        m_scan = m_buttons->addButton(QStringLiteral("&Scan"), QDialogButtonBox::AcceptRole);
        m_scan->setObjectName(QStringLiteral("Scan"));
        m_scan->setDefault(true);
        // Return scans, wherever the keyboard is: the dialog opens on Scan, and
        // Cancel never takes Return over.
        m_buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
        m_scan->setFocus();
        connect(m_scan, &QPushButton::clicked, this, [this] { startScan(); });
        connect(m_buttons, &QDialogButtonBox::rejected, this, &ScanDialog::reject);
        auto *column = new QVBoxLayout(this);
        column->addLayout(form);
        column->addWidget(m_progress);
        column->addWidget(m_buttons);
        connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] { scanEnded(); });
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const qint64 total = m_total;
            m_progress->setRange(0, total > 0 ? 1000 : 0);
            if (total > 0)
                m_progress->setValue(int(1000 * m_done / total));
        });
    }

    void reject() override
    {
        if (m_watcher.isRunning()) { // the scan ends first; the dialog closes when it has
            m_cancelling = true;
            m_device.cancel();
            return;
        }
        QDialog::reject();
    }

private:
    struct Outcome {
        bool ok = false, cancelled = false;
        QString why;
    };

    void startScan()
    {
        QList<QPair<QString, QVariant>> values;
        QSettings stored = settings();
        stored.beginGroup(deviceGroup(m_info.name));
        for (const auto &[name, control] : m_controls) {
            QVariant v;
            if (auto *box = qobject_cast<QComboBox *>(control))
                v = box->currentData();
            else
                v = static_cast<QDoubleSpinBox *>(control)->value();
            values.append({name, v});
            stored.setValue(name, v);
            control->setEnabled(false);
        }
        m_scan->setEnabled(false);
        m_progress->setRange(0, 0);
        m_progress->show();
        m_done = 0;
        m_total = 0;
        m_tick.start(100);
        SaneDevice *device = &m_device;
        const QString target = m_target;
        std::atomic<qint64> *done = &m_done, *total = &m_total;
        m_watcher.setFuture(QtConcurrent::run(&saneThread(), [device, values, target, done, total] {
            Outcome out;
            for (const auto &[name, value] : values)
                if (!device->set(name, value, out.why))
                    return out;
            BmpWriter writer(target, device->resolution());
            out.ok = device->scan(writer, *done, *total, out.cancelled, out.why) && writer.finish();
            if (!out.ok && out.why.isEmpty())
                out.why = writer.why();
            return out;
        }));
    }

    void scanEnded()
    {
        m_tick.stop();
        const Outcome out = m_watcher.result();
        if (out.ok) {
            accept();
            return;
        }
        if (!out.cancelled && !m_cancelling)
            tell(this, QStringLiteral("The scan did not succeed: %1").arg(out.why));
        QDialog::reject();
    }

    SaneDevice &m_device;
    DeviceInfo m_info;
    QString m_target;
    QList<QPair<QString, QWidget *>> m_controls;
    QProgressBar *m_progress;
    QDialogButtonBox *m_buttons;
    QPushButton *m_scan;
    QFutureWatcher<Outcome> m_watcher;
    QTimer m_tick;
    std::atomic<qint64> m_done{0}, m_total{0};
    bool m_cancelling = false;
};

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
        tree->addTopLevelItem(new QTreeWidgetItem({d.vendor, d.model, d.type, d.name}));
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
    if (!path || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return 1;
    QWidget *owner = ownerOf(window);
    const QList<DeviceInfo> list = devices(owner);
    if (list.isEmpty()) {
        tell(owner, QStringLiteral("No scanner or camera was found."));
        return 1;
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
        return 1; // cancelled: as a cancelled scan
    Opened opened = std::move(*tried);
    if (!opened.device) {
        tell(owner, QStringLiteral("%1 cannot be used: %2").arg(info.name, opened.why));
        return 1;
    }
    int result;
    {
        ScanDialog dialog(*opened.device, info, opened.offered, QFile::decodeName(path), owner);
        result = dialog.exec() == QDialog::Accepted ? 0 : 1;
    }
    // Closed on the SANE thread while the program goes on; what comes next
    // there comes after it.
    saneThread().start([device = opened.device.release()] {
        delete device;
        saneEnd();
    });
    return int16_t(result);
}
