#pragma once

#include "model/ModelSource.h"

#include <QHashFunctions>
#include <QString>
#include <optional>

// What the sidebar has selected. Two items are equal when they are the same kind with equal
// payloads (the same source; the same folder text, compared exactly).
struct SidebarItem
{
    enum class Kind
    {
        all,
        duplicates,
        notUsedLately,
        source,
        folder,
        trash,
        moved // the entries whose files were moved to other drives
    };

    Kind kind = Kind::all;
    std::optional<ModelSource> source; // only for Kind::source
    QString folder;                    // only for Kind::folder

    [[nodiscard]] static SidebarItem all() { return {}; }
    [[nodiscard]] static SidebarItem duplicates() { return {Kind::duplicates, std::nullopt, {}}; }
    [[nodiscard]] static SidebarItem notUsedLately()
    {
        return {Kind::notUsedLately, std::nullopt, {}};
    }
    [[nodiscard]] static SidebarItem trash() { return {Kind::trash, std::nullopt, {}}; }
    [[nodiscard]] static SidebarItem moved() { return {Kind::moved, std::nullopt, {}}; }
    [[nodiscard]] static SidebarItem ofSource(ModelSource s) { return {Kind::source, s, {}}; }
    [[nodiscard]] static SidebarItem ofFolder(const QString& path)
    {
        return {Kind::folder, std::nullopt, path};
    }

    friend bool operator==(const SidebarItem&, const SidebarItem&) = default;
};

inline size_t qHash(const SidebarItem& item, size_t seed = 0) noexcept
{
    return qHashMulti(seed, static_cast<int>(item.kind),
                      item.source ? static_cast<int>(item.source->value()) : -1, item.folder);
}
