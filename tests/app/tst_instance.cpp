#include "AppModelRig.h"
#include "ui/MainWindow.h"
#include "ui/QuitSignals.h"
#include "ui/SingleInstance.h"

#include <QStandardPaths>
#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace AppModelFixtures;
using namespace Qt::StringLiterals;

namespace {

// Trashes the first entry, waits on the work gate, then the others under the same stop token, so
// the service's own check between entries decides where the trash ends.
class PausingCore : public FakeCore
{
public:
    QSemaphore firstDone;

    QList<TrashOutcome> trash(const QList<ModelEntry>& entries, const StopToken* stop) override
    {
        QList<TrashOutcome> outcomes = CoreCalls::trash(entries.mid(0, 1), stop);
        firstDone.release();
        workGate.acquire();
        return outcomes + CoreCalls::trash(entries.mid(1), stop);
    }
};

// A socket file nobody listens on, as a killed instance leaves it.
bool leaveStaleSocket(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound && QFile::exists(path);
}

} // namespace

// The desktop program as a process: one instance per home, and quit signals.
class InstanceTest : public QObject, private AppModelRig
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // A second start exits at once and brings the first window forward, un-minimised.
    void secondStartActivatesFirst_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::addColumn<bool>("stale"); // a socket left by a crashed instance
        QTest::newRow("socket") << false << false;
        QTest::newRow("stale socket") << false << true;
        QTest::newRow("session bus") << true << false;
    }
    void secondStartActivatesFirst()
    {
        QFETCH(bool, bus);
        QFETCH(bool, stale);
        const QString runtime = m_home->root() + u"/run"_s;
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_home->setEnv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        QProcess daemon;
        QByteArray address = "unix:path=" + QFile::encodeName(runtime) + "/nothing";
        if (bus) {
            if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty())
                QSKIP("dbus-daemon is not installed");
            daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
            QVERIFY(daemon.waitForReadyRead(30000));
            address = daemon.readLine().trimmed();
        }
        m_home->setEnv("DBUS_SESSION_BUS_ADDRESS", address);
        if (stale)
            QVERIFY(leaveStaleSocket(SingleInstance::socketPath()));

        QWidget window;
        window.showMinimized();
        SingleInstance first;
        QVERIFY(!first.activateRunning());
        first.setWindow(&window);
        QSignalSpy activated(&first, &SingleInstance::activated);
        QProcess second;
        if (bus) { // where the socket is not the first one's
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(u"XDG_RUNTIME_DIR"_s);
            second.setProcessEnvironment(environment);
        }
        second.start(QStringLiteral(BRIMVALE_APP_PATH));
        QVERIFY(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(activated.count(), 1);
        QVERIFY(!window.isMinimized());
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        daemon.kill();
        daemon.waitForFinished();
    }

    // A quit signal during a trash closes the window; the trash ends after the entry in hand,
    // and everything in the Trash has its record.
    void quitSignalDuringTrash_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void quitSignalDuringTrash()
    {
        QFETCH(int, number);
        auto core = std::make_shared<PausingCore>();
        m_model.reset();
        m_core = core;
        m_model = std::make_unique<AppModel>(m_core, m_dialogs);
        const QList<ModelEntry> models = publishFiles(3);
        QVERIFY(wait(m_model->start()));
        MainWindow window(*m_model, m_dialogs);
        window.show();
        QuitSignals quitSignals;
        quitSignals.setWindow(&window);

        const QFuture<void> trashing = m_model->trash(models);
        core->firstDone.acquire();
        std::thread([number] { ::kill(::getpid(), number); }).join();
        QTRY_VERIFY(!window.isVisible());
        core->workGate.release();
        QVERIFY(wait(trashing));
        const QString trash = m_home->file(u".local/share/Trash/files"_s);
        const QStringList items = QDir(trash).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                        QDir::Hidden | QDir::System);
        QCOMPARE(items.size(), 1);
        QCOMPARE(m_model->trashEntries().size(), 1);
        QCOMPARE(m_model->trashEntries()[0].trashedPaths, QStringList{trash + u'/' + items[0]});
    }
};

QTEST_MAIN(InstanceTest)
#include "tst_instance.moc"
