#include "commondialog.h"

#include <QDir>
#include <QFileInfo>

#include "errors.h"
#include "ui.h"

namespace vintrel {

void CommonDialog::ShowOpen() { showFileDialog(FileDialogKind::Open); }
void CommonDialog::ShowSave() { showFileDialog(FileDialogKind::Save); }
void CommonDialog::showOpenMany() { showFileDialog(FileDialogKind::OpenMany); }
void CommonDialog::showFolder() { showFileDialog(FileDialogKind::Folder); }

void CommonDialog::ShowPrinter(QPrinter &printer)
{
    if (!m_ui.printDialog(printer, Flags, shrinkToFit) && CancelError)
        throw DialogCancelled();
}

void CommonDialog::showFileDialog(FileDialogKind kind)
{
    FileDialogRequest request;
    request.kind = kind;
    request.filter = Filter;
    request.fileName = FileName;
    request.folder = QDir::currentPath();
    const std::optional<QStringList> chosen = m_ui.fileDialog(request);
    if (!chosen || chosen->isEmpty()) {
        if (CancelError)
            throw DialogCancelled();
        return;
    }
    fileNames.clear();
    for (const QString &name : *chosen)
        fileNames << QDir::toNativeSeparators(QFileInfo(QDir::current(), name).absoluteFilePath());
    const QFileInfo file(QDir::current(), chosen->constFirst());
    FileName = fileNames.constFirst();
    if (!(Flags & KeepFolder) && kind != FileDialogKind::Folder)
        QDir::setCurrent(file.absolutePath());
}

} // namespace vintrel
