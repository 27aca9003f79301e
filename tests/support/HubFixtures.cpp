#include "HubFixtures.h"

#include <QDirIterator>
#include <QFileInfo>

namespace HubFixtures {

QStringList threeRevisions(const QString& repo)
{
    QStringList lines{u"refs/main=c1"_qs,
                      u"refs/pr/1=c2"_qs,
                      u"blobs/a=1"_qs,
                      u"blobs/s=22"_qs,
                      u"blobs/p=333"_qs,
                      u"blobs/d=4444"_qs,
                      u"blobs/n=55555"_qs,
                      u"blobs/o=666666"_qs,
                      u"snapshots/c1/a->../../blobs/a"_qs,
                      u"snapshots/c1/s->../../blobs/s"_qs,
                      u"snapshots/c2/p->../../blobs/p"_qs,
                      u"snapshots/c3/s->../../blobs/s"_qs,
                      u"snapshots/c3/d->../../blobs/d"_qs,
                      u"snapshots/c3/sub/n->../../../blobs/n"_qs,
                      u"snapshots/c3/own=7777777"_qs};
    for (QString& line : lines)
        line.prepend(repo + u'/');
    return lines;
}

QString describe(const SourceScan& scan, const QString& base)
{
    QStringList lines;
    for (const ModelEntry& entry : scan.models) {
        QString line = entry.id + u' ' + QString::number(entry.sizeBytes) + u" P:"_qs +
                       entry.allPaths.join(u',');
        if (!entry.dataFiles.isEmpty())
            line += u" D:"_qs + entry.dataFiles.join(u',');
        if (entry.detail == u"Some files of this repository are missing"_qs)
            line += u" !"_qs;
        lines.push_back(line);
    }
    return lines.join(u';').replace(base + u'/', QString());
}

bool linksResolve(const QStringList& folders)
{
    int links = 0;
    for (const QString& folder : folders) {
        if (!QFileInfo(folder).isDir())
            return false;
        QDirIterator it(folder, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (!info.isSymLink())
                continue;
            ++links;
            if (!info.exists())
                return false;
        }
    }
    return links > 0;
}

} // namespace HubFixtures
