#pragma once
// The scanner library's scan dialog and what its commands share with it.
#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>

class QWidget;

namespace vintrel::scan {

class SaneDevice;
struct DeviceInfo;
struct Setting;

// The library keeps its own settings: the chosen device, and per device the
// values last used in its scan dialog.
QSettings settings();
QString deviceGroup(const QString &name);

// A message box owned by `parent`, with the stop icon.
void tell(QWidget *parent, const QString &text);

// The modal scan dialog of an open device: a preview of the whole glass, one
// control a setting, "Find photos", Preview, Scan and Cancel. Scan writes the
// scan, or each print found on the glass, as its own bitmap to the targets in
// turn, at most as many as there are. Answers how many bitmaps it wrote: 0
// when cancelled, or when the scan failed (told to the user first).
int scanInDialog(SaneDevice &device, const DeviceInfo &info, const QList<Setting> &offered,
                 const QStringList &targets, QWidget *owner);

} // namespace vintrel::scan
