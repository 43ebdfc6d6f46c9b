#include "scandialog.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "bmpwriter.h"
#include "glasspane.h"
#include "prints.h"
#include "sanedevice.h"

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

// The preview is scanned at the device's lowest resolution from this.
constexpr double kPreviewDpi = 50;
// So much of the glass around the prints found is scanned with them.
constexpr double kMarginMm = 3;
const QString kFindPhotos = QStringLiteral("find-photos");
const QString kLeft = QStringLiteral("tl-x"), kTop = QStringLiteral("tl-y"), kRight = QStringLiteral("br-x"),
              kBottom = QStringLiteral("br-y");

using Values = QList<QPair<QString, QVariant>>;

struct Outcome {
    bool ok = false, cancelled = false;
    QString why;
    QImage picture;          // of a preview
    QList<QPolygonF> prints; // found on it, as parts of the glass
    int written = 0;         // bitmaps, of a scan
};

std::pair<double, double> limits(const Setting &s)
{
    if (s.numbers.isEmpty())
        return {s.minimum, s.maximum};
    const auto [least, most] = std::minmax_element(s.numbers.begin(), s.numbers.end());
    return {*least, *most};
}

// A quick scan of the whole glass: in colour, or grey, where the device
// offers it, at its lowest resolution from 50 dpi.
Values previewValues(const QList<Setting> &offered)
{
    Values values;
    for (const Setting &s : offered) {
        if (s.name == QLatin1String("mode")) {
            for (const char *kind : {".*colou?r.*", ".*gr[ae]y.*"}) {
                const qsizetype at = s.words.indexOf(QRegularExpression(QLatin1String(kind), QRegularExpression::CaseInsensitiveOption));
                if (at >= 0) {
                    values.append({s.name, s.words[at]});
                    break;
                }
            }
        } else if (s.name == QLatin1String("resolution")) {
            double dpi = limits(s).second;
            for (double n : s.numbers)
                if (n >= kPreviewDpi && n < dpi)
                    dpi = n;
            if (s.numbers.isEmpty()) {
                dpi = std::max(s.minimum, kPreviewDpi);
                if (s.step > 0)
                    dpi = s.minimum + std::ceil((dpi - s.minimum) / s.step) * s.step;
                dpi = std::min(dpi, s.maximum);
            }
            values.append({s.name, dpi});
        } else if (s.name == kLeft || s.name == kTop) {
            values.append({s.name, limits(s).first});
        } else if (s.name == kRight || s.name == kBottom) {
            values.append({s.name, limits(s).second});
        }
    }
    return values;
}

bool writeBitmap(const QImage &rgb, const QString &target, double dpi, QString &why)
{
    BmpWriter writer(target, dpi);
    bool ok = writer.beginFrame({BmpWriter::Channel::Rgb, 8, rgb.width(), int(rgb.bytesPerLine()), rgb.height()});
    for (int y = 0; ok && y < rgb.height(); ++y)
        ok = writer.write(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.bytesPerLine());
    ok = ok && writer.endFrame() && writer.finish();
    if (!ok)
        why = writer.why();
    return ok;
}

struct Progress {
    std::atomic<qint64> done{0}, total{0};
};

bool setAll(SaneDevice &device, const Values &values, QString &why)
{
    for (const auto &[name, value] : values)
        if (!device.set(name, value, why))
            return false;
    return true;
}

Outcome preview(SaneDevice &device, const Values &values, Progress &progress)
{
    Outcome out;
    if (!setAll(device, values, out.why))
        return out;
    const double dpi = device.resolution();
    const QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("preview.bmp"));
    BmpWriter writer(file, dpi);
    if (!folder.isValid() || !device.scan(writer, progress.done, progress.total, out.cancelled, out.why) ||
        !writer.finish()) {
        if (out.why.isEmpty())
            out.why = writer.why();
        return out;
    }
    out.picture = QImage(file, "BMP").convertToFormat(QImage::Format_RGB32);
    if (out.picture.isNull()) {
        out.why = QStringLiteral("it could not be read");
        return out;
    }
    out.ok = true;
    const QTransform onGlass = QTransform::fromScale(1.0 / out.picture.width(), 1.0 / out.picture.height());
    for (const Print &p : findPrints(out.picture, dpi / 25.4))
        out.prints << onGlass.map(p.corners());
    return out;
}

// Scans the area into the targets: one bitmap of it, or, with the prints to
// keep (as parts of the glass, the area being `area` of it), one of each.
Outcome scan(SaneDevice &device, const Values &values, const QStringList &targets, const QList<QPolygonF> &kept,
             const QRectF &area, Progress &progress)
{
    Outcome out;
    if (!setAll(device, values, out.why))
        return out;
    const double dpi = device.resolution();
    if (kept.isEmpty()) {
        BmpWriter writer(targets[0], dpi);
        out.ok = device.scan(writer, progress.done, progress.total, out.cancelled, out.why) && writer.finish();
        if (!out.ok && out.why.isEmpty())
            out.why = writer.why();
        out.written = out.ok;
        return out;
    }
    // The whole scan beside the targets first, then the prints out of it.
    const QTemporaryDir folder{QFileInfo(targets[0]).absolutePath() + QStringLiteral("/.vintrel-glass-XXXXXX")};
    const QString file = folder.filePath(QStringLiteral("glass.bmp"));
    BmpWriter writer(file, dpi);
    if (!folder.isValid() || !device.scan(writer, progress.done, progress.total, out.cancelled, out.why) ||
        !writer.finish()) {
        if (out.why.isEmpty())
            out.why = folder.isValid() ? writer.why() : folder.errorString();
        return out;
    }
    const QImage glass(file, "BMP");
    if (glass.isNull()) {
        out.why = QStringLiteral("the scan is too large to look for photos in");
        return out;
    }
    QList<Print> found;
    for (const Print &p : findPrints(glass, dpi / 25.4)) {
        const QPointF at(area.left() + p.centre.x() / glass.width() * area.width(),
                         area.top() + p.centre.y() / glass.height() * area.height());
        if (std::any_of(kept.begin(), kept.end(), [at](const QPolygonF &k) { return k.containsPoint(at, Qt::OddEvenFill); }))
            found << p;
    }
    if (found.isEmpty()) // what the preview showed is not in the scan: the scan whole
        found << Print{QPointF(glass.width() / 2.0, glass.height() / 2.0), QSizeF(glass.size()), 0};
    for (const Print &p : found) {
        if (out.written == targets.size() || !writeBitmap(cutOut(glass, p), targets[out.written], dpi, out.why))
            break;
        ++out.written;
    }
    out.ok = out.written > 0;
    return out;
}

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
