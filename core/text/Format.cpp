#include "text/Format.h"

#include "fs/AppPaths.h"
#include "model/PathParts.h"

#include <QCoreApplication>
#include <array>

namespace {

struct Unit
{
    const char16_t* name;
    int decimals;
};

constexpr std::array<Unit, 7> kUnits{
    {{u"bytes", 0}, {u"KB", 0}, {u"MB", 1}, {u"GB", 2}, {u"TB", 2}, {u"PB", 2}, {u"EB", 2}}};

constexpr __int128 power10(int exponent)
{
    __int128 value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

} // namespace

namespace Format {

QLocale displayLocale(const QLocale& locale)
{
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

QString longDate(const QDateTime& date, const QLocale& locale)
{
    const QLocale used = displayLocale(locale);
    const QDateTime local = date.toLocalTime();
    const QString time = used.toString(local.time(), QLocale::ShortFormat);
    if (used.language() == QLocale::English)
        return used.toString(local.date(), QStringLiteral("MMMM d, yyyy")) +
               QStringLiteral(" at ") + time;
    return used.toString(local.date(), QLocale::LongFormat) + u' ' + time;
}

QString bytes(qint64 count)
{
    if (count == 0)
        return QStringLiteral("Zero KB");
    const bool negative = count < 0;
    const __int128 magnitude = negative ? -static_cast<__int128>(count) : count;
    const QString sign = negative ? QStringLiteral("-") : QString();
    if (magnitude < 1000) {
        const auto whole = static_cast<qint64>(magnitude);
        return sign + QString::number(whole) +
               (whole == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }
    size_t unit = 1;
    while (unit + 1 < kUnits.size() && magnitude >= power10(3 * static_cast<int>(unit + 1)))
        ++unit;
    for (;; ++unit) {
        const int decimals = kUnits[unit].decimals;
        const __int128 divisor = power10(3 * static_cast<int>(unit));
        // The value in units of 10^-decimals, rounded half away from zero.
        const __int128 scaled = (magnitude * power10(decimals) + divisor / 2) / divisor;
        if (scaled >= 1000 * power10(decimals) && unit + 1 < kUnits.size())
            continue;
        const __int128 scale = power10(decimals);
        QString text = QString::number(static_cast<qint64>(scaled / scale));
        if (decimals > 0) {
            QString fraction =
                QString::number(static_cast<qint64>(scaled % scale)).rightJustified(decimals, u'0');
            while (fraction.endsWith(u'0'))
                fraction.chop(1);
            if (!fraction.isEmpty())
                text += u'.' + fraction;
        }
        return sign + text + u' ' + QString::fromUtf16(kUnits[unit].name);
    }
}

QString shortPath(const QString& path)
{
    const QString home = AppPaths::home();
    if (home.isEmpty() || home == QStringLiteral("/"))
        return path;
    if (path.startsWith(home + u'/'))
        return u'~' + path.mid(home.size());
    const QString resolvedHome = PathParts::resolved(home).value_or(home);
    if (resolvedHome != home && path.startsWith(resolvedHome + u'/'))
        return u'~' + path.mid(resolvedHome.size());
    return path;
}

QString shortPathsIn(const QString& text)
{
    const QString home = PathParts::withoutTrailingSlashes(AppPaths::home());
    if (home.isEmpty() || home == QStringLiteral("/"))
        return text;
    // A path starts the text or follows a character no path name would hold before a "/".
    const auto startsPath = [&text](qsizetype at) {
        if (at == 0)
            return true;
        const QChar before = text[at - 1];
        return !before.isLetterOrNumber() && before != u'/' && before != u'.' && before != u'_' &&
               before != u'-' && before != u'~';
    };
    QString result;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(home); at >= 0; at = text.indexOf(home, at + 1)) {
        const qsizetype end = at + home.size();
        if (end == text.size() || text[end] != u'/' || !startsPath(at) || at < from)
            continue;
        result += QStringView(text).mid(from, at - from);
        result += u'~';
        from = end;
    }
    return result + QStringView(text).mid(from);
}

// The texts keep a number argument rather than a %n plural: with no translator installed (the
// command line) they must read as plain English, and the day and week counts they take are always
// plural or always singular.
static QString relativeDateIn(const std::optional<QDateTime>& date, const QDateTime& now,
                              bool translated)
{
    const auto text = [translated](const char* source) {
        return translated ? QCoreApplication::translate("Format", source)
                          : QString::fromUtf8(source);
    };
    if (!date || !date->isValid() || date->toMSecsSinceEpoch() <= 0)
        return QStringLiteral("—");
    const qint64 seconds = date->secsTo(now);
    const qint64 days = seconds / 86'400;
    if (days < 1)
        return text(QT_TRANSLATE_NOOP("Format", "Today"));
    if (days == 1)
        return text(QT_TRANSLATE_NOOP("Format", "Yesterday"));
    if (days < 7)
        return text(QT_TRANSLATE_NOOP("Format", "%1 days ago")).arg(days);
    if (days < 30) {
        const qint64 weeks = days / 7;
        return days < 14 ? text(QT_TRANSLATE_NOOP("Format", "%1 week ago")).arg(weeks)
                         : text(QT_TRANSLATE_NOOP("Format", "%1 weeks ago")).arg(weeks);
    }
    return displayLocale().toString(date->toLocalTime(), QStringLiteral("MMM yyyy"));
}

QString relativeDate(const std::optional<QDateTime>& date, const QDateTime& now)
{
    return relativeDateIn(date, now, true);
}

QString englishRelativeDate(const std::optional<QDateTime>& date, const QDateTime& now)
{
    return relativeDateIn(date, now, false);
}

} // namespace Format
