#pragma once

#include <QByteArray>

// Deletes a file tree through directory descriptors.
namespace TreeRemover {

// Deletes dir/name and everything inside it, never following a symlink and never entering
// another mount; a folder of the caller's own without write permission is opened up first.
// Stops at the first error. Returns 0 (also when nothing is there) or an errno value (EINVAL for
// a name holding NUL, before anything is touched).
[[nodiscard]] int remove(int dir, const QByteArray& name);

} // namespace TreeRemover
