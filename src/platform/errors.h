#pragma once
// Run-time failures of commands. A command that can fail catches these at its
// boundary and ends, silently or with its one message.
#include <stdexcept>
#include <QString>

namespace vintrel {

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(const QString &what) : std::runtime_error(what.toStdString()) {}
};

// Raised by a common dialog whose CancelError is set when the user cancels it.
class DialogCancelled : public RuntimeError {
public:
    DialogCancelled() : RuntimeError(QStringLiteral("The dialog was cancelled.")) {}
};

// A file that is missing, unreadable or not a picture the program can decode.
class PictureError : public RuntimeError {
public:
    using RuntimeError::RuntimeError;
};

} // namespace vintrel
