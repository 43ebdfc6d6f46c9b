#include "commondialog.h"

#include <QDir>
#include <QFileInfo>

#include "errors.h"
#include "ui.h"

namespace vintrel {

void CommonDialog::ShowOpen() { showFileDialog(false); }
void CommonDialog::ShowSave() { showFileDialog(true); }

void CommonDialog::ShowPrinter(QPrinter &printer)
{
    if (!m_ui.printDialog(printer, Flags) && CancelError)
        throw DialogCancelled();
}

void CommonDialog::showFileDialog(bool save)
{
    FileDialogRequest request;
    request.kind = save ? FileDialogKind::Save : FileDialogKind::Open;
    request.filter = Filter;
    request.fileName = FileName;
    request.folder = QDir::currentPath();
    const std::optional<QString> chosen = m_ui.fileDialog(request);
    if (!chosen) {
        if (CancelError)
            throw DialogCancelled();
        return;
    }
    const QFileInfo file(QDir::current(), *chosen);
    FileName = QDir::toNativeSeparators(file.absoluteFilePath());
    if (!(Flags & KeepFolder))
        QDir::setCurrent(file.absolutePath());
}

} // namespace vintrel
