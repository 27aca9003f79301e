#include "app/DisplayText.h"

#include <algorithm>

namespace DisplayText {

namespace {

bool hidden(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

QChar mark(QChar c)
{
    const char16_t code = c.unicode();
    if (code < 0x20)
        return QChar(char16_t(0x2400 + code));
    return code == 0x7F ? QChar(char16_t(0x2421)) : QChar(QChar::ReplacementCharacter);
}

} // namespace

QString oneLine(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), hidden))
        return text;
    QString shown = text;
    for (QChar& c : shown)
        if (hidden(c))
            c = mark(c);
    return shown;
}

} // namespace DisplayText
