#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

class QLocalServer;
class QWidget;

// One Brimvale window per home. The first instance owns the name io.brimvale.Brimvale on the
// session bus, serving org.freedesktop.Application's Activate, or where there is no bus listens
// on a local socket in the runtime directory (XDG_RUNTIME_DIR, else Qt's per-user temporary
// one). A later instance asks it to bring its window forward and exits.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // Asks the instance already running on this home to activate its window: true when it did,
    // and this process should exit. Otherwise this one takes the name or the socket (a socket
    // left by an instance that crashed is replaced) and answers the instances started later.
    [[nodiscard]] bool activateRunning();
    // The window a later instance brings forward.
    void setWindow(QWidget* window) { m_window = window; }

    // The socket used where there is no session bus; its name tells homes apart.
    [[nodiscard]] static QString socketPath();

public slots:
    // org.freedesktop.Application: un-minimises, raises and activates the window.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

signals:
    // The window was brought forward for a later start.
    void activated();

private:
    // Nothing when there is no session bus; else whether the running instance was activated.
    [[nodiscard]] std::optional<bool> activateOverBus(const QVariantMap& platformData);
    [[nodiscard]] bool activateOverSocket(const QVariantMap& platformData);
    void answer();

    QPointer<QWidget> m_window;
    QString m_busName; // of the connection that owns the name
    std::unique_ptr<QLocalServer> m_server;
};
