// The main window: start-up, the folder it restores, the two ways out, the
// menus and toolbar; and one copy at a time, tried with real processes.
#include <csignal>

#include <QDir>
#include <QMenuBar>
#include <QProcess>
#include <QSettings>
#include <QToolButton>

#include "layout/ruler.h"
#include "platform/app.h"
#include "platform/settings.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
QString storedFolder() { return GetSetting("Vintrel", "Default", "Path"); }
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

    void startUpRestoresLastFolder_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        QDir().mkpath(dir.filePath("last"));
        QTest::newRow("first run, nothing stored") << QString() << launchFolder;
        QTest::newRow("stored folder exists") << dir.filePath("last") << dir.filePath("last");
        QTest::newRow("stored folder gone") << dir.filePath("removed") << launchFolder;
        QTest::newRow("stored path is a file") << writeBytes(dir.filePath("file.txt"), "x") << launchFolder;
    }
    void startUpRestoresLastFolder()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        if (!stored.isNull())
            QVERIFY(SaveSetting("Vintrel", "Default", "Path", stored));
        Desk desk;
        QCOMPARE(QDir::currentPath(), expected);
        QCOMPARE(desk.page.LastPath, stored);
        QVERIFY(desk.ui.said().isEmpty());
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
        QCOMPARE(form.centralWidget()->size(), QSize(471, 526));
        QCOMPARE(page.surface()->geometry(), QRect(88, 24, 383, 497));
        QCOMPARE(form.XRule().geometry(), QRect(88, 0, 443, 27));
        QCOMPARE(form.YRule().geometry(), QRect(64, 24, 25, 499));
        // Centred across, 250 twips (about 17 pixels) above the centre down.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QRect frame = form.frameGeometry();
        QCOMPARE(form.pos().x(), qRound((screen.width() - frame.width()) / 2.0));
        QCOMPARE(form.pos().y(), qRound((screen.height() - frame.height()) / 2.0 - 250 / 15.0));
        // Nothing is rounded or clamped: a window taller than the screen stands above it.
        QCOMPARE(frmMain::CentredPosition(15360, 11520, 7185, 8610), QPointF(4087.5, 1205));
        QCOMPARE(frmMain::CentredPosition(9600, 7200, 7185, 8610), QPointF(1207.5, -955));
    }

    void exitAnswered_data()
    {
        QTest::addColumn<MsgAnswer>("answer");
        QTest::newRow("No") << MsgAnswer::No;
        QTest::newRow("Yes") << MsgAnswer::Yes;
    }
    void exitAnswered()
    {
        QFETCH(MsgAnswer, answer);
        Desk desk;
        desk.page.LayoutSaved = false;
        QDir().mkpath(dir.filePath("elsewhere"));
        QDir::setCurrent(dir.filePath("elsewhere"));
        desk.ui.answers << answer;
        desk.form.mnuExit_Click();
        QCOMPARE(desk.ui.said(), QStringList({"question: Are you sure you want to exit?"}));
        const bool yes = answer == MsgAnswer::Yes;
        QCOMPARE(desk.form.ended(), yes);
        QCOMPARE(storedFolder(), yes ? dir.filePath("elsewhere") : QString());
        // Closing the window stores the folder without a question, once only.
        QDir::setCurrent(launchFolder);
        desk.form.close();
        QVERIFY(desk.form.ended());
        QCOMPARE(storedFolder(), yes ? dir.filePath("elsewhere") : launchFolder);
        QCOMPARE(desk.ui.said().size(), 1);
    }

    void menuAndToolbarRunTheCommands()
    {
        Desk desk;
        QStringList captions;
        for (QAction *a : desk.form.menuBar()->actions())
            captions << a->text();
        for (QAction *menu : desk.form.menuBar()->actions())
            for (QAction *a : menu->menu()->actions())
                captions << a->text();
        QCOMPARE(captions, QStringList({"&File", "&Twain", "&New Layout", "&Open Layout", "&Save Layout As...",
                                        "&Add Photo", "&Remove Photo", "&Print Page", "E&xit", "&Select Source",
                                        "&Acquire"}));
        const QString photo = writePicture(dir.filePath("t.jpg"), {60, 40});
        desk.ui.files << photo << photo;
        desk.form.findChild<QAction *>("mnuAdd")->trigger();
        auto *button = desk.form.findChild<QToolButton *>("Add");
        QCOMPARE(button->toolTip(), QString("Add Photo"));
        button->click();
        QVERIFY(desk.page.PicUsed[1]);
        desk.form.Toolbar1_ButtonClick("add"); // a key that matches no button runs nothing
        QCOMPARE(desk.ui.fileRequests.size(), 2);
    }

    void secondCopyEndsAtOnceAndKilledCopyDoesNotBlock()
    {
        QDir(dir.path()).mkpath("run");
        QFile::setPermissions(dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        auto start = [&](QProcess &p) {
            p.setProcessEnvironment(env);
            p.start(VINTREL_BINARY, {});
            QVERIFY(p.waitForStarted(10000));
        };
        QProcess first, second, third;
        start(first);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("run/vintrel.lock")), 10000);
        start(second);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        // A copy that dies without cleaning up leaves its lock behind, and the
        // next start runs all the same.
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        start(third);
        QVERIFY(!third.waitForFinished(1500));
        third.kill();
        third.waitForFinished(10000);
    }

    // A layout file named to a second copy opens in this one, asking first
    // about unsaved changes; the second copy ends.
    void fileNamedToSecondCopyOpensHere_data()
    {
        QTest::addColumn<bool>("unsaved");
        QTest::newRow("saved page") << false;
        QTest::newRow("unsaved changes") << true;
    }
    void fileNamedToSecondCopyOpensHere()
    {
        QFETCH(bool, unsaved);
        Desk desk; // holds the lock and listens
        const QString photo = writePicture(dir.filePath("handed.png"), {40, 30}, "PNG");
        desk.place(2, photo, 300, 200, 600, 450);
        desk.save(dir.filePath("handed.ppy"));
        const QString saved = desk.slot(2);
        desk.form.mnuNew_Click();
        if (unsaved) {
            desk.place(0, photo, 0, 0, 600, 450);
            desk.page.LayoutSaved = false;
            desk.ui.answers << MsgAnswer::Yes;
        }
        QProcess second;
        second.setWorkingDirectory(dir.path());
        second.start(VINTREL_BINARY, {"handed.ppy"}); // named from where it starts
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(desk.slot(2), saved);
        QCOMPARE(desk.slot(0).left(4), "free");
        QCOMPARE(desk.ui.said(), unsaved ? QStringList{"question: Discard current changes and open a previously saved layout?"}
                                         : QStringList{});
    }

    void commandLineAnswers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = "Usage: vintrel [--help] [--version] [LAYOUT.ppy]\n";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "Vintrel 1.0.0\n" << "";
        QTest::newRow("two files") << QStringList{"a.ppy", "b.ppy"} << 2 << "" << usage;
        QTest::newRow("unknown option") << QStringList{"--print", "a.ppy"} << 2 << "" << usage;
        QTest::newRow("empty name") << QStringList{""} << 2 << "" << usage;
    }
    void commandLineAnswers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess p;
        p.start(VINTREL_BINARY, arguments);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), status);
        QCOMPARE(QString(p.readAllStandardOutput()), out);
        QCOMPARE(QString(p.readAllStandardError()), err);
    }
};

VINTREL_TEST_MAIN(TestApp)
#include "tst_app.moc"
