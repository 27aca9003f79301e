#include "fs/WalkTypes.h"

std::optional<QString> WalkedFile::pathText() const
{
    if (!pathIsUtf8)
        return std::nullopt;
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}
