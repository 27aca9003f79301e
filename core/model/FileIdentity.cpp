#include "model/FileIdentity.h"

#include <QStringList>

namespace {

qint64 nanoseconds(const struct timespec& time)
{
    return static_cast<qint64>(time.tv_sec) * 1'000'000'000 + static_cast<qint64>(time.tv_nsec);
}

} // namespace

FileIdentity FileIdentity::of(const struct stat& st)
{
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino),
            static_cast<qint64>(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

std::optional<FileIdentity> FileIdentity::fromKey(const QString& key)
{
    const QStringList parts = key.split(u':');
    if (parts.size() != 5)
        return std::nullopt;
    bool ok[5] = {};
    FileIdentity identity{parts[0].toULongLong(&ok[0]), parts[1].toULongLong(&ok[1]),
                          parts[2].toLongLong(&ok[2]), parts[3].toLongLong(&ok[3]),
                          parts[4].toLongLong(&ok[4])};
    for (bool part : ok) {
        if (!part)
            return std::nullopt;
    }
    if (identity.size < 0 || identity.key() != key)
        return std::nullopt;
    return identity;
}

QString FileIdentity::key() const
{
    return QString::number(device) + u':' + QString::number(inode) + u':' + QString::number(size) +
           u':' + QString::number(modifiedNs) + u':' + QString::number(changedNs);
}
