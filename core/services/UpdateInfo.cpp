#include "services/UpdateInfo.h"

#include "fs/JSONStore.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <memory>

namespace {

constexpr qint64 kMaxBody = 65536;

const QString kWebsite = QStringLiteral("https://brimvale.app");

bool isHttps(const QUrl& url)
{
    return url.isValid() && !url.isRelative() && url.scheme() == QStringLiteral("https") &&
           !url.host().isEmpty();
}

bool isLoopbackHttp(const QUrl& url)
{
    const QString host = url.host();
    return url.isValid() && url.scheme() == QStringLiteral("http") &&
           (host == QStringLiteral("127.0.0.1") || host == QStringLiteral("localhost") ||
            host == QStringLiteral("::1"));
}

// The optional text under the key: absent and null give none; any other type fails.
bool optionalText(const QJsonObject& object, const QString& key, std::optional<QString>& out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

// A reply that came from the server, whatever its status: only the body counts.
bool answeredByServer(const QNetworkReply& reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int error = reply.error();
    const bool contentError =
        error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError;
    const bool serverError =
        error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError;
    return error == QNetworkReply::NoError || contentError || serverError;
}

// The body of one GET, read up to kMaxBody bytes; nothing on any failure, on a longer body, or
// when the whole answer has not arrived within the time limit.
std::optional<QByteArray> fetch(const QUrl& url, std::chrono::milliseconds timeLimit)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = manager.get(request);
    reply->setReadBufferSize(kMaxBody + 1); // never hold more than the limit
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QByteArray body;
    bool failed = false;
    auto giveUp = [&] {
        failed = true;
        reply->abort();
    };
    auto readAvailable = [&] {
        body += reply->read(kMaxBody + 1 - body.size());
        if (body.size() > kMaxBody)
            giveUp();
    };
    QObject::connect(&timer, &QTimer::timeout, reply, giveUp);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, readAvailable);
    QObject::connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl& target) {
        if (isHttps(target))
            emit reply->redirectAllowed();
        else
            giveUp();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeLimit);
    if (!reply->isFinished())
        loop.exec();
    timer.stop();
    if (!failed && reply->bytesAvailable() > 0)
        readAvailable();
    if (failed || !answeredByServer(*reply))
        return std::nullopt;
    return body;
}

int compareDigitRuns(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The next token at position: a run of digits, or one other character.
QStringView token(QStringView text, qsizetype position)
{
    qsizetype end = position + 1;
    if (isAsciiDigit(text[position])) {
        while (end < text.size() && isAsciiDigit(text[end]))
            ++end;
    }
    return text.mid(position, end - position);
}

} // namespace

QUrl UpdateInfo::downloadURL() const
{
    if (download_url) {
        QUrl url(*download_url, QUrl::StrictMode);
        if (isHttps(url))
            return url;
    }
    return QUrl(kWebsite + QStringLiteral("/download"));
}

std::optional<UpdateInfo> UpdateInfo::decode(const QByteArray& body)
{
    const std::optional<QJsonObject> parsed = JSONStore::objectOf(body);
    if (!parsed)
        return std::nullopt;
    const QJsonObject& object = *parsed;
    const QJsonValue version = object.value(QStringLiteral("version"));
    if (!version.isString())
        return std::nullopt;
    UpdateInfo info;
    info.version = version.toString();
    if (!optionalText(object, QStringLiteral("notes"), info.notes) ||
        !optionalText(object, QStringLiteral("download_url"), info.download_url))
        return std::nullopt;
    if (info.download_url && !isHttps(QUrl(*info.download_url, QUrl::StrictMode)))
        info.download_url.reset(); // never offer a download that is not https
    return info;
}

std::optional<UpdateInfo> UpdateInfo::check(const QString& currentVersion,
                                            std::chrono::milliseconds timeLimit)
{
    const QUrl url = endpoint();
    if (!url.isValid())
        return std::nullopt;
    const std::optional<QByteArray> body = fetch(url, timeLimit);
    if (!body)
        return std::nullopt;
    std::optional<UpdateInfo> info = decode(*body);
    if (!info || compareVersions(info->version, currentVersion) <= 0)
        return std::nullopt;
    return info;
}

QFuture<std::optional<UpdateInfo>> UpdateInfo::checkAsync(const QString& currentVersion)
{
    auto promise = std::make_shared<QPromise<std::optional<UpdateInfo>>>();
    QFuture<std::optional<UpdateInfo>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, currentVersion] {
        promise->addResult(check(currentVersion));
        promise->finish();
    });
    return future;
}

QUrl UpdateInfo::endpoint()
{
    const QString override = qEnvironmentVariable("BRIMVALE_UPDATE_URL");
    if (override.isEmpty())
        return QUrl(kWebsite + QStringLiteral("/version.json"));
    QUrl url(override, QUrl::StrictMode);
    if (isHttps(url) || isLoopbackHttp(url))
        return url;
    return QUrl();
}

int UpdateInfo::compareVersions(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const QStringView left = token(a, i);
        const QStringView right = token(b, j);
        int order = 0;
        if (isAsciiDigit(left.front()) && isAsciiDigit(right.front()))
            order = compareDigitRuns(left, right);
        else if (left.front() != right.front())
            order = left.front() < right.front() ? -1 : 1;
        if (order != 0)
            return order;
        i += left.size();
        j += right.size();
    }
    // Equal so far: the longer version is the newer one (1.2.0 is newer than 1.2).
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

QString UpdateInfo::currentVersion()
{
    return QStringLiteral(BRIMVALE_VERSION);
}
