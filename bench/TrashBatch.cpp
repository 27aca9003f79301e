#include "TrashBatch.h"

#include "model/ModelEntry.h"
#include "services/TrashService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace TrashBatch {

int run(int entries)
{
    const QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "brimvale-bench: cannot create a temporary home\n");
        return 1;
    }
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(name, QFile::encodeName(home.path() + u'/' + QString::fromLatin1(name)));

    QList<ModelEntry> models;
    for (int i = 0; i < entries; ++i) {
        const QString path = home.filePath(QStringLiteral("m%1.gguf").arg(i));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(1024, 'm')) != 1024) {
            std::fprintf(stderr, "brimvale-bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
        models.push_back(ModelEntry(QStringLiteral("custom-m%1").arg(i), path, ModelSource::custom,
                                    1024, std::nullopt, path, {path}, std::nullopt,
                                    DeleteRisk::safe, std::nullopt, std::nullopt));
    }

    QElapsedTimer timer;
    timer.start();
    const QList<TrashOutcome> outcomes = TrashService::moveToTrash(models);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    for (const TrashOutcome& outcome : outcomes) {
        if (!outcome.succeeded()) {
            std::fprintf(stderr, "brimvale-bench: %s\n",
                         qPrintable(outcome.error.value_or(QString())));
            return 1;
        }
    }
    const qsizetype listed = TrashService::entries().size();
    std::printf("%d %.3f\n", entries, seconds);
    if (outcomes.size() != entries || listed != entries) {
        std::fprintf(stderr, "brimvale-bench: %lld outcomes, %lld records listed\n",
                     static_cast<long long>(outcomes.size()), static_cast<long long>(listed));
        return 1;
    }
    return 0;
}

} // namespace TrashBatch
