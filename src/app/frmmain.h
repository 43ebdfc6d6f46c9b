#pragma once
// The main window: the page surface with its rulers, the toolbar strip and the
// menus, start-up and the two ways the program ends.
#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "layout/editing.h"
#include "layout/page.h"
#include "platform/commondialog.h"

class QAction;

namespace vintrel {

class FileHandoff;
class frmAbout;
class PageView;
class Ruler;
class Toolbar;
class Ui;

class frmMain : public QMainWindow {
public:
    explicit frmMain(Ui &ui, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up, before the window is first shown. Returns false when the program
    // is to end at once because another copy of it is running.
    bool Form_Load();

    // The window's own commands; the others are the page's (commands.h).
    void mnuExit_Click();
    void mnuAbout_Click();
    // Shows or hides the printable area's line on the page, for this and later runs.
    void showPrintableArea(bool shown);
    // The toolbar's button click: runs the command of the pressed button's key.
    void Toolbar1_ButtonClick(const QString &key);
    // The action of a command of the table, by its name ("mnuAdd"), as the
    // menus and the toolbar run it.
    QAction *command(const char *name) const;

    // Opens a layout file named on the command line or handed over by another
    // copy (an absolute path), as Open Layout does after its dialog, asking
    // first about unsaved changes; once any dialog the user has open is closed.
    void openNamed(const QString &path);

    Page &page() { return m_page; }
    CommonDialog &cdDialog() { return m_cdDialog; }
    Ui &ui() { return m_ui; }
    PageEditor &editor() { return m_editor; }
    Ruler &XRule() { return *m_xRule; }
    Ruler &YRule() { return *m_yRule; }
    PageView &view() { return *m_client; }
    // True once the program has ended (Exit, closing the window).
    bool ended() const { return m_ended; }

    // Where start-up puts the window: centred across, 250 twips above the
    // centre down, in twips; nothing is clamped.
    static QPointF centredPosition(double screenWidth, double screenHeight, double outerWidth, double outerHeight);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Form_Unload();
    void storeLastFolder();
    void End();

    Ui &m_ui;
    CommonDialog m_cdDialog;
    PageView *m_client;
    Page m_page;
    Toolbar *m_toolbar;
    Ruler *m_xRule;
    Ruler *m_yRule;
    PageEditor m_editor;
    bool m_ended = false;
    std::unique_ptr<FileHandoff> m_handoff;
    QPointer<frmAbout> m_about; // while the About box is open
};

} // namespace vintrel
