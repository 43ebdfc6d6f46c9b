// The main window: start-up, the folder it restores, the two ways out, the
// menus and toolbar; and one copy at a time, tried with real processes.
#include <csignal>
#include <ctime>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/about.h"
#include "app/handoff.h"
#include "layout/addphoto.h"
#include "layout/ruler.h"
#include "platform/app.h"
#include "platform/settings.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
QString storedFolder() { return GetSetting("Vintrel", "Default", "Path"); }
// The registry file of the system (XDG_CONFIG_DIRS) or of the user.
QString writeRegistry(const QString &whose, const QString &text)
{
    const QString folder = qEnvironmentVariable(whose == "user" ? "XDG_CONFIG_HOME" : "XDG_CONFIG_DIRS") + "/Vintrel";
    QFile::remove(folder + "/registry.ini");
    return writeBytes(folder + "/registry.ini", text.toUtf8());
}
} // namespace

class TestApp : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString launchFolder;

private slots:
    void initTestCase()
    {
        launchFolder = dir.filePath("launch");
        QDir().mkpath(launchFolder);
    }
    void init()
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "Vintrel").clear();
        QVERIFY(QDir::setCurrent(launchFolder));
    }

    void startUpState()
    {
        ScriptedUi ui;
        frmMain form(ui);
        form.page().LayoutSaved = false;
        form.page().ZOrderCount = 9;
        form.page().PicZOrder[35] = 4;
        form.page().PicUsed[33] = true;
        QVERIFY(form.Form_Load());
        const Page &page = form.page();
        QCOMPARE(page.LayoutSaved, true);
        QCOMPARE(page.ZOrderCount, 0.0);
        QCOMPARE(page.PicZOrder[35], 0.0);
        QVERIFY(!page.PicUsed[33]);
        QCOMPARE(page.CurPic, std::nullopt);
        // The client area and where the page and rulers stand in it, in pixels.
        QCOMPARE(page.surface()->geometry(), QRect(88, 24, 383, 497));
        QCOMPARE(form.XRule().geometry(), QRect(88, 0, 443, 27));
        QCOMPARE(form.YRule().geometry(), QRect(64, 24, 25, 499));
        // Centred across, 250 twips above the centre down (where the framed
        // window stands is seen under a window manager: tests/e2e/shell.sh).
        // Nothing is rounded or clamped: a window taller than the screen stands above it.
        QCOMPARE(frmMain::centredPosition(15360, 11520, 7185, 8610), QPointF(4087.5, 1205));
        QCOMPARE(frmMain::centredPosition(9600, 7200, 7185, 8610), QPointF(1207.5, -955));
    }

    // Exit asks its own question; closing the window asks only with unsaved
    // changes. Both store the folder when they end, and the next start goes
    // back to it while it is a folder.
    void exitAndClose_data()
    {
        QTest::addColumn<bool>("byExit");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("then"); // what stands where the folder was at the next start
        QTest::newRow("Exit, No") << true << true << MsgAnswer::No << "";
        QTest::newRow("Exit, Yes") << true << true << MsgAnswer::Yes << "";
        QTest::newRow("close, saved") << false << true << MsgAnswer::Ok << "";
        QTest::newRow("close, unsaved, No") << false << false << MsgAnswer::No << "";
        QTest::newRow("close, unsaved, Yes") << false << false << MsgAnswer::Yes << "";
        QTest::newRow("Exit, the folder then gone") << true << true << MsgAnswer::Yes << "nothing";
        QTest::newRow("Exit, a file then in its place") << true << true << MsgAnswer::Yes << "a file";
    }
    void exitAndClose()
    {
        QFETCH(bool, byExit);
        QFETCH(bool, saved);
        QFETCH(MsgAnswer, answer);
        QFETCH(QString, then);
        const QString elsewhere = dir.filePath("elsewhere");
        {
            Desk desk;
            desk.page.LayoutSaved = saved;
            QDir().mkpath(elsewhere);
            QDir::setCurrent(elsewhere);
            if (answer != MsgAnswer::Ok)
                desk.ui.answers << answer;
            byExit ? desk.form.mnuExit_Click() : void(desk.form.close());
            const QString question = byExit ? "Are you sure you want to exit?" : "Discard current changes and exit?";
            QCOMPARE(desk.ui.said(), answer == MsgAnswer::Ok ? QStringList() : QStringList{"question: " + question});
            QCOMPARE(desk.form.ended(), answer != MsgAnswer::No);
            QCOMPARE(storedFolder(), answer != MsgAnswer::No ? elsewhere : QString());
        }
        if (!then.isEmpty())
            QDir(elsewhere).removeRecursively();
        if (then == "a file")
            writeBytes(elsewhere, "a file");
        QDir::setCurrent(launchFolder);
        Desk next;
        QCOMPARE(QDir::currentPath(), storedFolder().isEmpty() || !then.isEmpty() ? launchFolder : elsewhere);
        QCOMPARE(next.page.LastPath, storedFolder());
        QVERIFY(next.ui.said().isEmpty());
        QFile::remove(elsewhere);
    }

    // The menus and the toolbar as the table of commands makes them: the
    // menus' captions in order, without shortcuts, each item of a menu (and
    // each menu of the bar) with an access key of its own, and nine buttons,
    // each with its caption, tooltip and a picture of its own.
    void menusAndToolbar()
    {
        Desk desk;
        desk.form.show();
        QStringList seen;
        auto accessKeys = [](const QList<QAction *> &items) {
            QString keys;
            for (QAction *a : items)
                keys += a->text().remove("&&").section('&', 1).left(1).toLower();
            return keys;
        };
        const QString bar = accessKeys(desk.form.menuBar()->actions());
        QCOMPARE(QSet<QChar>(bar.begin(), bar.end()).size(), desk.form.menuBar()->actions().size());
        for (QAction *menu : desk.form.menuBar()->actions()) {
            const QString keys = accessKeys(menu->menu()->actions());
            QVERIFY2(QSet<QChar>(keys.begin(), keys.end()).size() == menu->menu()->actions().size(), qPrintable(keys));
            for (QAction *a : QList<QAction *>{menu} + menu->menu()->actions())
                seen << a->text() + (a->isSeparator() || a->isCheckable() || !a->shortcut().isEmpty() ? "!" : "");
        }
        QList<QImage> pictures;
        const auto tools = desk.form.findChild<QWidget *>("Toolbar1")->findChildren<QToolButton *>();
        QTRY_VERIFY(!tools.last()->icon().isNull()); // once the window is shown
        for (auto *b : tools) {
            seen << b->text() + ": " + b->toolTip();
            QVERIFY2(!pictures.contains(b->icon().pixmap(32, 32).toImage()), qPrintable(b->text()));
            pictures << b->icon().pixmap(32, 32).toImage();
        }
        QCOMPARE(seen.join(" / "), "&File / &New Layout / &Open Layout / &Save Layout As... / &Add Photo / &Remove Photo / "
                                   "&Print Page / Print Pre&view... / E&xit / &Edit / &Undo! / &Redo! / &View / Zoom &In! / Zoom &Out! / &Actual Size! / "
                                   "Fit &Page / P&rintable Area! / &Twain / &Select Source / &Acquire / &Help / Help &Topics / "
                                   "&About Vintrel / New: Start New Layout / Open: Open Layout / Save As: Save Layout As... / "
                                   "Add: Add Photo / Remove: Remove Photo / Print: Print Page / Source: Select TWAIN Source / "
                                   "Acquire: Acquire Photo from TWAIN Source / Help: Read Help File");
    }

    // What each toolbar key runs, seen in the dialogs it opens and what it does
    // to the page (unsaved, a photo in slot 0, every question answered No).
    void toolbarKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("help"); // where the help document is: beside, data, data without a handler
        QTest::addColumn<QString>("seen");
        const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/vintrel/readme.htm";
        auto row = [](const char *key, const QString &seen, const QString &help = "beside") {
            QTest::newRow(key) << QString(key) << help << seen;
        };
        row("New", "question: Discard current layout and start new layout?");
        row("Open", "question: Discard current changes and open a previously saved layout?");
        row("Save As", "file dialog 1: Vintrel Files (*.PPY)|*.ppy");
        row("Add", "file dialog 2: " + kPhotoFilter);
        row("Remove", "slot 0 free");
        row("Print", "print dialog");
        row("Help", "started " + QUrl::fromLocalFile(App::Path() + "/readme.htm").toString());
        QTest::newRow("Help, in the data folder") << "Help" << "data" << "started " + QUrl::fromLocalFile(data).toString();
        QTest::newRow("Help, nowhere") << "Help" << "" << "information: The help file readme.htm is missing from " + App::Path() + ".";
        QTest::newRow("Help, no handler") << "Help" << "data, no handler"
                                          << "information: No program is set up to show " + data + ". / started " + QUrl::fromLocalFile(data).toString();
        row("save as", ""); // another case
        row("Exit", ""); // no button
    }
    void toolbarKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, help);
        QFETCH(QString, seen);
        const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/vintrel";
        if (!help.isEmpty())
            writeBytes((help == "beside" ? App::Path() : data) + "/readme.htm", "<p>help</p>");
        Desk desk;
        desk.ui.canStart = !help.endsWith("no handler");
        desk.place(0, writePicture(dir.filePath("k.png"), {30, 20}, "PNG"), 0, 0, 450, 300); // current: none, so slot 0
        desk.page.LayoutSaved = false;
        desk.ui.answers << MsgAnswer::No;
        desk.ui.files << std::nullopt;
        desk.ui.printers << std::nullopt;
        desk.form.Toolbar1_ButtonClick(key);
        QStringList got = desk.ui.said();
        for (const FileDialogRequest &r : desk.ui.fileRequests)
            got << QString("file dialog %1: %2").arg(int(r.kind)).arg(r.filter);
        if (!desk.ui.printFlags.isEmpty())
            got << "print dialog";
        if (!desk.page.PicUsed[0])
            got << "slot 0 free";
        for (const QString &s : desk.ui.started)
            got << "started " + s;
        QCOMPARE(got.join(" / "), seen);
        desk.ui.answers.clear(), desk.ui.files.clear(), desk.ui.printers.clear();
        QFile::remove(App::Path() + "/readme.htm");
        QDir(data).removeRecursively();
    }

    void registryValues_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("string") << "Value = sz:/usr/bin/info --all" << "/usr/bin/info --all";
        QTest::newRow("1, stored as 01 00 00 00") << "Value = dword:00000001" << "&h001";
        QTest::newRow("78 56 34 12") << "Value = dword:12345678" << "&h12345678";
        QTest::newRow("a wrong type") << "Value = hex:0102" << "";
        QTest::newRow("not the user's") << "Other = sz:x" << "from the system";
        // What others may write is not read: the user's file, or one beside
        // the program in a folder others may write.
        QTest::newRow("the user's, which others may write") << "Value = sz:theirs, shared" << "from the system";
        QTest::newRow("beside the program, in a folder others may write") << "Other = sz:x" << "from the system";
    }
    void registryValues()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        writeRegistry("system", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vintrel]\nValue = sz:from the system\n");
        const QString user = writeRegistry("user", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vintrel]\n" + line + "\n");
        const QString beside = QDir::cleanPath(App::Path() + "/../etc/xdg/Vintrel");
        const bool shared = line.contains("shared"), besides = QByteArray(QTest::currentDataTag()).startsWith("beside");
        if (shared)
            QFile::setPermissions(user, QFileDevice::Permissions(0x6666));
        if (besides) {
            writeBytes(beside + "/registry.ini", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vintrel]\nValue = sz:planted\n");
            QFile::setPermissions(beside, QFileDevice::Permissions(0x7777));
        }
        QString value;
        QVERIFY(GetKeyValue(registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\Vintrel", "Value", value));
        QCOMPARE(value, text);
        QVERIFY(!GetKeyValue(registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", "Value", value) && value.isEmpty());
        QVERIFY(!GetKeyValue(registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\Vintrel", "Nothing", value) && value.isEmpty());
        QDir(QFileInfo(beside).path()).removeRecursively();
    }

    void systemInfo_data()
    {
        QTest::addColumn<QString>("registry");
        QTest::addColumn<bool>("startable");
        QTest::addColumn<QString>("started"); // or, empty, the message
        const QString first = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\nPATH = sz:/opt/info --full\n";
        const QString second = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\nMSINFO = sz:" + dir.path() + "\n";
        QTest::newRow("the first place") << first + second << true << "/opt/info --full";
        QTest::newRow("the second place") << second << true << dir.filePath("MSINFO32.EXE");
        QTest::newRow("the second place without the program") << second.chopped(1) + "/none\n" << true << "";
        QTest::newRow("nothing set up") << "" << true << "";
        QTest::newRow("a program that cannot start") << first << false << "";
    }
    void systemInfo()
    {
        QFETCH(QString, registry);
        QFETCH(bool, startable);
        QFETCH(QString, started);
        writeBytes(dir.filePath("MSINFO32.EXE"), "#!/bin/sh\n");
        writeRegistry("user", registry);
        Desk desk;
        desk.ui.canStart = startable;
        StartSysInfo(desk.ui);
        if (startable)
            QCOMPARE(desk.ui.started, started.isEmpty() ? QStringList() : QStringList{started});
        QCOMPARE(desk.ui.said(), started.isEmpty() ? QStringList{"none: System Information Is Unavailable At This Time"} : QStringList());
    }

    void aboutBox()
    {
        Desk desk;
        desk.form.show();
        desk.form.mnuAbout_Click();
        auto *about = desk.form.findChild<frmAbout *>();
        QVERIFY(about && about->isVisible() && !about->isModal());
        QCOMPARE(about->windowTitle(), "About Vintrel");
        QCOMPARE(about->findChild<QLabel *>("lblVersion")->text(), "Version 1.0.0");
        QVERIFY(about->findChild<QPushButton *>("cmdOK")->isDefault());
        desk.form.mnuAbout_Click(); // the same box, to the front
        QCOMPARE(desk.form.findChildren<frmAbout *>().size(), 1);
        // The hand shows once the pointer has moved over the link; a double
        // click opens the address twice.
        auto *link = about->findChild<QWidget *>("Label3");
        QCOMPARE(link->cursor().shape(), Qt::ArrowCursor);
        QTest::mouseMove(link, {20, 10});
        QCOMPARE(link->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(link->cursor().hotSpot(), QPoint(12, 1));
        QTest::mouseClick(link, Qt::LeftButton, {}, {20, 10});
        QTest::mouseDClick(link, Qt::LeftButton, {}, {20, 10});
        QTest::mouseRelease(link, Qt::LeftButton, {}, {20, 10});
        QCOMPARE(desk.ui.started, QStringList(2, frmAbout::kWebAddress));
    }

    // Only a lock that names a live copy keeps this one from running; any other
    // lock in the way is replaced, a link itself and never what it points to.
    void lockFile_data()
    {
        QTest::addColumn<QString>("inTheWay");
        QTest::addColumn<int>("outcome");
        const int taken = int(App::LockOutcome::Taken), unusable = int(App::LockOutcome::Unusable);
        QTest::newRow("held by a live copy") << "live" << int(App::LockOutcome::HeldByLiveCopy);
        QTest::newRow("left by a killed copy") << "dead" << taken;
        QTest::newRow("empty file") << "empty" << taken;
        QTest::newRow("garbage") << "garbage" << taken;
        QTest::newRow("empty folder") << "folder" << taken;
        QTest::newRow("folder holding a file") << "full folder" << unusable;
        QTest::newRow("dangling symbolic link") << "dangling" << taken;
        QTest::newRow("link to another file") << "link" << taken;
        QTest::newRow("in a file, not a folder") << "under a file" << unusable;
        QTest::newRow("another user's, naming a live copy") << "another user's" << unusable;
    }
    void lockFile()
    {
        QFETCH(QString, inTheWay);
        QFETCH(int, outcome);
        QTemporaryDir here;
        QString path = here.filePath("vintrel.lock");
        const QString other = writeBytes(here.filePath("other"), "keep me");
        const QByteArray host = QSysInfo::machineHostName().toUtf8();
        QLockFile live(path);
        if (inTheWay == "live")
            QVERIFY(live.tryLock(0));
        if (inTheWay == "dead" || inTheWay == "empty" || inTheWay == "garbage") {
            writeBytes(path, inTheWay == "dead" ? "2147483000\nvintrel\n" + host + "\n" : QByteArray(inTheWay == "garbage" ? "\x01zz" : ""));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                                                 QFileDevice::FileModificationTime));
        }
        if (inTheWay.endsWith("folder"))
            QVERIFY(QDir().mkpath(inTheWay == "folder" ? path : path + "/inside"));
        if (inTheWay == "dangling" || inTheWay == "link")
            QVERIFY(QFile::link(inTheWay == "link" ? other : here.filePath("nowhere"), path));
        if (inTheWay == "under a file")
            path = other + "/vintrel.lock";
        if (inTheWay == "another user's") {
            writeBytes(path, QByteArray::number(getpid()) + "\nvintrel\n" + host + "\n");
            if (geteuid() != 0 || chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
                QSKIP("only the superuser can give a file away");
        }
        std::unique_ptr<QLockFile> held;
        QString why;
        QCOMPARE(int(App::takeLock(path, held, why)), outcome);
        QCOMPARE(bool(held), outcome == int(App::LockOutcome::Taken));
        QCOMPARE(why.isEmpty(), outcome != int(App::LockOutcome::Unusable));
        QCOMPARE(readBytes(other), QByteArray("keep me"));
        if (held)
            QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
    }

    // The private folder for the lock and the socket is made for the user
    // alone, or found so; a link, a file or another user's folder is not used.
    void privateFolder()
    {
        QTemporaryDir here;
        QVERIFY(QFile::link(here.path(), here.filePath("link")) && QDir().mkpath(here.filePath("open")));
        QFile::setPermissions(here.filePath("open"), QFileDevice::Permissions(0x7755));
        const QString file = writeBytes(here.filePath("file"), "x");
        for (const char *name : {"new", "open"}) {
            QCOMPARE(App::privateFolder(here.filePath(name)), here.filePath(name));
            QCOMPARE(QFileInfo(here.filePath(name)).permissions() & 0x0077, 0); // nobody else may enter
        }
        QCOMPARE(App::privateFolder(here.filePath("link")), QString());
        QCOMPARE(App::privateFolder(file), QString());
        if (geteuid() == 0 && QDir().mkpath(here.filePath("theirs")) &&
            chown(QFile::encodeName(here.filePath("theirs")).constData(), 65534, 65534) == 0)
            QCOMPARE(App::privateFolder(here.filePath("theirs")), QString());
    }

    // A layout file named to a second copy opens in this one, asking first
    // about unsaved changes; the second copy ends. Only a whole path from the
    // user's own process is taken, whatever its bytes, and connections that
    // say nothing, or nonsense, neither block it nor make the program spin.
    void fileNamedToSecondCopyOpensHere_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("saved page") << "";
        QTest::newRow("unsaved changes") << "unsaved";
        QTest::newRow("a name holding a line end") << "line end";
        QTest::newRow("after 400 silent connections and nonsense, out of files") << "crowd";
    }
    void fileNamedToSecondCopyOpensHere()
    {
        QFETCH(QString, how);
        Desk desk; // holds the lock and listens
        const QString photo = writePicture(dir.filePath("handed.png"), {40, 30}, "PNG");
        const QString name = how == "line end" ? "handed.ppy\nother.ppy" : "handed.ppy";
        desk.place(2, photo, 300, 200, 600, 450);
        desk.save(dir.filePath(name));
        if (how == "line end")
            writeBytes(dir.filePath("handed.ppy"), "the name cut at its line end: not a layout");
        const QString saved = desk.slot(2);
        desk.run("mnuNew");
        if (how == "unsaved") {
            desk.place(0, photo, 0, 0, 600, 450);
            desk.page.LayoutSaved = false;
            desk.ui.answers << MsgAnswer::Yes;
        }
        std::vector<int> crowd;
        if (how == "crowd") {
            const Limit few(RLIMIT_NOFILE, QDir("/proc/self/fd").count() + 40);
            sockaddr_un at{AF_UNIX, {}};
            qstrncpy(at.sun_path, QFile::encodeName(handoffSocket()).constData(), sizeof at.sun_path);
            for (int n = 0; n < 400; ++n) {
                const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
                if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0 && (n % 50 || send(fd, "\xff\xff\xff\x00/x", 6, 0)))
                    crowd.push_back(fd);
                else if (fd >= 0)
                    close(fd);
            }
            const std::clock_t start = std::clock(); // the processor's time, every thread's
            QTest::qWait(1000);
            const double cpu = double(std::clock() - start) / CLOCKS_PER_SEC;
            QVERIFY2(cpu < 0.3, qPrintable(QString("%1 s of the processor in 1 s").arg(cpu)));
        }
        QProcess second;
        second.setWorkingDirectory(dir.path());
        second.start(VINTREL_BINARY, {name}); // named from where it starts
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(desk.slot(2), saved);
        QCOMPARE(desk.page.PicFile[2], photo);
        QCOMPARE(desk.slot(0).left(4), "free");
        QCOMPARE(desk.ui.said(), how == "unsaved" ? QStringList{"question: Discard current changes and open a previously saved layout?"}
                                                  : QStringList{});
        for (int fd : crowd)
            close(fd);
        QFile::remove(dir.filePath(name));
    }
};

VINTREL_TEST_MAIN(TestApp)
#include "tst_app.moc"
