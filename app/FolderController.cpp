#include "app/FolderController.h"

#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/JobRunner.h"
#include "app/ModelList.h"
#include "app/ScanController.h"
#include "model/PathParts.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

// The list as stored after a change, and the first failure of the change.
struct FolderController::Stored
{
    QStringList folders;
    std::optional<QString> error;
};

FolderController::FolderController(AppModel& model, JobRunner& runner,
                                   std::shared_ptr<CoreCalls> core)
    : m_model(model), m_runner(runner), m_core(std::move(core))
{}

QFuture<void> FolderController::addFolder()
{
    Dialogs::FolderPanel panel;
    panel.title = QCoreApplication::translate("FolderController", "Add Folder to Scan");
    panel.message = QCoreApplication::translate("FolderController",
                                                "Brimvale will look for model files (.gguf, "
                                                ".safetensors, .ckpt, …) inside this folder.");
    panel.prompt = QCoreApplication::translate("FolderController", "Add Folder");
    panel.several = true;
    Completion::Done done = Completion::make();
    QPointer<AppModel> model(&m_model);
    m_model.m_dialogs.chooseFolders(panel, [this, model, done](const QStringList& chosen) {
        if (model && !chosen.isEmpty() && !m_runner.isStopping())
            store(chosen, done);
        else
            done->finish();
    });
    return done->future();
}

void FolderController::store(const QStringList& chosen, Completion::Done done)
{
    JobRunner::Options options;
    options.busy = QCoreApplication::translate("FolderController", "Adding folder…");
    m_runner.run(
        options,
        [core = m_core, chosen](const JobRunner::Context&) {
            Stored stored;
            for (const QString& path : chosen)
                if (const std::optional<QString> error = core->addFolder(path); !stored.error)
                    stored.error = error;
            stored.folders = core->customFolders();
            return stored;
        },
        [this, chosen, done](JobRunner::Outcome<Stored>&& outcome) {
            if (!outcome.value) {
                m_model.showToast(outcome.failure, true);
                done->finish();
                return;
            }
            if (outcome.value->error)
                m_model.showToast(*outcome.value->error, true);
            if (m_model.setCustomFolders(outcome.value->folders))
                m_model.m_scans->noteChange();
            if (m_model.m_customFolders.contains(chosen.last()))
                m_model.setSidebar(SidebarItem::ofFolder(chosen.last()));
            m_model.m_scans->rescan().then(&m_model, [done] { done->finish(); });
        });
}

QFuture<void> FolderController::removeFolder(const QString& path)
{
    Completion::Done done = Completion::make();
    JobRunner::Options options;
    options.busy = QCoreApplication::translate("FolderController", "Removing folder…");
    m_runner.run(
        options,
        [core = m_core, path](const JobRunner::Context&) {
            Stored stored;
            stored.error = core->removeFolder(path);
            stored.folders = core->customFolders();
            return stored;
        },
        [this, path, done](JobRunner::Outcome<Stored>&& outcome) {
            const std::optional<QString> error =
                outcome.value ? outcome.value->error : std::optional(outcome.failure);
            if (error) {
                m_model.showToast(*error, true);
                done->finish();
                return;
            }
            const QStringList& folders = outcome.value->folders;
            if (m_model.setCustomFolders(folders))
                m_model.m_scans->noteChange();
            if (folders.contains(path)) {
                done->finish();
                return;
            }
            const QString root = PathParts::withoutTrailingSlashes(path);
            if (m_model.m_sidebar == SidebarItem::ofFolder(path))
                m_model.setSidebar(SidebarItem::all());
            if (m_model.m_scan) {
                QSet<QString> ids;
                for (const ModelEntry& entry : m_model.m_scan->models)
                    if (entry.source == ModelSource::custom && entry.folderRoot &&
                        PathParts::withoutTrailingSlashes(*entry.folderRoot) == root)
                        ids.insert(entry.id);
                m_model.removeFromScan(ids);
            }
            const auto nested = [&](const QString& other) {
                const QString key = PathParts::withoutTrailingSlashes(other) + u'/';
                const QString mine = root + u'/';
                return key.startsWith(mine) || mine.startsWith(key);
            };
            if (std::any_of(folders.cbegin(), folders.cend(), nested))
                m_model.m_scans->rescan().then(&m_model, [done] { done->finish(); });
            else
                done->finish();
        });
    return done->future();
}
