#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

namespace {

const QString serviceName = QStringLiteral("io.brimvale.Brimvale");
const QString objectPath = QStringLiteral("/io/brimvale/Brimvale");
const QString interfaceName = QStringLiteral("org.freedesktop.Application");
const QString tokenKey = QStringLiteral("activation-token");
const QString startupKey = QStringLiteral("desktop-startup-id");
constexpr int callTimeout = 10'000; // ms; an instance that answers later is taken as hung

// What the launcher gave this process to let the window it starts take the focus.
QVariantMap launchData()
{
    QVariantMap data;
    if (const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert(tokenKey, token);
    if (const QString id = qEnvironmentVariable("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert(startupKey, id);
    return data;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (!m_busName.isEmpty())
        QDBusConnection::disconnectFromBus(m_busName);
}

QString SingleInstance::socketPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    const QByteArray home =
        QCryptographicHash::hash(QFile::encodeName(QDir::homePath()), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return dir + u'/' + serviceName + u'-' + QString::fromLatin1(home);
}

bool SingleInstance::activateRunning()
{
    const QVariantMap data = launchData();
    if (const std::optional<bool> overBus = activateOverBus(data))
        return *overBus;
    return activateOverSocket(data);
}

std::optional<bool> SingleInstance::activateOverBus(const QVariantMap& platformData)
{
    // Only a bus that is there: never one started on demand for this question.
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (address.isEmpty() && (runtime.isEmpty() || !QFile::exists(runtime + u"/bus")))
        return std::nullopt;
    const QString name = QStringLiteral("brimvale-instance");
    QDBusConnection bus = address.isEmpty()
                              ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                              : QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return std::nullopt;
    }
    m_busName = name;
    // The object first, so the name is never owned without answering.
    if (bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots) &&
        bus.registerService(serviceName))
        return false;
    bus.unregisterObject(objectPath);
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                       QStringLiteral("Activate"));
    call << platformData;
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeout);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    qWarning("Brimvale: the running instance did not answer (%s); starting another",
             qPrintable(reply.errorMessage()));
    return false;
}

bool SingleInstance::activateOverSocket(const QVariantMap& platformData)
{
    const QString path = socketPath();
    // Held while looking and taking over, so two instances starting together cannot both take
    // the socket. A lock left by a process that died is stale and taken over.
    QLockFile taking(path + u".lock");
    if (!taking.tryLock(callTimeout)) {
        qWarning("Brimvale: could not lock %s; starting without it", qPrintable(taking.fileName()));
        return false;
    }
    {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(callTimeout)) {
            socket.write(
                platformData.value(tokenKey, platformData.value(startupKey)).toString().toUtf8() +
                '\n');
            // The running instance answers once its window is forward.
            if (socket.waitForBytesWritten(callTimeout) && socket.waitForReadyRead(callTimeout))
                return true;
        }
    }
    // Nobody answers there: a socket left behind by an instance that crashed, or none.
    QLocalServer::removeServer(path);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        qWarning("Brimvale: cannot listen on %s: %s", qPrintable(path),
                 qPrintable(m_server->errorString()));
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::answer);
    return false;
}

void SingleInstance::answer()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QString token = QString::fromUtf8(socket->readLine().trimmed());
            Activate(token.isEmpty() ? QVariantMap() : QVariantMap{{tokenKey, token}});
            socket->write("ok\n");
            socket->disconnectFromServer();
        });
    }
}

void SingleInstance::Activate(const QVariantMap& platformData)
{
    if (!m_window)
        return;
    // Qt's Wayland windows activate with this token, which lets the window take the focus.
    const QString token = platformData.value(tokenKey, platformData.value(startupKey)).toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    emit activated();
}
