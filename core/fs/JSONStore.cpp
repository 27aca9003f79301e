#include "fs/JSONStore.h"

#include "fs/AppPaths.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>

namespace {

// Renames an existing file aside; nothing happens when nothing is there.
void setAside(const QString& path)
{
    const QString base =
        path + QStringLiteral(".corrupt-") + QString::number(QDateTime::currentSecsSinceEpoch());
    for (int n = 1;; ++n) {
        const QString target = n == 1 ? base : base + u'-' + QString::number(n);
        const int error = PosixIO::renameNoReplace(path, target);
        if (error == 0 || error == ENOENT)
            return;
        if (error != EEXIST)
            throw BrimvaleError(QStringLiteral("Cannot keep ") + path + QStringLiteral(" aside: ") +
                                BrimvaleError::describe(error));
    }
}

} // namespace

namespace JSONStore {

QString pathOf(const QString& name)
{
    return AppPaths::dataDir() + u'/' + name;
}

ReadResult read(const QString& name)
{
    const QString path = pathOf(name);
    if (!PosixIO::lexists(path))
        return {ReadStatus::missing, {}};
    const std::optional<QByteArray> bytes = PosixIO::readRegularFile(path);
    if (!bytes)
        return {ReadStatus::unusable, {}};
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return {ReadStatus::unusable, {}};
    return {ReadStatus::ok, std::move(document)};
}

void keepAside(const QString& name)
{
    setAside(pathOf(name));
}

std::optional<QJsonObject> objectOf(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QByteArray encode(const QJsonDocument& document)
{
    // A "/" can only occur inside strings in JSON text, so escaping every one is exact.
    QByteArray bytes = document.toJson(QJsonDocument::Indented);
    bytes.replace("/", "\\/");
    return bytes;
}

void write(const QJsonDocument& document, const QString& name, bool keepExistingAside)
{
    PosixIO::makePath(AppPaths::dataDir());
    const QString path = pathOf(name);
    const QByteArray bytes = encode(document);
    if (!keepExistingAside) {
        PosixIO::writeAtomically(path, bytes);
        return;
    }
    // Write the new content next to the target first, so a failure keeps both old files.
    const QString staged = path + QStringLiteral(".new");
    PosixIO::writeAtomically(staged, bytes);
    try {
        setAside(path);
    } catch (...) {
        QFile::remove(staged);
        throw;
    }
    if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        QFile::remove(staged);
        throw BrimvaleError(QStringLiteral("Cannot write ") + path + QStringLiteral(": ") +
                            BrimvaleError::describe(error));
    }
}

} // namespace JSONStore
