#pragma once

#include "app/EntryTableModel.h"
#include "app/ItemRoles.h"
#include "app/SortKey.h"
#include "model/ModelEntry.h"

#include <QHash>

// The last scan's entries as one table, in scan order; the views sort and filter it through
// ScanFilterProxy. Reads no files: every cell comes from the entries and the drive labels the
// application model read on its job runner.
class ScanItemModel : public EntryTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        name,
        source,
        size,
        modified,
        lastUsed,
        status,
        columnCount_
    };

    explicit ScanItemModel(QObject* parent = nullptr);

    // Brings the rows to the entries: removed and updated entries change only their rows.
    void setEntries(QList<ModelEntry> entries);
    [[nodiscard]] const QList<ModelEntry>& entries() const { return m_rows; }
    [[nodiscard]] const ModelEntry& entryAt(int row) const { return m_rows[row]; }
    // The names of the drives moved entries are on, by the first moved item's target.
    void setDriveLabels(QHash<QString, QString> labels);

    // The sort field of the column; none for Status.
    [[nodiscard]] static std::optional<SortKey::Field> sortField(int column);
    // The column showing the field, if one does.
    [[nodiscard]] static std::optional<int> columnOf(SortKey::Field field);

    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

private:
    [[nodiscard]] QVariant display(const ModelEntry& entry, int column) const;
    [[nodiscard]] QVariant toolTip(const ModelEntry& entry, int column) const;
    [[nodiscard]] QList<ItemTag> tags(const ModelEntry& entry) const;
    [[nodiscard]] QString secondLine(const ModelEntry& entry) const;
    [[nodiscard]] QString accessibleText(const ModelEntry& entry) const;
    [[nodiscard]] QString driveLabel(const ModelEntry& entry) const;

    QList<ModelEntry> m_rows;
    QHash<QString, QString> m_driveLabels;
};
