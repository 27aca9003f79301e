#pragma once

#include "app/DiskCapacity.h"
#include "model/ModelEntry.h"
#include "model/ScanResult.h"
#include "model/StopToken.h"
#include "model/TrashEntry.h"
#include "scanners/ScanProgress.h"
#include "services/DedupeOutcome.h"
#include "services/DedupePlan.h"
#include "services/TrashOutcome.h"
#include "services/UpdateInfo.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

// Every call the application model makes into the core, in one place, seen only by the
// application model's sources. Calls marked "any thread" run in background tasks on the job
// runner; the rest run on the GUI thread and touch no file. Virtual so tests can watch or hold
// back single calls.
class CoreCalls
{
public:
    // A scan's progress as the window tells it.
    struct ScanStatus
    {
        int sourcesDone = 0;
        int sourcesTotal = 0;
        qint64 filesWalked = 0;
        bool checkingDuplicates = false;
        qint64 bytesRead = 0;
        qint64 bytesToRead = 0;
    };

    // What one move call did.
    struct MoveResult
    {
        QStringList movedFrom; // old paths of the items now at the destination
        QStringList movedTo;
        std::optional<QString> error;

        [[nodiscard]] bool succeeded() const { return !movedTo.isEmpty() && !error; }
    };

    // Bytes copied across drives so far, and the bytes the whole move copies at most.
    using CopyProgress = std::function<void(qint64 copied, qint64 total)>;

    CoreCalls();
    virtual ~CoreCalls() = default;

    // Any thread. A full scan; nothing when it was stopped.
    [[nodiscard]] virtual std::optional<ScanResult> scan(bool includeLoose,
                                                         const QStringList& folders,
                                                         const StopToken* stop,
                                                         ScanProgress* progress);
    [[nodiscard]] virtual ScanStatus status(const ScanProgress& progress) const;

    // Any thread. The restore log, newest first; never throws.
    [[nodiscard]] virtual QList<TrashEntry> trashEntries();
    // Any thread. One outcome per entry, in order; entries after a stop are left out.
    [[nodiscard]] virtual QList<TrashOutcome> trash(const QList<ModelEntry>& entries,
                                                    const StopToken* stop);
    // Any thread. Puts one record back; the message of the failure, if any.
    [[nodiscard]] virtual std::optional<QString> restore(const QString& id);
    // Any thread. Deletes one record for good; the message of the failure, if any.
    [[nodiscard]] virtual std::optional<QString> deletePermanently(const QString& id);
    // Any thread. Moves the entries' items into the folder, leaving symlinks.
    [[nodiscard]] virtual MoveResult move(const QList<ModelEntry>& entries, const QString& to,
                                          const StopToken* stop, const CopyProgress& progress);
    // Any thread. Brings the moved entries' files back in place of their links.
    [[nodiscard]] virtual MoveResult moveBack(const QList<ModelEntry>& entries,
                                              const StopToken* stop, const CopyProgress& progress);
    // Any thread. Which of the entries' files freeing duplicates frees, against which copies.
    [[nodiscard]] virtual DedupePlan::Plan planDedupe(const ScanResult& scan,
                                                      const QList<ModelEntry>& entries);
    // Any thread. Whether the file's filesystem can share blocks between files.
    [[nodiscard]] virtual bool canShareBlocks(const QString& path);
    // Any thread. Frees the plan's duplicates in place (with dryRun, only says what it would
    // free); hardLink lets a file whose blocks cannot be shared become a hard link.
    [[nodiscard]] virtual DedupeOutcome dedupe(const DedupePlan::Plan& plan, bool hardLink,
                                               bool dryRun, const StopToken* stop);
    // Any thread. Whether an Ollama server answers now.
    [[nodiscard]] virtual bool ollamaRunning();
    // Any thread. The newer version, if the update endpoint announces one.
    [[nodiscard]] virtual std::optional<UpdateInfo> checkForUpdate();

    // Whether the list waits for a confirmation at once: some entry is risky.
    [[nodiscard]] virtual bool heldBack(const QList<ModelEntry>& entries) const;
    // Any thread. heldBack, or an Ollama tag among them while the Ollama server answers now
    // (asked only when the scan saw it stopped).
    [[nodiscard]] virtual bool needsConfirmation(const QList<ModelEntry>& entries,
                                                 bool ollamaSeenRunning);

    // Any thread. The stored "include loose files" setting.
    [[nodiscard]] virtual bool includeLoose() const;
    // Any thread. Stores the setting; a failure leaves it as it was.
    virtual void setIncludeLoose(bool value);

    // Any thread. The stored custom folder list.
    [[nodiscard]] virtual QStringList customFolders();
    // Any thread. Waits for another process's hold of the list up to lockWait; the message of
    // the failure, if any.
    [[nodiscard]] virtual std::optional<QString> addFolder(const QString& path);
    [[nodiscard]] virtual std::optional<QString> removeFolder(const QString& path);
    // Any thread. Whether the folder is there (its drive connected).
    [[nodiscard]] virtual bool folderExists(const QString& path);
    // Any thread. Those of the paths that exist.
    [[nodiscard]] virtual QStringList existing(const QStringList& paths);

    // Any thread. Writes the Markdown report of a scan to the file; the failure, if any.
    [[nodiscard]] virtual std::optional<QString>
    writeReport(const ScanResult& scan, const QDateTime& date, const QString& path);
    // Any thread. The name of the drive holding the path, else its last component.
    [[nodiscard]] virtual QString volumeLabel(const QString& path);
    // Any thread. The space of the drive holding the home folder.
    [[nodiscard]] virtual std::optional<DiskCapacity> homeCapacity();
    // Any thread. Where the move panel opens: the removable drives' folder, else the home.
    [[nodiscard]] virtual QString moveStartFolder();

    // How long calls that take a lock of the stored lists wait for another process.
    std::chrono::milliseconds lockWait;
};
