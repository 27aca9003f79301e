#include "app/AppModel.h"
#include "app/ModelList.h"
#include "fs/AppPaths.h"
#include "text/Format.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>
#include <chrono>

namespace {

QString quoted(const QString& name)
{
    return u'"' + name + u'"';
}

// Where the move panel opens: the removable drives' folder, else the home.
QString moveStartFolder()
{
    const QString user = qEnvironmentVariable("USER");
    const QStringList candidates{QStringLiteral("/run/media/") + user,
                                 QStringLiteral("/media/") + user, QStringLiteral("/mnt")};
    for (const QString& folder : candidates)
        if (!user.isEmpty() || folder == candidates.last())
            if (QFileInfo(folder).isDir())
                return folder;
    return AppPaths::home();
}

QSet<QString> primaryPaths(const QList<ModelEntry>& entries)
{
    QSet<QString> paths;
    for (const ModelEntry& entry : entries)
        paths.insert(entry.primaryPath);
    return paths;
}

} // namespace

QFuture<void> AppModel::requestTrash(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty() || m_busyMessage)
        return finished();
    const auto risky = [this](const ModelEntry& entry) { return m_core->isRisky(entry); };
    if (std::any_of(entries.cbegin(), entries.cend(), risky)) {
        setPendingRiskyTrash(entries);
        return finished();
    }
    const auto tag = [this](const ModelEntry& entry) { return m_core->isOllamaTag(entry); };
    const bool probe =
        m_scan && !m_scan->ollamaRunning && std::any_of(entries.cbegin(), entries.cend(), tag);
    if (!probe)
        return trash(entries);
    Done done = newDone();
    const int ticket = beginBusy(QStringLiteral("Checking whether Ollama is running…"));
    offGui([core = m_core] { return core->ollamaRunning(); },
           [this, ticket, entries, done](Attempt<bool>&& attempt) {
               endBusy(ticket);
               if (attempt.value.value_or(true)) {
                   setPendingRiskyTrash(entries);
                   done->finish();
                   return;
               }
               trash(entries).then(this, [done] { done->finish(); });
           });
    return done->future();
}

QFuture<void> AppModel::trash(const QList<ModelEntry>& entries)
{
    Done done = newDone();
    doTrash(entries, done);
    return done->future();
}

void AppModel::doTrash(const QList<ModelEntry>& entries, Done done)
{
    const qsizetype n = entries.size();
    const int ticket = beginBusy(n == 1 ? QStringLiteral("Moving %1 to Trash…").arg(entries[0].name)
                                        : QStringLiteral("Moving %1 items to Trash…").arg(n));
    beginChange();
    offGui(
        [core = m_core, entries, stop = m_workStop, counter = m_trashCounter] {
            QList<TrashOutcome> outcomes = core->trash(entries, stop.get());
            return std::pair(outcomes, loadTrash(*core, counter));
        },
        [this, ticket, entries, done, n](auto&& attempt) {
            endBusy(ticket);
            endChange();
            QList<TrashOutcome> outcomes;
            QStringList errors;
            if (attempt.value) {
                outcomes = attempt.value->first;
                applyTrash(attempt.value->second);
            } else {
                errors.push_back(attempt.failure);
            }
            QList<ModelEntry> trashed;
            QStringList undo;
            qint64 freed = 0;
            bool ollama = false;
            for (qsizetype i = 0; i < outcomes.size(); ++i) {
                if (outcomes[i].error)
                    errors.push_back(*outcomes[i].error);
                if (!outcomes[i].entry)
                    continue;
                trashed.push_back(entries[i]);
                undo.push_back(outcomes[i].entry->id);
                freed += entries[i].reclaimableBytes;
                ollama = ollama || entries[i].source == ModelSource::ollama;
            }
            const bool duplicate = removePaths(primaryPaths(trashed));
            const qsizetype t = trashed.size();
            if (!errors.isEmpty())
                showToast(t > 0
                              ? QStringLiteral("Trashed %1 of %2. %3").arg(t).arg(n).arg(errors[0])
                              : errors[0],
                          true);
            else if (t > 0)
                showToast(
                    QStringLiteral("Moved %1 to Trash · %2 freed")
                        .arg(t == 1 ? quoted(trashed[0].name) : QStringLiteral("%1 items").arg(t),
                             Format::bytes(freed)),
                    false, undo);
            (void)rescanThen(ollama || duplicate, done);
        });
}

QFuture<void> AppModel::restore(const QStringList& ids)
{
    if (m_busyMessage)
        return finished();
    return runRestore(ids);
}

QFuture<void> AppModel::runRestore(const QStringList& ids)
{
    const QString restored = ids.size() == 1 ? QStringLiteral("Restored to its original location")
                                             : QStringLiteral("Restored %1 items").arg(ids.size());
    return onTrashRecords(ids, QStringLiteral("Restoring…"), &CoreCalls::restore, restored, true);
}

QFuture<void> AppModel::deletePermanently(const QStringList& ids)
{
    if (m_busyMessage)
        return finished();
    qint64 total = 0;
    for (const TrashEntry& entry : m_trashEntries)
        if (ids.contains(entry.id))
            total += entry.sizeBytes;
    return onTrashRecords(
        ids, QStringLiteral("Deleting…"), &CoreCalls::deletePermanently,
        QStringLiteral("Deleted permanently · %1 freed").arg(Format::bytes(total)), false);
}

QFuture<void> AppModel::onTrashRecords(const QStringList& ids, const QString& busyText,
                                       RecordCall call, const QString& doneText, bool rescanWanted)
{
    Done done = newDone();
    const int ticket = beginBusy(busyText);
    beginChange();
    offGui(
        [core = m_core, ids, call, counter = m_trashCounter] {
            QStringList errors;
            for (const QString& id : ids)
                if (const std::optional<QString> error = ((*core).*call)(id))
                    errors.push_back(*error);
            return std::pair(errors, loadTrash(*core, counter));
        },
        [this, ticket, done, doneText, rescanWanted](auto&& attempt) {
            endBusy(ticket);
            endChange();
            QStringList errors{attempt.failure};
            if (attempt.value) {
                errors = attempt.value->first;
                applyTrash(attempt.value->second);
            }
            if (!errors.isEmpty())
                showToast(errors[0], true);
            else
                showToast(doneText, false);
            (void)rescanThen(rescanWanted, done);
        });
    return done->future();
}

QFuture<void> AppModel::move(const QList<ModelEntry>& entries)
{
    if (entries.isEmpty() || m_busyMessage)
        return finished();
    const qsizetype n = entries.size();
    const QString many = QStringLiteral("%1 models").arg(n);
    Dialogs::FolderPanel panel;
    panel.title = QStringLiteral("Move Models");
    panel.message = QStringLiteral("Choose where to move %1. A symlink is left at the original "
                                   "location so your tools keep working.")
                        .arg(n == 1 ? quoted(entries[0].name) : many);
    panel.prompt = QStringLiteral("Move Here");
    panel.startFolder = moveStartFolder();
    const QStringList chosen = m_dialogs.chooseFolders(panel);
    if (chosen.isEmpty() || chosen[0].isEmpty())
        return finished();
    const QString to = chosen[0];
    const QString label = m_core->volumeLabel(to);
    const QString busyText =
        QStringLiteral("Moving %1 to %2").arg(n == 1 ? entries[0].name : many, label);

    Done done = newDone();
    m_stoppable = true;
    const int ticket = beginBusy(busyText + u'…');
    beginChange();
    m_currentStop = std::make_shared<StopToken>();
    QPointer<AppModel> self(this);
    const auto progress = [self, ticket, busyText, last = std::chrono::steady_clock::time_point()](
                              qint64 copied, qint64 total) mutable {
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        const QString text =
            busyText +
            QStringLiteral(" (%1 of %2)…").arg(Format::bytes(copied), Format::bytes(total));
        QMetaObject::invokeMethod(
            self,
            [self, ticket, text] {
                if (self)
                    self->setBusyText(ticket, text);
            },
            Qt::QueuedConnection);
    };
    offGui([core = m_core, entries, to, stop = m_currentStop,
            progress] { return core->move(entries, to, stop.get(), progress); },
           [this, ticket, entries, label, done](Attempt<CoreCalls::MoveResult>&& attempt) {
               m_stoppable = false;
               endBusy(ticket);
               endChange();
               finishMove(entries, label, std::move(attempt), done);
           });
    return done->future();
}

void AppModel::finishMove(const QList<ModelEntry>& entries, const QString& label,
                          Attempt<CoreCalls::MoveResult>&& attempt, Done done)
{
    const bool stopped = StopToken::requested(m_currentStop.get());
    const CoreCalls::MoveResult result =
        attempt.value.value_or(CoreCalls::MoveResult{{}, {}, attempt.failure});
    const QSet<QString> movedFrom(result.movedFrom.cbegin(), result.movedFrom.cend());
    QList<ModelEntry> moved;
    for (const ModelEntry& entry : entries)
        if (result.succeeded() || movedFrom.contains(entry.primaryPath))
            moved.push_back(entry);
    const bool duplicate = removePaths(primaryPaths(moved));
    const auto what = [](const QList<ModelEntry>& list) {
        return list.size() == 1 ? quoted(list[0].name)
                                : QStringLiteral("%1 models").arg(list.size());
    };
    if (result.succeeded() || (stopped && !moved.isEmpty()))
        showToast(QStringLiteral("Moved %1 to %2 · symlinks left in place").arg(what(moved), label),
                  false);
    else
        showToast(result.error.value_or(QStringLiteral("Move failed")), true);
    const bool partial = !result.succeeded() && !result.movedTo.isEmpty();
    // Moved entries stay listed, at their links: the scan shows them as moved.
    (void)rescanThen(partial || duplicate || !result.movedTo.isEmpty(), done);
}

QFuture<void> AppModel::moveBack(const QList<ModelEntry>& entries)
{
    QList<ModelEntry> moved;
    for (const ModelEntry& entry : entries)
        if (entry.isMoved())
            moved.push_back(entry);
    if (moved.isEmpty() || m_busyMessage)
        return finished();
    const qsizetype n = moved.size();
    Done done = newDone();
    m_stoppable = true;
    const int ticket =
        beginBusy(QStringLiteral("Moving %1 back…")
                      .arg(n == 1 ? moved[0].name : QStringLiteral("%1 items").arg(n)));
    beginChange();
    m_currentStop = std::make_shared<StopToken>();
    offGui([core = m_core, moved,
            stop = m_currentStop] { return core->moveBack(moved, stop.get(), {}); },
           [this, ticket, moved, done](Attempt<CoreCalls::MoveResult>&& attempt) {
               m_stoppable = false;
               endBusy(ticket);
               endChange();
               const CoreCalls::MoveResult result =
                   attempt.value.value_or(CoreCalls::MoveResult{{}, {}, attempt.failure});
               if (result.succeeded())
                   showToast(moved.size() == 1
                                 ? QStringLiteral("Moved %1 back").arg(moved[0].name)
                                 : QStringLiteral("Moved %1 items back").arg(moved.size()),
                             false);
               else
                   showToast(result.error.value_or(QStringLiteral("Move back failed")), true);
               (void)rescanThen(true, done);
           });
    return done->future();
}

void AppModel::stopCurrent()
{
    if (m_currentStop)
        m_currentStop->requestStop();
}

QFuture<void> AppModel::addFolder()
{
    Dialogs::FolderPanel panel;
    panel.title = QStringLiteral("Add Folder to Scan");
    panel.message = QStringLiteral("Brimvale will look for model files (.gguf, .safetensors, "
                                   ".ckpt, …) inside this folder.");
    panel.prompt = QStringLiteral("Add Folder");
    panel.several = true;
    const QStringList chosen = m_dialogs.chooseFolders(panel);
    if (chosen.isEmpty())
        return finished();
    for (const QString& path : chosen)
        m_core->addFolder(path);
    setCustomFolders(m_core->customFolders());
    if (m_customFolders.contains(chosen.last()))
        setSidebar(SidebarItem::ofFolder(chosen.last()));
    return rescan();
}

QFuture<void> AppModel::removeFolder(const QString& path)
{
    m_core->removeFolder(path);
    setCustomFolders(m_core->customFolders());
    if (m_customFolders.contains(path))
        return finished();
    if (m_sidebar == SidebarItem::ofFolder(path))
        setSidebar(SidebarItem::all());
    const QString root = ModelList::withoutTrailingSlashes(path);
    const QSet<QString> details{m_core->customFolderDetail(path), m_core->customFolderDetail(root)};
    if (m_scan) {
        QSet<QString> ids;
        for (const ModelEntry& entry : m_scan->models)
            if (entry.source == ModelSource::custom && entry.detail &&
                details.contains(*entry.detail))
                ids.insert(entry.id);
        removeFromScan(ids);
    }
    const auto nested = [&](const QString& other) {
        const QString key = ModelList::withoutTrailingSlashes(other) + u'/';
        const QString mine = root + u'/';
        return key.startsWith(mine) || mine.startsWith(key);
    };
    if (std::any_of(m_customFolders.cbegin(), m_customFolders.cend(), nested))
        return rescan();
    return finished();
}

void AppModel::exportReport()
{
    if (!m_scan)
        return;
    const ScanResult snapshot = *m_scan;
    const QDateTime now = m_now();
    Dialogs::SavePanel panel;
    panel.title = QStringLiteral("Export Report");
    panel.proposedName = QStringLiteral("Brimvale Report %1.md")
                             .arg(now.toTimeZone(QTimeZone::utc()).date().toString(Qt::ISODate));
    panel.startFolder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    panel.suffix = QStringLiteral("md");
    const std::optional<QString> path = m_dialogs.chooseSaveFile(panel);
    if (!path || path->isEmpty())
        return;
    QSaveFile file(*path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(m_core->report(snapshot, now).toUtf8()) >= 0 && file.commit();
    if (!written) {
        showToast(QStringLiteral("Could not save report: ") + file.errorString(), true);
        return;
    }
    m_dialogs.reveal({*path});
    showToast(QStringLiteral("Report saved to ") +
                  QFileInfo(QFileInfo(*path).absolutePath()).fileName(),
              false);
}

void AppModel::reveal(const QStringList& paths)
{
    QStringList existing;
    for (const QString& path : paths)
        if (QFileInfo::exists(path))
            existing.push_back(path);
    m_dialogs.reveal(existing);
}

QFuture<void> AppModel::reloadTrash()
{
    Done done = newDone();
    offGui([core = m_core, counter = m_trashCounter] { return loadTrash(*core, counter); },
           [this, done](Attempt<TrashList>&& attempt) {
               if (attempt.value)
                   applyTrash(*attempt.value);
               done->finish();
           });
    return done->future();
}
