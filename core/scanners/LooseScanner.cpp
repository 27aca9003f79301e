#include "scanners/LooseScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "model/PathParts.h"
#include "model/Quantization.h"
#include "scanners/ModelFileRules.h"
#include "scanners/MovedLink.h"

#include <QStringDecoder>
#include <array>

namespace {

constexpr qint64 kMinimumSize = 10'000'000;
constexpr qint64 kMaxUserDirsBytes = qint64(1) << 20;

struct UserFolder
{
    const char* key;
    const char16_t* englishName;
};

constexpr std::array<UserFolder, 3> kFolders{{
    {"DOWNLOAD", u"Downloads"},
    {"DOCUMENTS", u"Documents"},
    {"DESKTOP", u"Desktop"},
}};

// Whether a walk of the folder, which leaves hidden items out, reaches the path below it.
bool isReachedBelow(const QString& path, const QString& folder)
{
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    if (!path.startsWith(prefix) || path.size() == prefix.size())
        return false;
    for (const QStringView part : QStringView(path).sliced(prefix.size()).split(u'/')) {
        if (part.startsWith(u'.'))
            return false;
    }
    return true;
}

// The quoted value after "=", with backslash escapes undone; nothing when it is not quoted.
std::optional<QByteArray> quotedValue(const QByteArray& line, qsizetype from)
{
    if (from >= line.size() || line.at(from) != '"')
        return std::nullopt;
    QByteArray value;
    for (qsizetype i = from + 1; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '"')
            return value;
        if (c == '\\' && i + 1 < line.size())
            value.append(line.at(++i));
        else
            value.append(c);
    }
    return std::nullopt;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isModelFile(const WalkedFile& file)
{
    return file.size >= kMinimumSize &&
           ModelFileRules::hasExtension(file.name, {".gguf", ".safetensors", ".onnx", ".mlx"});
}

} // namespace

namespace LooseScanner {

std::optional<QString> userDirectory(const QByteArray& userDirsText, const QByteArray& key,
                                     const QString& home)
{
    const QByteArray name = "XDG_" + key + "_DIR";
    std::optional<QString> result;
    for (const QByteArray& line : userDirsText.split('\n')) {
        qsizetype i = 0;
        while (i < line.size() && isBlank(line.at(i)))
            ++i;
        if (!line.sliced(i).startsWith(name))
            continue;
        i += name.size();
        while (i < line.size() && isBlank(line.at(i)))
            ++i;
        if (i >= line.size() || line.at(i) != '=')
            continue;
        ++i;
        while (i < line.size() && isBlank(line.at(i)))
            ++i;
        const std::optional<QByteArray> value = quotedValue(line, i);
        if (!value)
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(*value);
        if (decoder.hasError() || PathParts::holdsNul(text))
            continue;
        if (text == u"$HOME" || text.startsWith(u"$HOME/"))
            result = PathParts::withoutTrailingSlashes(home + text.sliced(5));
        else if (text.startsWith(u'/'))
            result = PathParts::withoutTrailingSlashes(text);
    }
    return result;
}

QStringList userFolders()
{
    const QString home = AppPaths::home();
    const std::optional<QByteArray> userDirs = PosixIO::readRegularFile(
        AppPaths::xdgConfigHome() + QStringLiteral("/user-dirs.dirs"), kMaxUserDirsBytes);
    QStringList result;
    for (const UserFolder& folder : kFolders) {
        std::optional<QString> path;
        if (userDirs)
            path = userDirectory(*userDirs, folder.key, home);
        result.push_back(path.value_or(home + u'/' + QString::fromUtf16(folder.englishName)));
    }
    return result;
}

QStringList folders()
{
    const QString home = PathParts::withoutTrailingSlashes(AppPaths::home());
    const QString resolvedHome = PathParts::resolved(home).value_or(home);
    struct Candidate
    {
        QString path;
        QString real;
    };
    QList<Candidate> candidates;
    for (const QString& folder : userFolders()) {
        // xdg-user-dirs names the home itself for a folder that is switched off.
        if (folder == home || !PosixIO::exists(folder))
            continue;
        const std::optional<QString> real = PathParts::resolved(folder);
        if (!real || *real == resolvedHome)
            continue;
        candidates.push_back({folder, *real});
    }
    QStringList result;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        bool covered = false;
        for (qsizetype j = 0; j < candidates.size() && !covered; ++j) {
            if (i == j)
                continue;
            const QString& mine = candidates[i].real;
            const QString& other = candidates[j].real;
            // Equal folders are walked once, at the first; one that the walk of another
            // reaches is not walked again.
            covered = mine == other ? j < i : isReachedBelow(mine, other);
        }
        if (!covered)
            result.push_back(candidates[i].path);
    }
    return result;
}

SourceScan scan(const QSet<QString>& excluding)
{
    const auto keep = [&excluding](const WalkedFile& file) {
        if (!isModelFile(file))
            return false;
        const std::optional<QString> path = file.pathText();
        return path && !excluding.contains(*path);
    };
    SourceScan result;
    for (const QString& folder : folders()) {
        for (const FileInfo& file : MovedLink::files(folder, true, std::nullopt, keep)) {
            const QString name = file.fileName();
            QString id = ModelFileRules::stem(name);
            id.replace(u' ', u'_');
            result.models.push_back(
                ModelEntry(QStringLiteral("loose-") + id.toLower(), name, ModelSource::loose,
                           file.size, std::nullopt, file.path, {file.path}, file.modified,
                           DeleteRisk::safe, parseQuantization(name), std::nullopt));
            result.models.back().lastUsed = file.accessed;
            MovedLink::mark(result.models.back());
        }
    }
    return result;
}

} // namespace LooseScanner
