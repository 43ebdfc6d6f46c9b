// The shared common dialog: what it keeps between uses and where it leaves the
// current directory.
#include <QDir>

#include "platform/commondialog.h"
#include "platform/errors.h"
#include "testsupport.h"

using namespace vintrel;
using namespace vintrel::test;

class TestCommonDialog : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString startFolder;

private slots:
    void init()
    {
        QDir(dir.path()).mkpath("photos");
        QVERIFY(QDir::setCurrent(dir.path()));
        startFolder = QDir::currentPath();
    }

    void confirmedChoiceMovesCurrentDirectory_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("moves");
        QTest::newRow("flags 0") << 0 << true;
        QTest::newRow("print dialog's flags left behind") << 0x8000C << false;
        QTest::newRow("no-change-dir bit alone") << 0x8 << false;
        QTest::newRow("other bits") << 0x80004 << true;
    }
    void confirmedChoiceMovesCurrentDirectory()
    {
        QFETCH(int, flags);
        QFETCH(bool, moves);
        ScriptedUi ui;
        CommonDialog cd(ui);
        cd.Flags = flags;
        const QString chosen = dir.filePath("photos/beach.jpg");
        ui.files << chosen;
        cd.ShowOpen();
        QCOMPARE(cd.FileName, chosen);
        QCOMPARE(ui.fileRequests.size(), 1);
        QCOMPARE(ui.fileRequests[0].folder, startFolder); // it opened where the process stood
        QCOMPARE(QDir::currentPath(), moves ? dir.filePath("photos") : startFolder);
    }

    void cancelRaisesAndKeepsEverything()
    {
        ScriptedUi ui;
        CommonDialog cd(ui);
        cd.FileName = "kept.jpg";
        cd.CancelError = true;
        ui.files << std::nullopt;
        QVERIFY_THROWS_EXCEPTION(DialogCancelled, cd.ShowSave());
        QCOMPARE(cd.FileName, QString("kept.jpg"));
        QCOMPARE(QDir::currentPath(), startFolder);
    }

    void filterBecomesQtNameFilters()
    {
        const QStringList filters = QtUi::nameFilters(
            "Graphic Files (*.jpg, *.jpeg)|*.jpg;*.jpeg|Vintrel Files (*.PPY)|*.ppy|All Files (*.*)|*.*");
        QCOMPARE(filters, QStringList({"Graphic Files (*.jpg, *.jpeg) (*.jpg *.JPG *.jpeg *.JPEG)",
                                       "Vintrel Files (*.PPY) (*.ppy *.PPY)", "All Files (*.*) (*)"}));
    }
};

VINTREL_TEST_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
