#include "app/ModelList.h"

#include "model/PathParts.h"

#include <QCollator>
#include <algorithm>

namespace ModelList {

namespace {

bool isInside(const QString& path, const QString& folder)
{
    const QString root = PathParts::withoutTrailingSlashes(folder);
    if (root == QStringLiteral("/"))
        return path.startsWith(root) && path.size() > 1;
    return path.size() > root.size() + 1 && path.startsWith(root) && path[root.size()] == u'/';
}

QString trimmedBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// A date for comparing: an absent one sorts before every other.
qint64 milliseconds(const std::optional<QDateTime>& date)
{
    return date ? date->toMSecsSinceEpoch() : LLONG_MIN;
}

template <typename T> int order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compare(const ModelEntry& a, const ModelEntry& b, SortKey::Field field,
            const QCollator& collator)
{
    using F = SortKey::Field;
    const auto text = [&](const std::optional<QString>& x, const std::optional<QString>& y) {
        return collator.compare(x.value_or(QString()), y.value_or(QString()));
    };
    switch (field) {
    case F::name:
        return collator.compare(a.name, b.name);
    case F::source:
        return order(a.source.value(), b.source.value());
    case F::sizeBytes:
        return order(a.sizeBytes, b.sizeBytes);
    case F::reclaimableBytes:
        return order(a.reclaimableBytes, b.reclaimableBytes);
    case F::primaryPath:
        return collator.compare(a.primaryPath, b.primaryPath);
    case F::lastModified:
        return order(milliseconds(a.lastModified), milliseconds(b.lastModified));
    case F::lastUsed:
        return order(milliseconds(a.lastUsed), milliseconds(b.lastUsed));
    case F::deleteRisk:
        return order(a.deleteRisk.value(), b.deleteRisk.value());
    case F::quantization:
        return text(a.quantization, b.quantization);
    case F::detail:
        return text(a.detail, b.detail);
    case F::isDuplicate:
        return order(a.isDuplicate, b.isDuplicate);
    }
    return 0;
}

} // namespace

bool unusedLately(const ModelEntry& entry, const QDateTime& now)
{
    return entry.lastUsed && *entry.lastUsed < now.addDays(-kUnusedDays);
}

bool belongsTo(const ModelEntry& entry, const SidebarItem& item, const QDateTime& now)
{
    using K = SidebarItem::Kind;
    switch (item.kind) {
    case K::all:
        return true;
    case K::trash:
        return false;
    case K::duplicates:
        return entry.isDuplicate;
    case K::notUsedLately:
        return unusedLately(entry, now);
    case K::moved:
        return entry.isMoved();
    case K::source:
        return item.source == entry.source;
    case K::folder:
        return isInside(entry.primaryPath, item.folder);
    }
    return false;
}

QList<ModelEntry> entriesFor(const QList<ModelEntry>& models, const SidebarItem& item,
                             const QDateTime& now)
{
    if (item.kind == SidebarItem::Kind::all)
        return models;
    QList<ModelEntry> kept;
    for (const ModelEntry& entry : models)
        if (belongsTo(entry, item, now))
            kept.push_back(entry);
    return kept;
}

QString trimmedSearch(const QString& search)
{
    return trimmedBlanks(search);
}

bool matches(const ModelEntry& entry, const QString& needle)
{
    return entry.name.contains(needle, Qt::CaseInsensitive) ||
           entry.primaryPath.contains(needle, Qt::CaseInsensitive);
}

bool lessThan(const ModelEntry& a, const ModelEntry& b, const QList<SortKey>& keys,
              const QCollator& collator)
{
    for (const SortKey& key : keys) {
        const int result = compare(a, b, key.field, collator);
        if (result != 0)
            return key.ascending ? result < 0 : result > 0;
    }
    return false;
}

} // namespace ModelList
