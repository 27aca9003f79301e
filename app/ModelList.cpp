#include "app/ModelList.h"

#include "model/PathParts.h"

#include <QCollator>
#include <algorithm>
#include <numeric>
#include <vector>

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

QList<ModelEntry> entriesFor(const QList<ModelEntry>& models, const SidebarItem& item,
                             const QDateTime& now)
{
    using K = SidebarItem::Kind;
    if (item.kind == K::all)
        return models;
    QList<ModelEntry> kept;
    if (item.kind == K::trash)
        return kept;
    for (const ModelEntry& entry : models) {
        const bool belongs = item.kind == K::duplicates      ? entry.isDuplicate
                             : item.kind == K::notUsedLately ? unusedLately(entry, now)
                             : item.kind == K::moved         ? entry.isMoved()
                             : item.kind == K::source        ? item.source == entry.source
                                                      : isInside(entry.primaryPath, item.folder);
        if (belongs)
            kept.push_back(entry);
    }
    return kept;
}

QList<ModelEntry> matching(const QList<ModelEntry>& models, const QString& search)
{
    const QString needle = trimmedBlanks(search);
    if (needle.isEmpty())
        return models;
    QList<ModelEntry> kept;
    for (const ModelEntry& entry : models)
        if (entry.name.contains(needle, Qt::CaseInsensitive) ||
            entry.primaryPath.contains(needle, Qt::CaseInsensitive))
            kept.push_back(entry);
    return kept;
}

void sort(QList<ModelEntry>& models, const QList<SortKey>& keys)
{
    QCollator collator;
    collator.setNumericMode(true);
    // Sorts positions and moves each entry once; dates are converted once per entry.
    std::vector<qint64> dates;
    if (std::any_of(keys.cbegin(), keys.cend(),
                    [](const SortKey& key) { return key.field == SortKey::Field::lastModified; }))
        for (const ModelEntry& entry : models)
            dates.push_back(milliseconds(entry.lastModified));
    std::vector<qsizetype> indices(models.size());
    std::iota(indices.begin(), indices.end(), 0);
    std::stable_sort(indices.begin(), indices.end(), [&](qsizetype a, qsizetype b) {
        for (const SortKey& key : keys) {
            const int result = key.field == SortKey::Field::lastModified
                                   ? order(dates[a], dates[b])
                                   : compare(models[a], models[b], key.field, collator);
            if (result != 0)
                return key.ascending ? result < 0 : result > 0;
        }
        return false;
    });
    QList<ModelEntry> sorted;
    sorted.reserve(models.size());
    for (const qsizetype i : indices)
        sorted.push_back(std::move(models[i]));
    models = std::move(sorted);
}

} // namespace ModelList
