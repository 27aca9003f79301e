#include "scanners/UsageMarks.h"

#include "fs/OpenFiles.h"
#include "fs/VolumeInfo.h"
#include "scanners/OllamaLoaded.h"

#include <QFile>
#include <sys/stat.h>

namespace {

using OpenFiles::FileKey;

std::optional<FileKey> keyOf(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileKey{quint64(st.st_dev), quint64(st.st_ino)};
}

void markInUse(ModelEntry& entry, const QString& process)
{
    entry.inUseBy = process;
    entry.deleteRisk = DeleteRisk::risky;
}

} // namespace

namespace UsageMarks {

void apply(QList<ModelEntry>& models, const QStringList& ollamaLoaded)
{
    QHash<FileKey, QList<qsizetype>> owners; // data file -> the entries holding it
    for (qsizetype i = 0; i < models.size(); ++i) {
        ModelEntry& entry = models[i];
        entry.inUseBy.reset();
        const QStringList files = entry.comparedFiles();
        if (entry.lastUsed && !VolumeInfo::recordsAccessTimes(files.first()))
            entry.lastUsed.reset();
        for (const QString& file : files) {
            if (const std::optional<FileKey> key = keyOf(file))
                owners[*key].push_back(i);
        }
    }
    const QList<FileKey> keys = owners.keys();
    const QHash<FileKey, OpenFiles::Holder> holders =
        OpenFiles::holders(QSet<FileKey>(keys.cbegin(), keys.cend()));
    QHash<qsizetype, OpenFiles::Holder> lowest; // entry -> the lowest pid holding its data
    for (auto it = holders.cbegin(); it != holders.cend(); ++it) {
        for (const qsizetype i : owners.value(it.key())) {
            const auto held = lowest.constFind(i);
            if (held == lowest.cend() || it->pid < held->pid)
                lowest.insert(i, *it);
        }
    }
    for (auto it = lowest.cbegin(); it != lowest.cend(); ++it)
        markInUse(models[it.key()], it->name);
    for (ModelEntry& entry : models) {
        if (!entry.isOllamaTag())
            continue;
        for (const QString& loaded : ollamaLoaded) {
            if (OllamaLoaded::namesTag(loaded, entry.name))
                markInUse(entry, QStringLiteral("Ollama"));
        }
    }
}

} // namespace UsageMarks
