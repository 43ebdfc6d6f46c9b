#pragma once
// Run-time failures of commands. A command that can fail runs its steps
// through completed(), which ends them at the first failure.
#include <new>
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

// Runs a command's steps. A run-time failure (a RuntimeError, a picture that
// cannot be loaded, Cancel in a dialog) or running out of memory ends them at
// once, with what they did so far kept. True when they ran to their end.
template <class Steps> bool completed(Steps &&steps)
{
    try {
        steps();
        return true;
    } catch (const std::runtime_error &) {
    } catch (const std::bad_alloc &) {
    }
    return false;
}

} // namespace vintrel
