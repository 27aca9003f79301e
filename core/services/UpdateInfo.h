#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>

// The newest published version as the product website announces it, and the check for it.
struct UpdateInfo
{
    QString version;
    std::optional<QString> notes;
    std::optional<QString> download_url; // only ever an https address

    // download_url when it parses, else the product website's download page.
    [[nodiscard]] QUrl downloadURL() const;

    // The endpoint's JSON object; nothing unless it is an object with "version" as text and
    // "notes" and "download_url" absent, null or text. A download_url that is not https is
    // dropped.
    [[nodiscard]] static std::optional<UpdateInfo> decode(const QByteArray& body);

    // Asks the version endpoint once and returns the answer when its version is newer than
    // currentVersion. Any failure gives nothing: no answer, a body over 64 KiB, or no complete
    // answer within timeLimit from the start of the request. Blocks the calling thread while it
    // runs its own event loop, so call it off the GUI thread (or use checkAsync).
    [[nodiscard]] static std::optional<UpdateInfo>
    check(const QString& currentVersion,
          std::chrono::milliseconds timeLimit = std::chrono::seconds(10));

    // check on a thread of the global thread pool.
    [[nodiscard]] static QFuture<std::optional<UpdateInfo>>
    checkAsync(const QString& currentVersion);

    // The endpoint: BRIMVALE_UPDATE_URL when set (an https address, or http on the loopback
    // interface for tests), else the product website's "/version.json". Invalid when the
    // override is not acceptable.
    [[nodiscard]] static QUrl endpoint();

    // Compares version texts: runs of digits by their value, anything else character by
    // character; a longer text that only adds ".0" parts is equal, one that adds more is greater.
    // Negative, zero or positive.
    [[nodiscard]] static int compareVersions(const QString& a, const QString& b);

    // This build's version (the project version).
    [[nodiscard]] static QString currentVersion();

    friend bool operator==(const UpdateInfo&, const UpdateInfo&) = default;
};
