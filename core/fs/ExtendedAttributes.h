#pragma once

#include <QByteArray>
#include <QMap>

// The extended attributes of an open file, ACLs included (system.posix_acl_access), as the
// caller is allowed to see them.
namespace ExtendedAttributes {

struct Listing
{
    QMap<QByteArray, QByteArray> values; // by name
    int error = 0; // errno when they could not be read; none on a filesystem without them
};

// Every attribute name of the file with its value.
[[nodiscard]] Listing of(int fd);

} // namespace ExtendedAttributes
