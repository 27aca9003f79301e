#include "model/FileInfo.h"

QString FileInfo::fileName() const
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}
