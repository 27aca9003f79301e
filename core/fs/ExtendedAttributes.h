#pragma once

#include <QByteArray>
#include <vector>

// The extended attributes of a file or folder (POSIX ACLs among them, as system.posix_acl_*),
// read and written through open descriptors.
namespace ExtendedAttributes {

struct Attribute
{
    QByteArray name;
    QByteArray value;

    friend bool operator==(const Attribute&, const Attribute&) = default;
};
using List = std::vector<Attribute>;

// Every attribute of the open file that this process may read (a filesystem without attributes
// has none). Returns 0 or an errno value.
[[nodiscard]] int read(int fd, List& out);

// Whether the two lists hold the same attributes with the same values, in whatever order the
// filesystem listed them.
[[nodiscard]] bool same(List a, List b);

struct Written
{
    int error = 0;       // an errno value when the file could not be written
    bool allHeld = true; // false when the filesystem or this process's rights refused one
};

// Gives the open file the attributes of `attributes`, and takes away an ACL it has that the list
// lacks (one it took from the folder it was made in). An attribute the filesystem cannot hold or
// this process may not set is left out and only clears `allHeld`.
[[nodiscard]] Written write(int fd, const List& attributes);

} // namespace ExtendedAttributes
