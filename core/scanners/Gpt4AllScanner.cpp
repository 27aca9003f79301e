#include "scanners/Gpt4AllScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

namespace {

constexpr std::string_view kIncomplete = "incomplete-";

bool isModelFile(const WalkedFile& file)
{
    return file.size >= StoreEntries::kMinimumModelSize && !ModelFileRules::isHidden(file.name) &&
           ModelFileRules::hasExtension(file.name, {".gguf", ".bin"});
}

} // namespace

namespace Gpt4AllScanner {

QStringList folders()
{
    return StoreEntries::existingFolders(
        {AppPaths::xdgDataHome() + QStringLiteral("/nomic.ai/GPT4All"),
         AppPaths::home() + QStringLiteral("/.cache/gpt4all")});
}

SourceScan scan(const QDateTime& now)
{
    SourceScan result;
    for (const QString& folder : folders()) {
        const QList<FileInfo> files =
            FS::files(folder, false, DepthRange{1, 1}, [](const WalkedFile& file) {
                return file.name.starts_with(kIncomplete) || isModelFile(file);
            });
        for (const FileInfo& file : files) {
            const QString name = file.fileName();
            if (name.startsWith(QLatin1String(kIncomplete.data(), kIncomplete.size()))) {
                const QString model = name.mid(qsizetype(kIncomplete.size()));
                if (auto entry = StoreEntries::partialEntry(ModelSource::gpt4All,
                                                            QStringLiteral("gpt4all-partial-") +
                                                                StoreEntries::fileIdPart(model),
                                                            model, file, now))
                    result.models.push_back(std::move(*entry));
                continue;
            }
            result.models.push_back(StoreEntries::fileEntry(
                ModelSource::gpt4All, QStringLiteral("gpt4all-") + StoreEntries::fileIdPart(name),
                name, file));
        }
    }
    return result;
}

} // namespace Gpt4AllScanner
