#include "views/DetailPlaceholder.h"

#include "app/AppModel.h"
#include "fs/Format.h"
#include "views/SourceStyle.h"
#include "views/StatusBar.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

DetailPlaceholder::DetailPlaceholder(AppModel& model, bool trash, QWidget* parent)
    : QWidget(parent), m_model(model), m_trash(trash), m_title(new QLabel(this)),
      m_list(new QTreeWidget(this)), m_status(new StatusBar(this)),
      m_stop(new QPushButton(QStringLiteral("Stop")))
{
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    m_title->setFont(big);
    m_title->setTextFormat(Qt::PlainText);
    m_list->setRootIsDecorated(false);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Source"), QStringLiteral("Size")});
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_status->addControl(m_stop);
    connect(m_stop, &QPushButton::clicked, &m_model, &AppModel::stopMove);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new QVBoxLayout;
    header->setContentsMargins(16, 12, 16, 8);
    header->addWidget(m_title);
    layout->addLayout(header);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    for (auto signal :
         {&AppModel::scanChanged, &AppModel::sidebarChanged, &AppModel::trashEntriesChanged})
        connect(&m_model, signal, this, &DetailPlaceholder::refresh);
    for (auto signal : {&AppModel::busyMessageChanged, &AppModel::scanProgressTextChanged,
                        &AppModel::isScanningChanged})
        connect(&m_model, signal, this, &DetailPlaceholder::refreshStatus);
    refresh();
    refreshStatus();
}

void DetailPlaceholder::refresh()
{
    m_list->clear();
    qint64 total = 0;
    if (m_trash) {
        m_title->setText(QStringLiteral("Trash"));
        for (const TrashEntry& entry : m_model.trashEntries()) {
            const std::optional<ModelSource> source = entry.modelSource();
            auto* row = new QTreeWidgetItem(m_list, {entry.modelName,
                                                     source ? source->label() : entry.source,
                                                     Format::bytes(entry.sizeBytes)});
            if (source)
                row->setIcon(1, SourceStyle::icon(*source));
            total += entry.sizeBytes;
        }
        m_status->setText(QStringLiteral("%1 items · %2")
                              .arg(m_model.trashEntries().size())
                              .arg(Format::bytes(total)));
        return;
    }
    m_title->setText(QStringLiteral("Models"));
    const QList<ModelEntry> models = m_model.visibleModels();
    for (const ModelEntry& entry : models) {
        auto* row = new QTreeWidgetItem(
            m_list, {entry.name, entry.source.label(), Format::bytes(entry.sizeBytes)});
        row->setIcon(1, SourceStyle::icon(entry.source));
        total += entry.reclaimableBytes;
    }
    m_status->setText(m_model.scan() ? QStringLiteral("%1 models · %2 reclaimable")
                                           .arg(models.size())
                                           .arg(Format::bytes(total))
                                     : QString());
}

void DetailPlaceholder::refreshStatus()
{
    std::optional<QString> busy = m_model.busyMessage();
    if (!busy && m_model.isScanning())
        busy = m_model.scanProgressText().isEmpty() ? QStringLiteral("Scanning…")
                                                    : m_model.scanProgressText();
    m_status->setBusy(busy);
    m_stop->setVisible(m_model.isMoving());
}
