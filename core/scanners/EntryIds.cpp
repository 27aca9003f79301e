#include "scanners/EntryIds.h"

namespace EntryIds {

QString withoutControlCharacters(QString id)
{
    for (QChar& c : id) {
        if (c.category() == QChar::Other_Control)
            c = u'-';
    }
    return id;
}

} // namespace EntryIds
