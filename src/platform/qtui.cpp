#include "ui.h"

#include <QCursor>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

#include "commondialog.h"
#include "msgbox.h"

namespace vintrel {

int QtUi::messageBox(const QString &title, const QString &text, int style)
{
    QMessageBox box(m_owner);
    box.setWindowTitle(title);
    box.setText(text);
    switch (style & 0x70) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((style & 0x7) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((style & vbDefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return vbYes;
    if (answer == QMessageBox::No)
        return vbNo;
    return vbOK;
}

QStringList QtUi::nameFilters(const QString &filter)
{
    // Qt reads a filter's patterns from its last parentheses, so the patterns are
    // appended there (both letter cases, as users' files come either way) and
    // hidden again by the dialog's HideNameFilterDetails option.
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString &p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << p.trimmed();
            if (p.trimmed() != QLatin1String("*.*") && p.toUpper() != p)
                patterns << p.trimmed().toUpper();
        }
        if (patterns.contains(QLatin1String("*.*")))
            patterns = {QStringLiteral("*")};
        out << parts[i] + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

std::optional<QString> QtUi::fileDialog(const FileDialogRequest &request)
{
    const bool save = request.kind == FileDialogKind::Save;
    QFileDialog dialog(m_owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Neither dialog refuses a typed name: the open dialog takes a name that does
    // not exist, and the save dialog replaces a file without asking.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (save)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDirectory(request.folder);
    const QStringList filters = nameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool QtUi::printDialog(QPrinter &printer, int flags)
{
    QPrintDialog dialog(&printer, m_owner);
    QAbstractPrintDialog::PrintDialogOptions options =
        QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCollateCopies;
    if (!(flags & CommonDialog::cdlPDNoSelection))
        options |= QAbstractPrintDialog::PrintSelection;
    if (!(flags & CommonDialog::cdlPDNoPageNums))
        options |= QAbstractPrintDialog::PrintPageRange;
    if (!(flags & CommonDialog::cdlPDDisablePrintToFile))
        options |= QAbstractPrintDialog::PrintToFile;
    dialog.setOptions(options);
    return dialog.exec() == QDialog::Accepted;
}

QPoint QtUi::cursorPos()
{
    return QCursor::pos();
}

} // namespace vintrel
