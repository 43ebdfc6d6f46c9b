#pragma once
// A small registry of the program's own: typed values under key paths of
// HKEY_LOCAL_MACHINE, read from text files. The system's file comes first,
// then the prefix's (an installed copy's etc/xdg), then the user's; a later
// file's value replaces an earlier one's. A file that others than its owner
// (the user or root) may write is not read, nor the prefix's where a folder
// above it may be written by others.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Vintrel\Example]
//   Name = sz:some text
//   Count = dword:00000001        (the number, stored as four bytes, low first)
//   Data = hex:0a0b0c             (bytes)
//
// The calls answer 0 (ERROR_SUCCESS) on success, an error number otherwise.
#include <cstdint>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vintrel::registry {

using Key = std::int32_t; // 0 is no key
constexpr Key HKEY_LOCAL_MACHINE = std::int32_t(0x80000002);
constexpr std::int32_t REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4;
constexpr std::int32_t KEY_QUERY_VALUE = 0x1, KEY_ALL_READ_WRITE = 0x2003F;
constexpr std::int32_t ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_MORE_DATA = 234;

// The files read, in order.
QStringList files();

std::int32_t RegOpenKeyEx(Key root, const QString &path, std::int32_t options, std::int32_t access, Key &opened);
// Copies the value's bytes into buffer (size bytes at most; a string ends in
// a zero byte) and sets size to the number stored.
std::int32_t RegQueryValueEx(Key key, const QString &name, std::int32_t reserved, std::int32_t &type, char *buffer,
                             std::int32_t &size);
std::int32_t RegCloseKey(Key key);

} // namespace vintrel::registry
