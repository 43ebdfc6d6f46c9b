#pragma once
// Save Layout As and Open Layout: the page to a layout file and back.
#include <QByteArray>
#include <QString>

namespace vintrel {

class CommonDialog;
class Page;
class Ui;

// The file dialogs' filter for layout files.
extern const QString kLayoutFilter;

// The page as the 30 lines of a layout file.
QByteArray writeLayout(const Page &page);

// Save Layout As. The chosen file is replaced only once the new layout is
// completely written; a failure keeps the old file and says so. The page counts
// as saved only when the file was written.
void mnuSave_Click(Page &page, CommonDialog &cdDialog, Ui &ui);

// Open Layout. Asks before discarding unsaved changes. The whole file is read
// and checked, and every photo loaded, before the page changes: a bad file
// leaves the page exactly as it was. A missing photo is looked for beside the
// layout file; one found there is used from there, and the page then counts as
// changed. Photos still missing, or that cannot be read, keep their place on
// the page as empty frames and are reported once each kind; for the missing
// ones the user may point to a folder to find them in. The photos load on all
// cores while the window goes on repainting, with a progress after a moment
// whose Cancel leaves the page as it was; the page then changes in one step.
void mnuOpenPage_Click(Page &page, CommonDialog &cdDialog, Ui &ui);
// Open Layout of a file named on the command line or handed over by another
// copy: the same question, then the same as after the dialog.
void openLayoutNamed(Page &page, const QString &layoutPath, Ui &ui);
// What Open Layout does once the file is chosen.
void openLayoutFile(Page &page, const QString &layoutPath, Ui &ui);

} // namespace vintrel
