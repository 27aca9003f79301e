#pragma once

#include "app/SortKey.h"
#include "model/ModelEntry.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QList>
#include <array>
#include <functional>
#include <optional>

// The rows of the models table: a copy of the entries it is given, in their order. Reads no
// files; every cell comes from the entries.
class ModelTableModel : public QAbstractTableModel
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

    explicit ModelTableModel(QObject* parent = nullptr);

    // Replaces every row (a model reset).
    void setRows(QList<ModelEntry> rows);
    [[nodiscard]] const QList<ModelEntry>& rows() const { return m_rows; }
    // The row of the entry with the id, if shown.
    [[nodiscard]] std::optional<int> rowOf(const QString& id) const;
    // The time relative dates are measured from; the system clock by default.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    // The sort field of the column; none for Status.
    [[nodiscard]] static std::optional<SortKey::Field> sortField(int column);
    // The column showing the field, if one does.
    [[nodiscard]] static std::optional<int> columnOf(SortKey::Field field);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

private:
    [[nodiscard]] QVariant display(const ModelEntry& entry, int column) const;
    [[nodiscard]] QVariant toolTip(const ModelEntry& entry, int column) const;
    // The label of the drive a moved entry's files are on, looked up once per target.
    [[nodiscard]] QString driveLabel(const ModelEntry& entry) const;

    QList<ModelEntry> m_rows;
    QHash<QString, int> m_rowOfId;
    std::function<QDateTime()> m_now;
    std::array<QIcon, ModelSource::count> m_sourceIcons;
    QIcon m_inUseIcon;
    QIcon m_safeIcon;
    mutable QHash<QString, QString> m_driveLabels;
};
