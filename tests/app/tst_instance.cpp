// One copy of the program at a time, tried with real processes.
#include <csignal>
#include <QDir>
#include <QProcess>

#include "testsupport.h"

class TestInstance : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    void start(QProcess &p) const
    {
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(dir.path());
        p.start(VINTREL_BINARY, {});
        QVERIFY(p.waitForStarted(10000));
    }
    QString lockFile() const { return dir.filePath("run/vintrel.lock"); }

private slots:
    void initTestCase()
    {
        QDir(dir.path()).mkpath("run");
        QFile::setPermissions(dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void secondCopyEndsAtOnceAndKilledCopyDoesNotBlock()
    {
        QProcess first;
        start(first);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFile()), 10000);

        QProcess second;
        start(second);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        // A copy that dies without cleaning up leaves its lock behind...
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(QFile::exists(lockFile()));

        // ...and the next start runs all the same.
        QProcess third;
        start(third);
        QVERIFY(!third.waitForFinished(1500));
        QCOMPARE(third.state(), QProcess::Running);
        third.kill();
        third.waitForFinished(10000);
    }
};

VINTREL_TEST_MAIN(TestInstance)
#include "tst_instance.moc"
