#include "scanners/OllamaLoaded.h"

#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint16 kPort = 11434;
constexpr qsizetype kMaxAnswer = 1 << 20;

using Clock = std::chrono::steady_clock;

// Waits for the socket until the deadline; false when it passed or the wait failed.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd request{fd, events, 0};
        const int ready = ::poll(&request, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

std::optional<QByteArray> fetch(std::chrono::milliseconds limit)
{
    const Clock::time_point deadline = Clock::now() + limit;
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.isValid())
        return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || !waitFor(fd.get(), POLLOUT, deadline) ||
            ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return std::nullopt;
    }
    const QByteArray request = QByteArrayLiteral(
        "GET /api/ps HTTP/1.0\r\nHost: 127.0.0.1:11434\r\nConnection: close\r\n\r\n");
    if (PosixIO::writeAll(fd.get(), request) != 0)
        return std::nullopt;
    QByteArray answer;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            answer.append(buffer, n);
            if (answer.size() > kMaxAnswer)
                return std::nullopt;
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || !waitFor(fd.get(), POLLIN, deadline))
            return std::nullopt;
    }
    const qsizetype headerEnd = answer.indexOf("\r\n\r\n");
    const qsizetype lineEnd = answer.indexOf("\r\n");
    if (headerEnd < 0 || !answer.left(lineEnd).contains(" 200"))
        return std::nullopt;
    return answer.mid(headerEnd + 4);
}

} // namespace

namespace OllamaLoaded {

QStringList models(std::chrono::milliseconds limit)
{
    const std::optional<QByteArray> body = fetch(limit);
    return body ? namesIn(*body) : QStringList();
}

QStringList namesIn(const QByteArray& body)
{
    QStringList names;
    const QJsonArray models = QJsonDocument::fromJson(body).object().value(u"models").toArray();
    for (const QJsonValue model : models) {
        const QJsonObject object = model.toObject();
        QString name = object.value(u"name").toString();
        if (name.isEmpty())
            name = object.value(u"model").toString();
        if (!name.isEmpty())
            names.push_back(name);
    }
    return names;
}

bool namesTag(const QString& loaded, const QString& tag)
{
    QString name = loaded.mid(loaded.lastIndexOf(u'/') + 1);
    if (!name.contains(u':'))
        name += QStringLiteral(":latest");
    return !name.startsWith(u':') && name == tag;
}

} // namespace OllamaLoaded
