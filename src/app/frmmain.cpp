#include "frmmain.h"

#include <cmath>
#include <csignal>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QTimer>
#include <QUndoStack>

#include <map>

#include "layout/addphoto.h"
#include "layout/ruler.h"
#include "layoutfile/layoutfile.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/rounding.h"
#include "platform/settings.h"
#include "platform/twips.h"
#include "platform/waiting.h"
#include "print/paper.h"
#include "about.h"
#include "commands.h"
#include "handoff.h"
#include "pageview.h"
#include "toolbar.h"

namespace vintrel {

namespace {
// The one stored setting: the folder the user last worked in.
struct {
    QString application = QStringLiteral("Vintrel");
    QString section = QStringLiteral("Default");
    QString key = QStringLiteral("Path");
} const kLastFolder;

// The zoom last chosen, in percent.
struct {
    QString application = QStringLiteral("Vintrel");
    QString section = QStringLiteral("View");
    QString key = QStringLiteral("Zoom");
} const kZoom;

// Whether the page shows the printable area: "0" hides it.
struct {
    QString application = QStringLiteral("Vintrel");
    QString section = QStringLiteral("View");
    QString key = QStringLiteral("PrintableArea");
} const kPrintableArea;

} // namespace

frmMain::frmMain(Ui &ui, QWidget *parent)
    : QMainWindow(parent),
      m_ui(ui),
      m_cdDialog(ui),
      m_client(new PageView(this)),
      m_page(m_client->viewport()),
      m_toolbar(new Toolbar(m_client)),
      m_xRule(new Ruler(Ruler::Axis::Horizontal, 6645, 405, m_client)),
      m_yRule(new Ruler(Ruler::Axis::Vertical, 375, 7485, m_client)),
      m_editor(m_page, *m_xRule, *m_yRule, ui)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(App::Title());
    setCentralWidget(m_client);
    m_toolbar->setGeometry(pixelRect(60, 0, 855, 7860));
    m_client->attach(m_page, *m_xRule, *m_yRule);
    m_client->onZoomed = [this] {
        m_editor.redrawMarkers();
        SaveSetting(kZoom.application, kZoom.section, kZoom.key, QString::number(m_client->zoom() * 100, 'g', 6));
    };
    m_page.surface()->events = &m_editor;
    // Photos dropped on the page are added there; a layout file dropped alone opens.
    m_page.surface()->onDrop = [this](const QStringList &paths, QPointF at) {
        if (paths.size() == 1 && paths.constFirst().endsWith(QLatin1String(".ppy"), Qt::CaseInsensitive))
            openNamed(paths.constFirst());
        else
            dropPhotos(m_page, m_ui, paths, at);
    };

    // The menus and the toolbar, from the table of commands.
    std::map<QString, QMenu *> menus;
    for (const Menu &m : kMenus) {
        QMenu *menu = menuBar()->addMenu(QString::fromLatin1(m.caption));
        menu->setObjectName(QLatin1String(m.name));
        menus[menu->objectName()] = menu;
    }
    for (const Command &c : kCommands) {
        auto *action = new QAction(this);
        action->setObjectName(QLatin1String(c.name));
        action->setText(QString::fromLatin1(c.caption));
        action->setShortcuts(QKeySequence::listFromString(QLatin1String(c.shortcuts)));
        if (!action->shortcuts().isEmpty())
            addAction(action); // its shortcuts work wherever the window has the keyboard
        connect(action, &QAction::triggered, this, [this, run = c.run] { run(*this); });
        if (c.menu)
            menus.at(QLatin1String(c.menu))->addAction(action);
        if (c.key)
            m_toolbar->addButton(QLatin1String(c.key), QLatin1String(c.tooltip), action,
                                 {QLatin1String(c.themedPicture), QLatin1String(c.ownPicture)});
    }
    m_toolbar->onButtonClick = [this](const QString &key) { Toolbar1_ButtonClick(key); };

    // Undo and Redo say what they would undo or redo, and are greyed out with nothing to.
    const QUndoStack &history = m_page.history().stack();
    QAction *undo = command("mnuUndo"), *redo = command("mnuRedo");
    connect(&history, &QUndoStack::undoTextChanged, undo, [undo, caption = undo->text()](const QString &step) {
        undo->setText(step.isEmpty() ? caption : caption + QLatin1Char(' ') + step);
    });
    connect(&history, &QUndoStack::redoTextChanged, redo, [redo, caption = redo->text()](const QString &step) {
        redo->setText(step.isEmpty() ? caption : caption + QLatin1Char(' ') + step);
    });
    connect(&history, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(&history, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    undo->setEnabled(false);
    redo->setEnabled(false);
    command("mnuPrintableArea")->setCheckable(true);
}

frmMain::~frmMain() = default;


QPointF frmMain::centredPosition(double screenWidth, double screenHeight, double outerWidth, double outerHeight)
{
    const float top = toSingle(toSingle(screenHeight - outerHeight) / 2 - 250);
    const float left = toSingle(toSingle(screenWidth - outerWidth) / 2);
    return QPointF(left, top);
}

bool frmMain::Form_Load()
{
    // Under a file-size limit a write past it fails (EFBIG) and the save says
    // so, rather than the signal ending the program with the page unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    if (App::PrevInstance()) {
        End();
        return false;
    }
    const QString lockProblem = App::lockProblem();
    if (!lockProblem.isEmpty())
        MsgBox(m_ui, QStringLiteral("Vintrel cannot keep a second copy of itself from starting: %1.").arg(lockProblem),
               MsgButtons::Ok, MsgIcon::Information);
    m_page.LayoutSaved = true;
    m_handoff = std::make_unique<FileHandoff>([this](const QString &path) {
        if (isMinimized())
            showNormal();
        raise();
        // A dialog the user has open stays in front of the window: the file
        // waits for it.
        QWidget *front = QApplication::activeModalWidget();
        if (front && front != this)
            front->raise();
        (front ? front : this)->activateWindow();
        openNamed(path);
    });

    adjustSize();
    // At the zoom last chosen, in a window of the first size.
    bool known = false;
    const double percent = GetSetting(kZoom.application, kZoom.section, kZoom.key).toDouble(&known);
    if (known && std::isfinite(percent))
        m_client->setZoom(percent / 100);
    centreByOuterSize(this, [](QSize outer) {
        const QPointF at = centredPosition(Screen::Width(), Screen::Height(), outer.width() * Screen::TwipsPerPixelX(),
                                           outer.height() * Screen::TwipsPerPixelY());
        return QPoint(pixelsX(at.x()), pixelsY(at.y()));
    });

    m_page.PicUsed.fill(false);
    m_page.PixTwipsX = roundToInt32(Screen::TwipsPerPixelX());
    m_page.PixTwipsY = roundToInt32(Screen::TwipsPerPixelY());
    m_editor.state.HandleTracking = true;
    m_page.ZOrderCount = 0;
    m_page.PicZOrder.fill(0);
    const bool areaShown = GetSetting(kPrintableArea.application, kPrintableArea.section, kPrintableArea.key) != "0";
    command("mnuPrintableArea")->setChecked(areaShown);
    m_page.surface()->setPrintableAreaShown(areaShown);
    // Where the paper last printed on ends; asking the printers waits for the first pass of events.
    QTimer::singleShot(0, this, [this] { m_page.surface()->setPrintableArea(printableOnPage(rememberedPaper().layout)); });

    // Back to the folder of the last run. A stored folder that has gone, or any
    // failure here, leaves the folder the program was started in.
    m_page.LastPath = GetSetting(kLastFolder.application, kLastFolder.section, kLastFolder.key);
    if (!m_page.LastPath.isEmpty() && QFileInfo(m_page.LastPath).isDir())
        QDir::setCurrent(m_page.LastPath);
    return true;
}

void frmMain::openNamed(const QString &path)
{
    // After the dialog or menu the user has open, or the work being waited for.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget() || Waiting::busy()) {
        QTimer::singleShot(200, this, [this, path] { openNamed(path); });
        return;
    }
    if (!m_ended)
        openLayoutNamed(m_page, path, m_ui);
}

QAction *frmMain::command(const char *name) const
{
    return findChild<QAction *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

void frmMain::mnuAbout_Click()
{
    // One box at a time, shown without a modal loop: the main window stays usable.
    if (!m_about)
        m_about = new frmAbout(m_ui, this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void frmMain::showPrintableArea(bool shown)
{
    m_page.surface()->setPrintableAreaShown(shown);
    SaveSetting(kPrintableArea.application, kPrintableArea.section, kPrintableArea.key,
                shown ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmMain::mnuExit_Click()
{
    if (MsgBox(m_ui, QStringLiteral("Are you sure you want to exit?"), MsgButtons::YesNo, MsgIcon::Question) ==
        MsgAnswer::No)
        return;
    storeLastFolder();
    End();
}

void frmMain::Toolbar1_ButtonClick(const QString &key)
{
    // Keys are compared exactly, case and blanks included; one that matches no
    // button runs nothing.
    for (const char *wanted : kDispatchOrder)
        if (key == QLatin1String(wanted))
            for (const Command &c : kCommands)
                if (c.key && qstrcmp(c.key, wanted) == 0)
                    command(c.name)->trigger();
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The toolbar's pictures follow as soon as the window stands.
    QTimer::singleShot(0, m_toolbar, [toolbar = m_toolbar] { toolbar->showPictures(); });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (Waiting::busy() && !m_ended) {
        event->ignore(); // as while a modal dialog is open
        return;
    }
    // Unsaved changes are not dropped without a word (Exit asks on its own).
    if (!m_ended && !m_page.LayoutSaved &&
        MsgBox(m_ui, QStringLiteral("Discard current changes and exit?"), MsgButtons::YesNo, MsgIcon::Question) ==
            MsgAnswer::No) {
        event->ignore();
        return;
    }
    if (!m_ended)
        Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    storeLastFolder();
    End();
}

void frmMain::storeLastFolder()
{
    SaveSetting(kLastFolder.application, kLastFolder.section, kLastFolder.key,
                QDir::toNativeSeparators(QDir::currentPath()));
}

void frmMain::End()
{
    // Every window goes without further events, and the program's event loop
    // ends (when it runs: quitting before it does would end every later wait).
    m_ended = true;
    hide();
    QCoreApplication::quit();
}

} // namespace vintrel
