#include "fs/ExtendedAttributes.h"

#include <QList>
#include <algorithm>
#include <cerrno>
#include <sys/xattr.h>

namespace ExtendedAttributes {

namespace {

const QByteArray kAclPrefix = QByteArrayLiteral("system.posix_acl_");
// The SELinux label: where the copy cannot take the original's, the policy labels it as
// everything else at its place, so leaving it out is no loss to report.
const QByteArray kSecurityLabel = QByteArrayLiteral("security.selinux");

// The names of the file's attributes, or an errno value.
int namesOf(int fd, std::vector<QByteArray>& out)
{
    out.clear();
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP ? 0 : errno;
        QByteArray buffer(size, Qt::Uninitialized);
        const ssize_t n = ::flistxattr(fd, buffer.data(), size_t(buffer.size()));
        if ((n < 0 && errno == ERANGE) || n > buffer.size())
            continue; // one was added since the size was asked
        if (n < 0)
            return errno == ENOTSUP ? 0 : errno;
        for (const QByteArray& name : buffer.left(n).split('\0'))
            if (!name.isEmpty())
                out.push_back(name);
        return 0;
    }
}

// The value of one attribute; ENODATA when it is gone.
int valueOf(int fd, const QByteArray& name, QByteArray& out)
{
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name.constData(), nullptr, 0);
        if (size < 0)
            return errno;
        out.resize(size);
        const ssize_t n = ::fgetxattr(fd, name.constData(), out.data(), size_t(out.size()));
        if ((n < 0 && errno == ERANGE) || n > out.size())
            continue; // it grew since its size was asked
        if (n < 0)
            return errno;
        out.truncate(n);
        return 0;
    }
}

// Errors that mean the filesystem cannot hold the attribute, or that only a more privileged
// process may set it (trusted.*, security.*): the file itself is fine.
bool cannotHold(int error)
{
    switch (error) {
    case ENOTSUP:
    case EPERM:
    case EACCES:
    case EINVAL:
    case E2BIG:
    case ERANGE:
    case ENOSPC:
        return true;
    default:
        return false;
    }
}

} // namespace

bool same(List a, List b)
{
    const auto byName = [](const Attribute& x, const Attribute& y) { return x.name < y.name; };
    std::sort(a.begin(), a.end(), byName);
    std::sort(b.begin(), b.end(), byName);
    return a == b;
}

int read(int fd, List& out)
{
    out.clear();
    std::vector<QByteArray> names;
    if (const int error = namesOf(fd, names))
        return error;
    for (const QByteArray& name : names) {
        Attribute attribute{name, {}};
        const int error = valueOf(fd, name, attribute.value);
        if (error == ENODATA)
            continue; // removed since it was listed
        if (error != 0)
            return error;
        out.push_back(std::move(attribute));
    }
    return 0;
}

Written write(int fd, const List& attributes)
{
    Written written;
    const auto failed = [&](int error) {
        if (cannotHold(error))
            written.allHeld = false;
        else if (written.error == 0)
            written.error = error;
    };
    std::vector<QByteArray> present;
    if (const int error = namesOf(fd, present))
        failed(error);
    for (const QByteArray& name : present) {
        const bool wanted = std::any_of(attributes.begin(), attributes.end(),
                                        [&](const Attribute& a) { return a.name == name; });
        if (!wanted && name.startsWith(kAclPrefix) && ::fremovexattr(fd, name.constData()) != 0 &&
            errno != ENODATA)
            failed(errno);
    }
    for (const Attribute& attribute : attributes)
        if (::fsetxattr(fd, attribute.name.constData(), attribute.value.constData(),
                        size_t(attribute.value.size()), 0) != 0 &&
            !(attribute.name == kSecurityLabel && cannotHold(errno)))
            failed(errno);
    return written;
}

} // namespace ExtendedAttributes
