#pragma once
// The scanner library's way to SANE. SANE itself runs in a helper process of
// its own (vintrel-sane, beside the library), so that a driver that hangs or
// crashes cannot take the program with it: a helper that stops answering is
// ended, and the call fails with a reason. Every call below must run on
// saneThread(), one at a time, except cancel(), which may come from anywhere.
// SANE is started for each command of the library and ended after it, so
// nothing is held between commands but the list of devices.
#include <atomic>
#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class QThreadPool;

namespace vintrel::scan {

class BmpWriter;

struct DeviceInfo {
    QString name, vendor, model, type;
};

// One setting a device offers, as the scan dialog shows it.
struct Setting {
    QString name;       // the device's option name ("mode", "resolution", "tl-x"...)
    QString title;
    QString unit;       // "dpi", "mm" or empty
    QStringList words;  // the choices of a list of words
    QList<double> numbers; // the choices of a list of numbers
    double minimum = 0, maximum = 0, step = 0; // a range when `words` and `numbers` are empty
    bool whole = true;  // an integer setting
    QVariant value;     // the device's current value
};

// The thread every SANE call runs on: one thread, kept for the process.
QThreadPool &saneThread();

// Ends the helper at once, from any thread: the call waiting for it on the
// SANE thread fails, as with a helper that stopped working.
void saneAbort();

// Starts SANE; false with a reason when it cannot start.
bool saneStart(QString &why);
void saneEnd();
// Every device SANE knows, local and on the network (can take seconds).
QList<DeviceInfo> saneDevices();

class SaneDevice {
public:
    ~SaneDevice();
    // Opens a device by name; nothing with a reason when it cannot be opened.
    static std::unique_ptr<SaneDevice> open(const QString &name, QString &why);

    // The settings the scan dialog offers: mode, resolution and the scan area,
    // those of them the device has.
    QList<Setting> settings();
    // Sets one; false with a reason when the device refuses it.
    bool set(const QString &name, const QVariant &value, QString &why);
    // The resolution the device will scan at, dots per inch.
    double resolution();

    // Scans one image into the writer, every frame of it. Progress goes to
    // `done` and `total` (bytes; total 0 while unknown). False with a reason on
    // failure or cancel (`cancelled` set).
    bool scan(BmpWriter &writer, std::atomic<qint64> &done, std::atomic<qint64> &total, bool &cancelled,
              QString &why);
    // Stops a scan that is running; callable from any thread.
    void cancel();

private:
    struct Impl;
    explicit SaneDevice(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace vintrel::scan
