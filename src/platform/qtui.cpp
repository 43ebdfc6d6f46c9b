#include "ui.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QAction>
#include <QCheckBox>
#include <QPaintEngine>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QToolBar>
#include <QVBoxLayout>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include "commondialog.h"

namespace vintrel {

MsgAnswer QtUi::messageBox(const QString &title, const QString &text, MsgButtons buttons, MsgIcon icon,
                           const QString &details)
{
    QMessageBox box(m_owner);
    box.setWindowTitle(title);
    box.setText(text);
    box.setDetailedText(details);
    switch (icon) {
    case MsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    QPushButton *find = nullptr;
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        if (buttons == MsgButtons::OkFind)
            find = box.addButton(QStringLiteral("Find..."), QMessageBox::ActionRole);
    }
    const int pressed = box.exec();
    if (find && box.clickedButton() == find)
        return MsgAnswer::Find;
    switch (pressed) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return MsgAnswer::Ok;
    }
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

std::optional<QStringList> QtUi::fileDialog(const FileDialogRequest &request)
{
    const bool save = request.kind == FileDialogKind::Save, many = request.kind == FileDialogKind::OpenMany;
    QFileDialog dialog(m_owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Neither dialog refuses a typed name: the open dialog takes a name that does
    // not exist, and the save dialog replaces a file without asking. Several
    // files are chosen among those that exist.
    dialog.setFileMode(many ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    if (request.kind == FileDialogKind::Folder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    }
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
    // Qt reads double quotes in a typed name as a list of names: the one name
    // typed, or chosen in the list (which puts it there as it is), is taken
    // exactly, quotes and all; where several may be chosen, when it names a file.
    const auto *typed = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    const QString text = typed ? typed->text() : QString();
    const QString named = text.isEmpty() ? QString() : dialog.directory().absoluteFilePath(text);
    if (request.kind == FileDialogKind::Folder || (many && text.isEmpty()))
        return dialog.selectedFiles();
    if (many && !QFileInfo::exists(named) && text.contains(QLatin1Char('"'))) {
        // Every name of the list, "a.jpg" "b.heic", also those the filter does
        // not show (Qt keeps only the names it shows), in the order typed.
        QStringList names;
        const QStringList parts = text.split(QLatin1Char('"'));
        for (qsizetype i = 1; i < parts.size(); i += 2)
            names << dialog.directory().absoluteFilePath(parts[i]);
        return names;
    }
    return QStringList{named};
}

namespace {
const char *const kShrinkToFit = "Shrink the page to fit the paper";
}

bool QtUi::printDialog(QPrinter &printer, int flags, bool &shrinkToFit)
{
    QPrintDialog dialog(&printer, m_owner);
    // The program's own options, on a tab of their own.
    auto *ownTab = new QWidget;
    ownTab->setWindowTitle(QStringLiteral("Vintrel"));
    auto *shrink = new QCheckBox(QString::fromLatin1(kShrinkToFit), ownTab);
    shrink->setObjectName(QStringLiteral("shrinkToFit"));
    shrink->setChecked(shrinkToFit);
    auto *column = new QVBoxLayout(ownTab);
    column->addWidget(shrink);
    column->addStretch();
    dialog.setOptionTabs({ownTab});
    QAbstractPrintDialog::PrintDialogOptions options =
        QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintCollateCopies;
    if (!(flags & CommonDialog::NoSelectionChoice))
        options |= QAbstractPrintDialog::PrintSelection;
    if (!(flags & CommonDialog::NoPageRange))
        options |= QAbstractPrintDialog::PrintPageRange;
    // NoPrintToFile is left unread: it concerns a printer-language dump, while
    // Qt's "Print to File (PDF)" is a printer of its own here, and on a
    // machine without a print queue the only way to get the page out.
    options |= QAbstractPrintDialog::PrintToFile;
    dialog.setOptions(options);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    shrinkToFit = shrink->isChecked();
    return true;
}

void QtUi::wirePreview(QPrintPreviewWidget &preview, const PaintSheet &paint)
{
    // The preview draws into pictures of its own; printing from it, on the printer.
    QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, &preview, [paint](QPrinter *sheet) {
        paint(*sheet, sheet->paintEngine() && sheet->paintEngine()->type() != QPaintEngine::Picture);
    });
}

void QtUi::printPreview(QPrinter &printer, bool &shrinkToFit, const PaintSheet &paint)
{
    QPrintPreviewDialog dialog(&printer, m_owner);
    dialog.setWindowTitle(printer.outputFormat() == QPrinter::PdfFormat ? QStringLiteral("Print Preview (no printer: as a PDF file)")
                                                                         : QStringLiteral("Print Preview"));
    auto *preview = dialog.findChild<QPrintPreviewWidget *>();
    if (!preview)
        return;
    wirePreview(*preview, paint);
    if (auto *tools = dialog.findChild<QToolBar *>()) {
        tools->addSeparator();
        QAction *shrink = tools->addAction(QStringLiteral("Shrink to Fit"));
        shrink->setObjectName(QStringLiteral("shrinkToFit"));
        shrink->setToolTip(QString::fromLatin1(kShrinkToFit));
        shrink->setCheckable(true);
        shrink->setChecked(shrinkToFit);
        QObject::connect(shrink, &QAction::toggled, preview, [&shrinkToFit, preview](bool on) {
            shrinkToFit = on;
            preview->updatePreview();
        });
    }
    dialog.exec();
}

QPoint QtUi::cursorPos()
{
    return QCursor::pos();
}

bool QtUi::startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool QtUi::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace vintrel
