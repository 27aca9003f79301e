#include "scanners/WhisperScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "scanners/ModelFileRules.h"
#include "scanners/MovedLink.h"

#include <QDir>
#include <QFile>
#include <QTextBoundaryFinder>
#include <array>
#include <sys/stat.h>

namespace {

constexpr qint64 kMinimumSize = 1'000'000;

constexpr std::array<const char16_t*, 4> kFolders{u".cache/whisper", u".local/share/whisper",
                                                  u"Library/Application Support/whisper",
                                                  u"whisper.cpp/models"};

bool isWhisperModel(const WalkedFile& file)
{
    const std::string_view name = file.name;
    return file.size >= kMinimumSize &&
           ((name.starts_with("ggml-") && name.ends_with(".bin")) || name.ends_with(".pt"));
}

bool sameFolder(const QString& a, const QString& b)
{
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    struct stat x
    {
    };
    struct stat y
    {
    };
    return ::stat(QFile::encodeName(a).constData(), &x) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

QString withFirstCharacterUpperCased(const QString& word)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, word);
    const qsizetype end = graphemes.toNextBoundary();
    if (end <= 0)
        return word;
    return word.left(end).toUpper() + word.mid(end);
}

} // namespace

namespace WhisperScanner {

QStringList folders()
{
    const QString home = AppPaths::home();
    QStringList result;
    for (const char16_t* relative : kFolders)
        result.push_back(home + u'/' + QString::fromUtf16(relative));
    const QString xdg = AppPaths::xdgCacheHome() + QStringLiteral("/whisper");
    bool known = false;
    for (const QString& folder : std::as_const(result))
        known = known || sameFolder(folder, xdg);
    if (!known)
        result.push_back(xdg);
    return result;
}

SourceScan scan()
{
    SourceScan result;
    for (const QString& folder : folders()) {
        if (!PosixIO::exists(folder))
            continue;
        for (const FileInfo& file : MovedLink::files(folder, false, std::nullopt, isWhisperModel)) {
            const QString name = file.fileName();
            result.models.push_back(ModelEntry(
                QStringLiteral("whisper-") + name, displayName(name), ModelSource::whisper,
                file.size, std::nullopt, file.path, {file.path}, file.modified, DeleteRisk::safe,
                std::nullopt, QStringLiteral("Local Whisper transcription model")));
            result.models.back().lastUsed = file.accessed;
            MovedLink::mark(result.models.back());
        }
    }
    return result;
}

QString displayName(const QString& fileName)
{
    QStringView rest(fileName);
    if (rest.endsWith(u".bin"))
        rest.chop(4);
    if (rest.startsWith(u"ggml-"))
        rest = rest.sliced(5);
    QStringList words;
    for (const QStringView piece : rest.split(u'-', Qt::SkipEmptyParts))
        words.push_back(withFirstCharacterUpperCased(piece.toString()));
    return QStringLiteral("Whisper ") + words.join(u' ');
}

} // namespace WhisperScanner
