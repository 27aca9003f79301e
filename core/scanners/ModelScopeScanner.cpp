#include "scanners/ModelScopeScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "scanners/ModelFileRules.h"
#include "scanners/StoreEntries.h"

namespace {

// Folders of the hub that hold no organisations: the newer layout's kinds, and temporary or
// lock folders (hidden, or starting with "_").
bool isOrganisation(const QString& name, bool underModels)
{
    if (name.startsWith(u'.') || name.startsWith(u'_'))
        return false;
    return underModels || (name != QStringLiteral("models") && name != QStringLiteral("datasets"));
}

void addOrganisations(const QString& folder, bool underModels, QList<ModelEntry>& models)
{
    for (const QString& organisation : FS::subdirectories(folder)) {
        const QString org = ModelFileRules::fileName(organisation);
        if (!isOrganisation(org, underModels))
            continue;
        for (const QString& model : FS::subdirectories(organisation)) {
            const QString name = ModelFileRules::fileName(model);
            if (name.startsWith(u'.'))
                continue;
            // Dots in a model's name are kept as "___" in its folder's name.
            QString shown = org + u'/' + name;
            shown.replace(QStringLiteral("___"), QStringLiteral("."));
            if (auto entry = StoreEntries::folderEntry(
                    ModelSource::modelScope, QStringLiteral("modelscope-") + org + u"--" + name,
                    shown, model))
                models.push_back(std::move(*entry));
        }
    }
}

} // namespace

namespace ModelScopeScanner {

QString cacheDir()
{
    const QString value = AppPaths::expandedFromEnvironment("MODELSCOPE_CACHE");
    return value.isEmpty() ? AppPaths::home() + QStringLiteral("/.cache/modelscope") : value;
}

SourceScan scan()
{
    SourceScan result;
    const QString hub = cacheDir() + QStringLiteral("/hub");
    addOrganisations(hub, false, result.models);
    addOrganisations(hub + QStringLiteral("/models"), true, result.models);
    return result;
}

} // namespace ModelScopeScanner
