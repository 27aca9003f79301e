#pragma once

#include "app/EntryTableModel.h"
#include "app/SidebarRoles.h"
#include "model/ScanResult.h"

#include <optional>

// The sidebar's rows: All Models and the lists that hold something, the "Sources" header and
// the sources, the "Folders" header, the custom folders and the "Add Folder…" row, a spacer and
// the Trash. Headers, the spacer and the Add Folder row choose nothing and are not selectable.
// Each row's SidebarItem is in its data (SidebarRoles::item).
class SidebarModel : public EntryTableModel
{
    Q_OBJECT

public:
    struct Row
    {
        enum class Kind
        {
            choice,
            header,
            addFolder
        };

        QString id;
        Kind kind = Kind::choice;
        std::optional<SidebarItem> item;
        QString title;
        QString iconName;
        ItemTone tone = ItemTone::plain;
        std::optional<ModelSource> source;
        QString trailing;
        qsizetype count = -1; // the Trash's entries, shown as a badge
        QString toolTip;

        friend bool operator==(const Row&, const Row&) = default;
    };

    explicit SidebarModel(QObject* parent = nullptr);

    // Brings the rows to what the scan, the settings and the Trash hold now.
    void update(const std::optional<ScanResult>& scan, bool includeLoose,
                const QStringList& customFolders, qsizetype trashCount,
                const QDateTime& now = QDateTime::currentDateTimeUtc());
    [[nodiscard]] const QList<Row>& rows() const { return m_rows; }
    // The row that chooses the item, if one does.
    [[nodiscard]] std::optional<int> rowOf(const SidebarItem& item) const;

    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    QList<Row> m_rows;
};
