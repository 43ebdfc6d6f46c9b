// libFuzzer target for the layout file reader: any bytes must either read as 30
// records or fail with RuntimeError, never crash, hang or touch memory they do
// not own; and a record that reads must write back to a line that reads the same.
#include <cmath>
#include <cstdint>

#include "layoutfile/layoutformat.h"
#include "picture/safefile.h"
#include "platform/errors.h"

using namespace vintrel;
using namespace vintrel::layoutformat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Any bytes, as a file's name, go into a QString and back whole.
    if (bytesOf(fileNameOf(bytes)) != bytes)
        __builtin_trap();
    try {
        (void)leadingNumber(bytes);
    } catch (const RuntimeError &) {
    }
    std::array<Record, kRecords> records;
    try {
        records = readRecords(bytes);
    } catch (const RuntimeError &) {
        return 0;
    }
    for (const Record &record : records) {
        ReadSlot slot;
        try {
            slot = parseRecord(record);
        } catch (const RuntimeError &) {
            continue;
        }
        SlotValues values;
        values.path = slot.path;
        values.left = slot.left;
        values.top = slot.top;
        values.width = slot.width;
        values.height = slot.height;
        values.visible = slot.visible.value_or(false);
        values.used = slot.used.value_or(false);
        values.ratioHW = Ratio::fromDouble(slot.ratioHW);
        values.ratioWH = Ratio::fromDouble(slot.ratioWH);
        values.rank = slot.rank;
        const QByteArray line = recordLine(values, slot.counter);
        const ReadSlot again = parseRecord(readRecords(line.repeated(kRecords))[0]);
        // Paths come back whole, whatever their bytes (quotes, commas, line
        // ends, bytes that are no UTF-8), and so do whole ranks, which are
        // written with up to 15 digits.
        if (again.path != slot.path || bytesOf(again.path) != bytesOf(slot.path))
            __builtin_trap();
        if (std::abs(slot.rank) < 1e15 && slot.rank == std::floor(slot.rank) && again.rank != slot.rank)
            __builtin_trap();
    }
    return 0;
}
