#include "app/AppItemModels.h"

#include "app/AppModel.h"
#include "app/DriveLabels.h"
#include "app/JobRunner.h"
#include "app/ScanFilterProxy.h"
#include "app/ScanItemModel.h"
#include "app/SidebarModel.h"
#include "app/TrashItemModel.h"
#include "app/TrashSortProxy.h"

AppItemModels::AppItemModels(AppModel& model, JobRunner& runner)
    : m_model(model), m_runner(runner), m_scan(std::make_unique<ScanItemModel>()),
      m_visible(std::make_unique<ScanFilterProxy>(*m_scan)),
      m_trash(std::make_unique<TrashItemModel>()),
      m_trashSorted(std::make_unique<TrashSortProxy>(*m_trash)),
      m_sidebar(std::make_unique<SidebarModel>())
{
    // Connected before any view, so the rows are current when the views hear the same signal.
    connect(&m_model, &AppModel::scanChanged, this, &AppItemModels::syncScan);
    connect(&m_model, &AppModel::sidebarChanged, this,
            [this] { m_visible->setSidebar(m_model.sidebar()); });
    connect(&m_model, &AppModel::searchChanged, this,
            [this] { m_visible->setSearch(m_model.search()); });
    connect(&m_model, &AppModel::sortOrderChanged, this,
            [this] { m_visible->setSortOrder(m_model.sortOrder()); });
    connect(&m_model, &AppModel::trashEntriesChanged, this, [this] {
        m_trash->setEntries(m_model.trashEntries());
        syncSidebar();
    });
    for (const auto signal : {&AppModel::includeLooseChanged, &AppModel::customFoldersChanged})
        connect(&m_model, signal, this, &AppItemModels::syncSidebar);
    m_visible->setSidebar(m_model.sidebar());
    m_visible->setSortOrder(m_model.sortOrder());
    syncSidebar();
}

AppItemModels::~AppItemModels() = default;

void AppItemModels::syncScan()
{
    const std::optional<ScanResult>& scan = m_model.scan();
    m_scan->setEntries(scan ? scan->models : QList<ModelEntry>());
    syncSidebar();
    readDriveLabels();
}

void AppItemModels::syncSidebar()
{
    m_sidebar->update(m_model.scan(), m_model.includeLoose(), m_model.customFolders(),
                      m_model.trashEntries().size());
}

void AppItemModels::readDriveLabels()
{
    QStringList targets;
    for (const ModelEntry& entry : m_scan->entries())
        if (entry.isMoved())
            targets << entry.moved.first().target;
    if (targets.isEmpty())
        return;
    m_runner.run(
        {}, [targets](const JobRunner::Context&) { return DriveLabels::readAll(targets); },
        [this](JobRunner::Outcome<QHash<QString, QString>>&& outcome) {
            if (outcome.value)
                m_scan->setDriveLabels(std::move(*outcome.value));
        });
}
