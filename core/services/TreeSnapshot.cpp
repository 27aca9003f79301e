#include "services/TreeSnapshot.h"

#include "fs/DirectoryListing.h"
#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace TreeSnapshot {

namespace {

QByteArray childPath(const QByteArray& parent, const QByteArray& name)
{
    return parent.isEmpty() ? name : parent + '/' + name;
}

class Lister
{
public:
    explicit Lister(const QByteArray& item) : m_item(item) {}

    void add(int dir, const QByteArray& name, const QByteArray& path)
    {
        struct stat st
        {
        };
        if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            throw BrimvaleError::fromErrno(errno);
        if (path.isEmpty())
            m_device = st.st_dev;
        Entry entry;
        entry.path = path;
        entry.size = st.st_size;
        entry.modifiedSeconds = st.st_mtim.tv_sec;
        entry.modifiedNanoseconds = st.st_mtim.tv_nsec;
        entry.changedSeconds = st.st_ctim.tv_sec;
        entry.changedNanoseconds = st.st_ctim.tv_nsec;
        entry.inode = st.st_ino;
        if (S_ISREG(st.st_mode)) {
            entry.kind = Kind::file;
            m_entries.push_back(std::move(entry));
        } else if (S_ISLNK(st.st_mode)) {
            entry.kind = Kind::symlink;
            if (const int error = readLink(dir, name.constData(), entry.target))
                throw BrimvaleError::fromErrno(error);
            m_entries.push_back(std::move(entry));
        } else if (S_ISDIR(st.st_mode)) {
            if (st.st_dev != m_device)
                throw BrimvaleError(QStringLiteral("Another drive is mounted at ") +
                                    display(m_item, path));
            entry.kind = Kind::folder;
            entry.size = 0;
            m_entries.push_back(std::move(entry));
            const UniqueFd folder(
                ::openat(dir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!folder.isValid())
                throw BrimvaleError::fromErrno(errno);
            std::vector<QByteArray> children;
            if (const int error = names(folder.get(), children))
                throw BrimvaleError::fromErrno(error);
            for (const QByteArray& child : children)
                add(folder.get(), child, childPath(path, child));
        } else {
            throw BrimvaleError(QStringLiteral("Not a file, folder or symlink: ") +
                                display(m_item, path));
        }
    }

    Snapshot take() { return std::move(m_entries); }

private:
    QByteArray m_item;
    dev_t m_device = 0;
    Snapshot m_entries;
};

bool sameEntry(const Entry& a, const Entry& b, Compare how)
{
    if (a.path != b.path || a.kind != b.kind)
        return false;
    if (a.kind == Kind::file && a.size != b.size)
        return false;
    if (a.kind == Kind::symlink && a.target != b.target)
        return false;
    if (how == Compare::copy)
        return true;
    if (a.inode != b.inode)
        return false;
    if (a.kind != Kind::file)
        return true;
    if (a.modifiedSeconds != b.modifiedSeconds || a.modifiedNanoseconds != b.modifiedNanoseconds)
        return false;
    if (how == Compare::renamedSource && a.path.isEmpty())
        return true;
    return a.changedSeconds == b.changedSeconds && a.changedNanoseconds == b.changedNanoseconds;
}

} // namespace

Snapshot list(int dir, const QByteArray& name, const QByteArray& shownAs)
{
    Lister lister(shownAs.isEmpty() ? name : shownAs);
    lister.add(dir, name, QByteArray());
    return lister.take();
}

int readLink(int dir, const char* name, QByteArray& target)
{
    QByteArray buffer(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t n =
            ::readlinkat(dir, name, buffer.data(), static_cast<size_t>(buffer.size()));
        if (n < 0)
            return errno;
        if (n < buffer.size()) {
            buffer.truncate(n);
            target = buffer;
            return 0;
        }
        if (buffer.size() > (1 << 20))
            return ENAMETOOLONG;
        buffer.resize(buffer.size() * 4);
    }
}

int names(int folder, std::vector<QByteArray>& out)
{
    DirectoryListing listing;
    out.clear();
    const bool ok = listing.read(folder, [&](std::string_view name, unsigned char) {
        out.emplace_back(name.data(), static_cast<qsizetype>(name.size()));
    });
    if (!ok)
        return errno != 0 ? errno : EIO;
    std::sort(out.begin(), out.end());
    return 0;
}

std::optional<QByteArray> firstDifference(const Snapshot& expected, const Snapshot& actual,
                                          Compare how)
{
    const size_t common = std::min(expected.size(), actual.size());
    for (size_t i = 0; i < common; ++i) {
        if (!sameEntry(expected[i], actual[i], how))
            return std::min(expected[i].path, actual[i].path);
    }
    if (expected.size() > common)
        return expected[common].path;
    if (actual.size() > common)
        return actual[common].path;
    return std::nullopt;
}

QString display(const QByteArray& item, const QByteArray& path)
{
    return QString::fromUtf8(path.isEmpty() ? item : item + '/' + path);
}

} // namespace TreeSnapshot
