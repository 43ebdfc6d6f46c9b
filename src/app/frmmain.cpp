#include "frmmain.h"

#include <csignal>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>

#include "layout/addphoto.h"
#include "layout/removal.h"
#include "layout/ruler.h"
#include "layout/twips.h"
#include "layoutfile/layoutfile.h"
#include "print/printpage.h"
#include "scan/scanner.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/settings.h"
#include "platform/rounding.h"
#include "about.h"
#include "handoff.h"
#include "toolbar.h"

namespace vintrel {

namespace {
// The one stored setting: the folder the user last worked in.
struct {
    QString application = QStringLiteral("Vintrel");
    QString section = QStringLiteral("Default");
    QString key = QStringLiteral("Path");
} const kLastFolder;

// The client area and where its children stand, in twips.
constexpr float kClientWidth = 7065, kClientHeight = 7890;

// The toolbar's buttons from the top down: key (also the caption), tooltip and
// the command it runs, the same one as the menu item's.
struct ToolbarButton {
    const char *key;
    const char *tooltip;
    void (frmMain::*command)();
};
const ToolbarButton kToolbarButtons[] = {
    {"New", "Start New Layout", &frmMain::mnuNew_Click},
    {"Open", "Open Layout", &frmMain::mnuOpenPage_Click},
    {"Save As", "Save Layout As...", &frmMain::mnuSave_Click},
    {"Add", "Add Photo", &frmMain::mnuAdd_Click},
    {"Remove", "Remove Photo", &frmMain::ToolbarRemove},
    {"Print", "Print Page", &frmMain::mnuPrint_Click},
    {"Source", "Select TWAIN Source", &frmMain::mnuSelect_Click},
    {"Acquire", "Acquire Photo from TWAIN Source", &frmMain::mnuacquire_Click},
    {"Help", "Read Help File", &frmMain::mnuHelpTopics_Click},
};
// The order in which a pressed button's key is compared with the keys.
const char *const kDispatchOrder[] = {"New", "Add", "Print", "Remove", "Open", "Save As", "Help", "Source", "Acquire"};
} // namespace

frmMain::frmMain(Ui &ui, QWidget *parent)
    : QMainWindow(parent),
      m_ui(ui),
      m_cdDialog(ui),
      m_client(new QWidget(this)),
      m_page(m_client),
      m_toolbar(new Toolbar(m_client)),
      m_xRule(new Ruler(Ruler::Axis::Horizontal, 6645, 405, m_client)),
      m_yRule(new Ruler(Ruler::Axis::Vertical, 375, 7485, m_client)),
      m_editor(m_page, *m_xRule, *m_yRule, ui)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(App::Title());
    m_client->setFixedSize(pixelsX(kClientWidth), pixelsY(kClientHeight));
    setCentralWidget(m_client);
    m_toolbar->setGeometry(pixelRect(60, 0, 855, 7860));
    m_xRule->move(pixelsX(1320), pixelsY(0));
    m_yRule->move(pixelsX(960), pixelsY(360));
    m_page.surface()->move(pixelsX(1320), pixelsY(360));
    m_page.surface()->events = &m_editor;

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    auto item = [this](QMenu *menu, const char *name, const QString &caption, void (frmMain::*command)()) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, command] { runCommand([this, command] { (this->*command)(); }); });
    };
    item(file, "mnuNew", QStringLiteral("&New Layout"), &frmMain::mnuNew_Click);
    item(file, "mnuOpenPage", QStringLiteral("&Open Layout"), &frmMain::mnuOpenPage_Click);
    item(file, "mnuSave", QStringLiteral("&Save Layout As..."), &frmMain::mnuSave_Click);
    item(file, "mnuAdd", QStringLiteral("&Add Photo"), &frmMain::mnuAdd_Click);
    item(file, "mnuRemove", QStringLiteral("&Remove Photo"), &frmMain::mnuRemove_Click);
    item(file, "mnuPrint", QStringLiteral("&Print Page"), &frmMain::mnuPrint_Click);
    item(file, "mnuExit", QStringLiteral("E&xit"), &frmMain::mnuExit_Click);
    QMenu *twain = menuBar()->addMenu(QStringLiteral("&Twain"));
    twain->setObjectName(QStringLiteral("mnuTwain"));
    item(twain, "mnuSelect", QStringLiteral("&Select Source"), &frmMain::mnuSelect_Click);
    item(twain, "mnuacquire", QStringLiteral("&Acquire"), &frmMain::mnuacquire_Click);
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    item(help, "mnuHelpTopics", QStringLiteral("Help &Topics"), &frmMain::mnuHelpTopics_Click);
    item(help, "mnuAbout", QStringLiteral("&About Vintrel"), &frmMain::mnuAbout_Click);

    for (const ToolbarButton &button : kToolbarButtons)
        m_toolbar->addButton(QLatin1String(button.key), QLatin1String(button.tooltip));
    m_toolbar->onButtonClick = [this](const QString &key) { runCommand([this, key] { Toolbar1_ButtonClick(key); }); };
    m_namedLater.setSingleShot(true);
    connect(&m_namedLater, &QTimer::timeout, this, &frmMain::openNamedFiles);
    m_waitingLater.setSingleShot(true);
    connect(&m_waitingLater, &QTimer::timeout, this, &frmMain::runWaiting);
}

frmMain::~frmMain() = default;


QPointF frmMain::CentredPosition(double screenWidth, double screenHeight, double outerWidth, double outerHeight)
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
    const QString lockProblem = App::LockProblem();
    if (!lockProblem.isEmpty())
        MsgBox(m_ui, QStringLiteral("Vintrel cannot keep a second copy of itself from starting: %1.").arg(lockProblem),
               MsgButtons::Ok, MsgIcon::Information);
    m_page.LayoutSaved = true;
    m_handoff = std::make_unique<FileHandoff>([this](const QString &path) {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
        openNamed(path);
    });

    adjustSize();
    CentreByOuterSize(this, [](QSize outer) {
        const QPointF at = CentredPosition(Screen::Width(), Screen::Height(), outer.width() * Screen::TwipsPerPixelX(),
                                           outer.height() * Screen::TwipsPerPixelY());
        return QPoint(pixelsX(at.x()), pixelsY(at.y()));
    });

    m_page.PicUsed.fill(false);
    m_page.PixTwipsX = roundToInt32(Screen::TwipsPerPixelX());
    m_page.PixTwipsY = roundToInt32(Screen::TwipsPerPixelY());
    m_editor.state.HandleTracking = true;
    m_page.ZOrderCount = 0;
    m_page.PicZOrder.fill(0);

    // Back to the folder of the last run. A stored folder that has gone, or any
    // failure here, leaves the folder the program was started in.
    m_page.LastPath = GetSetting(kLastFolder.application, kLastFolder.section, kLastFolder.key);
    if (!m_page.LastPath.isEmpty() && QFileInfo(m_page.LastPath).isDir())
        QDir::setCurrent(m_page.LastPath);
    return true;
}

void frmMain::openNamed(const QString &path)
{
    m_named << path;
    m_namedLater.start(0);
}

void frmMain::openNamedFiles()
{
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        m_namedLater.start(200); // after the dialog or menu the user has open
        return;
    }
    if (m_named.isEmpty() || m_ended)
        return;
    const QString path = m_named.takeFirst();
    runCommand([this, path] { OpenLayoutNamed(m_page, path, m_ui); });
    if (!m_named.isEmpty())
        m_namedLater.start(0);
}

void frmMain::mnuNew_Click()
{
    vintrel::mnuNew_Click(m_page, m_ui);
}

void frmMain::mnuOpenPage_Click()
{
    vintrel::mnuOpenPage_Click(m_page, m_cdDialog, m_ui);
}

void frmMain::mnuSave_Click()
{
    vintrel::mnuSave_Click(m_page, m_cdDialog, m_ui);
}

void frmMain::mnuAdd_Click()
{
    vintrel::mnuAdd_Click(m_page, m_cdDialog, m_ui);
}

void frmMain::mnuRemove_Click()
{
    vintrel::mnuRemove_Click(m_page);
}

void frmMain::mnuPrint_Click()
{
    vintrel::mnuPrint_Click(m_page, m_cdDialog);
}

void frmMain::mnuSelect_Click()
{
    vintrel::mnuSelect_Click(this, m_ui);
}

void frmMain::mnuacquire_Click()
{
    vintrel::mnuacquire_Click(m_page, this, m_ui);
}

void frmMain::ToolbarRemove()
{
    vintrel::ToolbarRemove(m_page);
}

void frmMain::mnuHelpTopics_Click()
{
    vintrel::mnuHelpTopics_Click(m_ui);
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

void frmMain::mnuExit_Click()
{
    if (MsgBox(m_ui, QStringLiteral("Are you sure you want to exit?"), MsgButtons::YesNo, MsgIcon::Question) ==
        MsgAnswer::No)
        return;
    StoreLastFolder();
    End();
}

void frmMain::Toolbar1_ButtonClick(const QString &key)
{
    // Keys are compared exactly, case and blanks included; one that matches no
    // button runs nothing.
    for (const char *wanted : kDispatchOrder)
        if (key == QLatin1String(wanted))
            for (const ToolbarButton &button : kToolbarButtons)
                if (qstrcmp(button.key, wanted) == 0)
                    (this->*button.command)();
}

void frmMain::runCommand(const std::function<void()> &command)
{
    if (m_page.Opening) {
        m_waiting.push_back(command);
        m_waitingLater.start(50); // in case the open did not come through here
        return;
    }
    command();
    runWaiting();
}

void frmMain::runWaiting()
{
    while (!m_waiting.empty() && !m_ended) {
        if (m_page.Opening) {
            m_waitingLater.start(50);
            return;
        }
        const std::function<void()> next = m_waiting.front();
        m_waiting.pop_front();
        next();
    }
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The toolbar's pictures follow as soon as the window stands.
    QTimer::singleShot(0, m_toolbar, [toolbar = m_toolbar] { toolbar->showPictures(); });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_page.Opening && !m_ended) {
        event->ignore(); // the window closes once the layout is open
        runCommand([this] { close(); });
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
    StoreLastFolder();
    End();
}

void frmMain::StoreLastFolder()
{
    SaveSetting(kLastFolder.application, kLastFolder.section, kLastFolder.key,
                QDir::toNativeSeparators(QDir::currentPath()));
}

void frmMain::End()
{
    // Every window goes without further events, and the event loop ends.
    m_ended = true;
    hide();
    QCoreApplication::exit(0);
}

} // namespace vintrel
