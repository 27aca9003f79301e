#include "fs/ExtendedAttributes.h"

#include <cerrno>
#include <optional>
#include <sys/xattr.h>

namespace ExtendedAttributes {

namespace {

// Calls `get` with a buffer grown until what it returns fits; the bytes, or nothing with errno.
template <typename Get> std::optional<QByteArray> grown(Get get)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray bytes(qsizetype(size), Qt::Uninitialized);
        const ssize_t got = size == 0 ? 0 : get(bytes.data(), size_t(size));
        if (got >= 0) {
            bytes.truncate(qsizetype(got));
            return bytes;
        }
        if (errno != ERANGE) // ERANGE: it grew in between
            return std::nullopt;
    }
    errno = ERANGE;
    return std::nullopt;
}

} // namespace

Listing of(int fd)
{
    Listing listing;
    const std::optional<QByteArray> names =
        grown([fd](char* buffer, size_t size) { return ::flistxattr(fd, buffer, size); });
    if (!names) {
        if (errno != ENOTSUP)
            listing.error = errno;
        return listing;
    }
    for (const QByteArray& name : names->split('\0')) {
        if (name.isEmpty())
            continue;
        const std::optional<QByteArray> value = grown([&](char* buffer, size_t size) {
            return ::fgetxattr(fd, name.constData(), buffer, size);
        });
        if (!value) {
            if (errno == ENODATA) // removed since it was listed
                continue;
            listing.error = errno;
            return listing;
        }
        listing.values.insert(name, *value);
    }
    return listing;
}

} // namespace ExtendedAttributes
