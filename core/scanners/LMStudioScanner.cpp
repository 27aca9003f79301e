#include "scanners/LMStudioScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/JSONStore.h"
#include "fs/PosixIO.h"
#include "model/PathParts.h"
#include "model/Quantization.h"
#include "scanners/MovedLink.h"

#include <QDir>
#include <QJsonObject>
#include <array>

namespace {

// The files LM Studio keeps for us are small; a larger one is not taken for one.
constexpr qint64 maxSettingsBytes = qint64(1) << 20;

constexpr std::array<std::string_view, 5> modelExtensions{".gguf", ".safetensors", ".bin", ".ggml",
                                                          ".mlx"};

// The base folder named in ~/.lmstudio-home-pointer: an absolute path to an existing folder.
std::optional<QString> pointedBase()
{
    const std::optional<QByteArray> content = PosixIO::readRegularFile(
        AppPaths::home() + QStringLiteral("/.lmstudio-home-pointer"), maxSettingsBytes);
    if (!content)
        return std::nullopt;
    const QString base = QString::fromUtf8(*content).trimmed();
    if (!base.startsWith(u'/') || PathParts::holdsNul(base) || !PosixIO::isFolder(base))
        return std::nullopt;
    return QDir::cleanPath(base);
}

// The absolute "downloadsFolder" of the base's settings.json, if any.
std::optional<QString> downloadsFolder(const QString& base)
{
    const std::optional<QByteArray> content =
        PosixIO::readRegularFile(base + QStringLiteral("/settings.json"), maxSettingsBytes);
    if (!content)
        return std::nullopt;
    const std::optional<QJsonObject> settings = JSONStore::objectOf(*content);
    if (!settings)
        return std::nullopt;
    const QJsonValue folder = settings->value(QLatin1String("downloadsFolder"));
    if (!folder.isString() || !folder.toString().startsWith(u'/') ||
        PathParts::holdsNul(folder.toString()))
        return std::nullopt;
    return folder.toString();
}

// Whether the name (as bytes) is not hidden and ends with a model extension, in any case.
bool isModelFileName(std::string_view name)
{
    if (name.empty() || name.front() == '.')
        return false;
    for (std::string_view extension : modelExtensions) {
        if (name.size() < extension.size())
            continue;
        const std::string_view tail = name.substr(name.size() - extension.size());
        bool same = true;
        for (size_t i = 0; i < tail.size() && same; ++i) {
            const char c = tail[i];
            same = (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) == extension[i];
        }
        if (same)
            return true;
    }
    return false;
}

// Publisher/repository/file under the root: the first three components below it, or both
// when there are two, or the file name alone.
QString displayName(const QString& relative, const QString& fileName)
{
    const QStringList components = relative.split(u'/', Qt::SkipEmptyParts);
    if (components.size() >= 3)
        return components.mid(0, 3).join(u'/');
    if (components.size() == 2)
        return components.join(u'/');
    return fileName;
}

QString identifier(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    QString stem = dot > 0 ? fileName.left(dot) : fileName;
    stem.replace(u' ', u'_');
    return QStringLiteral("lmstudio-") + stem.toLower();
}

void scanFolder(const QString& folder, QList<ModelEntry>& models)
{
    const QString root = QDir::cleanPath(folder);
    const QList<FileInfo> files =
        MovedLink::files(root, false, std::nullopt,
                         [](const WalkedFile& file) { return isModelFileName(file.name); });
    const qsizetype prefix = root == u'/' ? 1 : root.size() + 1;
    for (const FileInfo& file : files) {
        const QString fileName = file.fileName();
        models.push_back(
            ModelEntry(identifier(fileName), displayName(file.path.mid(prefix), fileName),
                       ModelSource::lmStudio, file.size, file.size, file.path, {file.path},
                       file.modified, DeleteRisk::safe, parseQuantization(fileName), std::nullopt));
        models.back().lastUsed = file.accessed;
        MovedLink::mark(models.back());
    }
}

} // namespace

namespace LMStudioScanner {

QStringList modelsDirs()
{
    const QString home = AppPaths::home();
    QStringList bases;
    if (const std::optional<QString> pointed = pointedBase())
        bases.push_back(*pointed);
    bases.push_back(home + QStringLiteral("/.lmstudio"));
    bases.push_back(home + QStringLiteral("/.cache/lm-studio"));

    QStringList candidates;
    for (const QString& base : bases) {
        if (const std::optional<QString> downloads = downloadsFolder(base))
            candidates.push_back(*downloads);
        candidates.push_back(base + QStringLiteral("/models"));
    }
    QStringList kept;
    QStringList keptResolved;
    for (const QString& candidate : candidates) {
        if (!PosixIO::exists(candidate))
            continue;
        const QString real = PathParts::resolved(candidate).value_or(candidate);
        if (keptResolved.contains(real))
            continue;
        kept.push_back(candidate);
        keptResolved.push_back(real);
    }
    return kept;
}

SourceScan scan()
{
    SourceScan result;
    for (const QString& folder : modelsDirs())
        scanFolder(folder, result.models);
    return result;
}

} // namespace LMStudioScanner
