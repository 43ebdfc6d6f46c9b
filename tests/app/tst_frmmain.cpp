// The main window: start-up, the folder it restores, and the two ways out.
#include <QDir>
#include <QMenuBar>
#include <QSettings>
#include <QToolButton>

#include "app/frmmain.h"
#include "layout/ruler.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "platform/settings.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

namespace {
QString storedFolder() { return GetSetting("Vintrel", "Default", "Path"); }
} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString launchFolder;

private slots:
    void initTestCase() { launchFolder = dir.filePath("launch"); QDir().mkpath(launchFolder); }
    void init()
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Vintrel", "Vintrel").clear();
        QVERIFY(QDir::setCurrent(launchFolder));
    }

    void startUpRestoresLastFolder_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        const QString last = dir.filePath("last");
        QDir().mkpath(last);
        QTest::newRow("first run, nothing stored") << QString() << launchFolder;
        QTest::newRow("stored folder exists") << last << last;
        QTest::newRow("stored folder gone") << dir.filePath("removed") << launchFolder;
        QTest::newRow("stored path is a file") << writeBytes(dir.filePath("file.txt"), "x") << launchFolder;
    }
    void startUpRestoresLastFolder()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        if (!stored.isNull())
            QVERIFY(SaveSetting("Vintrel", "Default", "Path", stored));
        ScriptedUi ui;
        frmMain form(ui);
        QVERIFY(form.Form_Load());
        QCOMPARE(QDir::currentPath(), expected);
        QCOMPARE(form.page().LastPath, stored.isNull() ? QString() : stored);
        QVERIFY(ui.messages.isEmpty());
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
        // The offscreen screen has 96 dots an inch: 15 twips a pixel.
        QCOMPARE(page.PixTwipsX, 15);
        QCOMPARE(page.PixTwipsY, 15);
        QCOMPARE(form.windowTitle(), QString("Vintrel"));
        // The client area and where the page and rulers stand in it, in pixels.
        QCOMPARE(form.centralWidget()->size(), QSize(471, 526));
        QCOMPARE(page.surface()->geometry(), QRect(88, 24, 383, 497));
        QCOMPARE(form.XRule().geometry(), QRect(88, 0, 443, 27));
        QCOMPARE(form.YRule().geometry(), QRect(64, 24, 25, 499));
        QCOMPARE(form.XRule().ScaleWidth(), 6645.f);
        QCOMPARE(form.YRule().ScaleHeight(), 7485.f);
        // Centred across, 250 twips above the centre down.
        const QPointF at = frmMain::CentredPosition(Screen::Width(), Screen::Height(),
                                                    form.frameGeometry().width() * 15.0,
                                                    form.frameGeometry().height() * 15.0);
        QCOMPARE(form.pos(), QPoint(qRound(at.x() / 15), qRound(at.y() / 15)));
    }

    void centredPosition_data()
    {
        QTest::addColumn<QSizeF>("screen");
        QTest::addColumn<QSizeF>("window");
        QTest::addColumn<QPointF>("expected");
        QTest::newRow("1024x768 screen") << QSizeF(15360, 11520) << QSizeF(7185, 8610) << QPointF(4087.5, 1205);
        QTest::newRow("taller than the screen") << QSizeF(9600, 7200) << QSizeF(7185, 8610) << QPointF(1207.5, -955);
    }
    void centredPosition()
    {
        QFETCH(QSizeF, screen);
        QFETCH(QSizeF, window);
        QFETCH(QPointF, expected);
        QCOMPARE(frmMain::CentredPosition(screen.width(), screen.height(), window.width(), window.height()),
                 expected);
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
        ScriptedUi ui;
        frmMain form(ui);
        QVERIFY(form.Form_Load());
        form.page().LayoutSaved = false;
        const QString elsewhere = dir.filePath("elsewhere");
        QDir().mkpath(elsewhere);
        QDir::setCurrent(elsewhere);
        ui.answers << answer;
        form.mnuExit_Click();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, QString("Are you sure you want to exit?"));
        QCOMPARE(ui.messages[0].title, QString("Vintrel"));
        QCOMPARE(ui.messages[0].buttons, MsgButtons::YesNo);
        const bool yes = answer == MsgAnswer::Yes;
        QCOMPARE(form.ended(), yes);
        QCOMPARE(storedFolder(), yes ? elsewhere : QString());
        if (yes) {
            // Ending closes the window without another store or question.
            QDir::setCurrent(launchFolder);
            form.close();
            QCOMPARE(storedFolder(), elsewhere);
            QCOMPARE(ui.messages.size(), 1);
        }
    }

    void closingWindowStoresFolderWithoutAsking()
    {
        ScriptedUi ui;
        frmMain form(ui);
        QVERIFY(form.Form_Load());
        form.show();
        form.page().LayoutSaved = false;
        QVERIFY(form.close());
        QVERIFY(form.ended());
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(storedFolder(), launchFolder);
        // The next start comes back to it.
        QDir::setCurrent(dir.path());
        frmMain next(ui);
        QVERIFY(next.Form_Load());
        QCOMPARE(QDir::currentPath(), launchFolder);
    }

    void menuAndToolbarRunAdd()
    {
        ScriptedUi ui;
        frmMain form(ui);
        QVERIFY(form.Form_Load());
        const QStringList captions = [&] {
            QStringList out;
            for (QAction *a : form.menuBar()->actions())
                out << a->text();
            for (QAction *a : form.menuBar()->actions().first()->menu()->actions())
                out << a->text();
            return out;
        }();
        QCOMPARE(captions, QStringList({"&File", "&New Layout", "&Open Layout", "&Save Layout As...", "&Add Photo", "&Remove Photo", "&Print Page", "E&xit"}));

        const QString photo = writePicture(dir.filePath("t.jpg"), {60, 40});
        ui.files << photo << photo;
        form.findChild<QAction *>("mnuAdd")->trigger();
        auto *button = form.findChild<QToolButton *>("Add");
        QVERIFY(button);
        QCOMPARE(button->toolTip(), QString("Add Photo"));
        button->click();
        QVERIFY(form.page().PicUsed[0]);
        QVERIFY(form.page().PicUsed[1]);
        // A key that matches no button runs nothing.
        form.Toolbar1_ButtonClick("add");
        QCOMPARE(ui.fileRequests.size(), 2);
    }
};

VINTREL_TEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
