// libFuzzer target for what the scanner library and its helper read from each
// other: any bytes, taken as the body of a message of any kind, must decode as
// that kind's values or be refused, never crash, hang or reach for memory
// without bound.
#include <cstdint>

#include "channel.h"

using namespace vintrel::scan;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    QString text, why;
    Value value;
    bool flag = false, other = false;
    double number = 0;
    qint32 format = 0, depth = 0, pixels = 0, bytes = 0, lines = 0;
    QList<DeviceInfo> devices;
    QList<Setting> settings;
    (void)unpack(body, text);                                  // Open
    (void)unpack(body, text, value);                           // Set
    (void)unpack(body, flag, why);                             // Started, Opened, Set's answer
    (void)unpack(body, devices);                               // Devices
    (void)unpack(body, settings);                              // Settings
    (void)unpack(body, number);                                // Resolution
    (void)unpack(body, format, depth, pixels, bytes, lines);   // Frame
    (void)unpack(body, flag, other, why);                      // Done
    return 0;
}
