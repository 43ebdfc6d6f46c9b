#include "scandialog.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "glasspane.h"
#include "sanedevice.h"
#include "scanjobs.h"

namespace vintrel::scan {

QSettings settings() { return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vintrel"), QStringLiteral("vintrel-scan")); }
QString deviceGroup(const QString &name) { return QStringLiteral("Device-") + QString::fromLatin1(QUrl::toPercentEncoding(name)); }

void tell(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ScannerMessage"));
    box.exec();
}

namespace {

// So much of the glass around the prints found is scanned with them.
constexpr double kMarginMm = 3;
const QString kFindPhotos = QStringLiteral("find-photos");

class ScanDialog : public QDialog {
public:
    ScanDialog(SaneDevice &device, const DeviceInfo &info, const QList<Setting> &offered, const QStringList &targets,
               QWidget *owner)
        : QDialog(owner), m_device(device), m_info(info), m_targets(targets), m_previewValues(previewValues(offered))
    {
        setObjectName(QStringLiteral("ScanDialog"));
        setWindowTitle(QStringLiteral("Scan from %1 %2").arg(info.vendor, info.model));
        auto *form = new QFormLayout;
        QSettings stored = settings();
        stored.beginGroup(deviceGroup(info.name));
        for (const Setting &s : offered)
            form->addRow(s.title, control(s, stored.value(s.name, s.value)));
        m_hasArea = spin(kLeft) && spin(kTop) && spin(kRight) && spin(kBottom);
        if (m_hasArea) {
            const auto range = [&](const QString &name) {
                return limits(*std::find_if(offered.begin(), offered.end(), [&](const Setting &s) { return s.name == name; }));
            };
            m_glass = QRectF(QPointF(range(kLeft).first, range(kTop).first), QPointF(range(kRight).second, range(kBottom).second));
        }
        m_find = new QCheckBox(QStringLiteral("&Find photos"));
        m_find->setObjectName(QStringLiteral("FindPhotos"));
        m_find->setToolTip(QStringLiteral("Find the prints lying on the glass and make each its own photo"));
        m_find->setChecked(stored.value(kFindPhotos, false).toBool());
        form->addRow(m_find);

        m_pane = new GlassPane;
        m_pane->setGlass(m_glass.size());
        m_pane->setArea(areaOnGlass());
        m_pane->areaDragged = [this](const QRectF &area) { setArea(area); };
        showFinding();
        connect(m_find, &QCheckBox::toggled, this, [this] { showFinding(); });

        m_progress = new QProgressBar;
        m_progress->setObjectName(QStringLiteral("ScanProgress"));
        m_progress->hide();
        m_buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
        m_preview = m_buttons->addButton(QStringLiteral("&Preview"), QDialogButtonBox::ActionRole);
        m_preview->setObjectName(QStringLiteral("Preview"));
        m_preview->setAutoDefault(false);
        m_scan = m_buttons->addButton(QStringLiteral("&Scan"), QDialogButtonBox::AcceptRole);
        m_scan->setObjectName(QStringLiteral("Scan"));
        m_buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
        connect(m_scan, &QPushButton::clicked, this, [this] { startScan(); });
        connect(m_preview, &QPushButton::clicked, this, [this] { startPreview(); });
        connect(m_buttons, &QDialogButtonBox::rejected, this, &ScanDialog::reject);
        auto *side = new QVBoxLayout;
        side->addLayout(form);
        side->addStretch();
        auto *row = new QHBoxLayout;
        row->addWidget(m_pane, 1);
        row->addLayout(side);
        auto *column = new QVBoxLayout(this);
        column->addLayout(row);
        column->addWidget(m_progress);
        column->addWidget(m_buttons);
        // Return scans, wherever the keyboard is: the dialog opens on Scan, which
        // is made its default once it stands in it (so that it stays the default
        // when the keyboard moves on), and Cancel never takes Return over.
        m_scan->setDefault(true);
        m_scan->setFocus();
        connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] { ended(); });
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const qint64 total = m_progressed.total;
            m_progress->setRange(0, total > 0 ? 1000 : 0);
            if (total > 0)
                m_progress->setValue(int(1000 * m_progressed.done / total));
        });
        QTimer::singleShot(0, this, [this] { startPreview(); });
    }

    int written() const { return m_written; }

    void reject() override
    {
        if (m_job != Job::None) { // what runs ends first; the dialog closes when it has
            m_cancelling = true;
            m_scanNext = false;
            m_device.cancel();
            return;
        }
        QDialog::reject();
    }

private:
    enum class Job { None, Preview, Scan };

    QWidget *control(const Setting &s, const QVariant &value)
    {
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
            connect(spin, &QDoubleSpinBox::valueChanged, this, [this] {
                if (m_pane)
                    m_pane->setArea(areaOnGlass());
            });
            control = spin;
        }
        control->setObjectName(s.name);
        m_controls.append({s.name, control});
        return control;
    }

    QDoubleSpinBox *spin(const QString &name) const
    {
        for (const auto &[n, control] : m_controls)
            if (n == name)
                return qobject_cast<QDoubleSpinBox *>(control);
        return nullptr;
    }

    // The scan area of the spin boxes as parts of the glass, and back.
    QRectF areaOnGlass() const
    {
        if (!m_hasArea || m_glass.width() <= 0 || m_glass.height() <= 0)
            return QRectF(0, 0, 1, 1);
        const QPointF from(spin(kLeft)->value(), spin(kTop)->value()), to(spin(kRight)->value(), spin(kBottom)->value());
        const QTransform onGlass = QTransform::fromTranslate(-m_glass.left(), -m_glass.top()) *
                                   QTransform::fromScale(1 / m_glass.width(), 1 / m_glass.height());
        return QRectF(onGlass.map(from), onGlass.map(to)).normalized();
    }
    QRectF inMm(const QRectF &area) const
    {
        return QRectF(m_glass.left() + area.left() * m_glass.width(), m_glass.top() + area.top() * m_glass.height(),
                      area.width() * m_glass.width(), area.height() * m_glass.height());
    }
    void setArea(const QRectF &area)
    {
        const QRectF mm = inMm(area);
        spin(kLeft)->setValue(mm.left());
        spin(kTop)->setValue(mm.top());
        spin(kRight)->setValue(mm.right());
        spin(kBottom)->setValue(mm.bottom());
    }

    void showFinding()
    {
        m_pane->setPrintsShown(m_find->isChecked());
        m_pane->setAreaShown(m_hasArea && !m_find->isChecked());
    }

    template <class Work> void run(Job job, Work work)
    {
        m_job = job;
        m_preview->setEnabled(false);
        m_progress->setRange(0, 0);
        m_progress->show();
        m_progressed.done = 0;
        m_progressed.total = 0;
        m_tick.start(100);
        m_watcher.setFuture(QtConcurrent::run(&saneThread(), std::move(work)));
    }

    void startPreview()
    {
        if (m_job != Job::None)
            return;
        m_pane->setMessage(QStringLiteral("Previewing…"));
        run(Job::Preview, [device = &m_device, values = m_previewValues, progress = &m_progressed] {
            return preview(*device, values, *progress);
        });
    }

    void startScan()
    {
        if (m_job == Job::Preview) { // the preview gives way, and the scan follows it
            m_scanNext = true;
            m_scan->setEnabled(false);
            m_device.cancel();
            return;
        }
        if (m_job != Job::None)
            return;
        Values values;
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
        stored.setValue(kFindPhotos, m_find->isChecked());
        m_find->setEnabled(false);
        const QList<QPolygonF> kept = m_find->isChecked() ? m_pane->keptPrints() : QList<QPolygonF>();
        QRectF area(0, 0, 1, 1); // the part of the glass scanned
        if (!kept.isEmpty() && m_hasArea) { // the smallest area holding the prints
            QRectF around;
            for (const QPolygonF &k : kept)
                around |= k.boundingRect();
            const double x = kMarginMm / m_glass.width(), y = kMarginMm / m_glass.height();
            area = around.adjusted(-x, -y, x, y) & area;
            const QRectF mm = inMm(area);
            for (auto &[name, value] : values)
                if (name == kLeft || name == kTop || name == kRight || name == kBottom)
                    value = name == kLeft ? mm.left() : name == kTop ? mm.top() : name == kRight ? mm.right() : mm.bottom();
        }
        m_scan->setEnabled(false);
        run(Job::Scan, [device = &m_device, values, targets = m_targets, kept, area, progress = &m_progressed] {
            return scan(*device, values, targets, kept, area, *progress);
        });
    }

    void ended()
    {
        m_tick.stop();
        const Outcome out = m_watcher.result();
        const Job job = std::exchange(m_job, Job::None);
        m_preview->setEnabled(true);
        m_progress->hide();
        if (job == Job::Preview) {
            if (out.ok) {
                m_pane->setPicture(out.picture);
                m_pane->setPrints(out.prints);
            }
            m_pane->setMessage(out.ok || out.cancelled || m_scanNext || m_cancelling
                                   ? QString() : QStringLiteral("No preview: %1").arg(out.why));
            if (m_cancelling)
                QDialog::reject();
            else if (std::exchange(m_scanNext, false))
                startScan();
            return;
        }
        m_written = out.written;
        if (out.ok && !out.why.isEmpty())
            tell(this, QStringLiteral("Not every photo could be kept: %1").arg(out.why));
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
    QStringList m_targets;
    Values m_previewValues;
    QRectF m_glass; // the glass in millimetres, where the device has a scan area
    bool m_hasArea = false;
    QList<QPair<QString, QWidget *>> m_controls;
    GlassPane *m_pane = nullptr;
    QCheckBox *m_find;
    QProgressBar *m_progress;
    QDialogButtonBox *m_buttons;
    QPushButton *m_scan, *m_preview;
    QFutureWatcher<Outcome> m_watcher;
    QTimer m_tick;
    Progress m_progressed;
    Job m_job = Job::None;
    bool m_scanNext = false, m_cancelling = false;
    int m_written = 0;
};

} // namespace

int scanInDialog(SaneDevice &device, const DeviceInfo &info, const QList<Setting> &offered, const QStringList &targets,
                 QWidget *owner)
{
    if (targets.isEmpty())
        return 0;
    ScanDialog dialog(device, info, offered, targets, owner);
    return dialog.exec() == QDialog::Accepted ? dialog.written() : 0;
}

} // namespace vintrel::scan
