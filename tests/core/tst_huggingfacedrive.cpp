// A hub repository whose blobs folder links to a second drive: /dev/shm stands in for it.
#include "Fixtures.h"
#include "HubFixtures.h"
#include "TestHome.h"
#include "fs/PosixIO.h"
#include "scanners/HuggingFaceScanner.h"
#include "services/TrashService.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <QUuid>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kDrive = u"/dev/shm"_qs;

dev_t deviceOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : 0;
}

} // namespace

class HuggingFaceDriveTest : public QObject
{
    Q_OBJECT

private slots:
    void linkedBlobsGoWithTheRepository()
    {
        if (!QFileInfo(kDrive).isDir() || deviceOf(kDrive) == deviceOf(QDir::tempPath()))
            QSKIP("/dev/shm is no second filesystem here");
        const QString trash = kDrive + u"/.Trash-"_qs + QString::number(::getuid());
        const bool trashWasThere = PosixIO::lexists(trash);
        const QString folder =
            kDrive + u"/brimvale-hf-"_qs + QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString blobs = folder + u"/blobs"_qs;
        const auto cleanup = qScopeGuard([&] {
            QDir(folder).removeRecursively();
            if (!trashWasThere)
                QDir(trash).removeRecursively();
        });
        TestHome home;
        const QString repo = home.file(u".cache/huggingface/hub/models--o--m"_qs);
        QStringList tree = HubFixtures::threeRevisions(repo);
        tree.removeIf([&](const QString& line) { return line.startsWith(repo + u"/blobs/"_qs); });
        QVERIFY(Fixtures::makeTree(u"/"_qs, tree));
        QVERIFY(Fixtures::makeTree(blobs, {u"a=1"_qs, u"s=22"_qs, u"p=333"_qs, u"d=4444"_qs}));
        QVERIFY(QFile::link(blobs, repo + u"/blobs"_qs));
        const QStringList snapshots{repo + u"/snapshots/c1"_qs, repo + u"/snapshots/c2"_qs};

        // c3's blob n is missing: its old revisions stay apart, the repository says so.
        const SourceScan scan = HuggingFaceScanner::scan();
        QCOMPARE(HubFixtures::describe(scan, home.root()),
                 u"hf-models--o--m 6 P:"_qs + repo.mid(home.root().size() + 1) + u',' + blobs +
                     u" !;hf-old-models--o--m 11 P:"_qs + repo.mid(home.root().size() + 1) +
                     u"/snapshots/c3,"_qs + blobs + u"/d"_qs);
        const TrashOutcome trashed = TrashService::moveToTrash(scan.models[0]);
        QVERIFY2(!trashed.error, qPrintable(trashed.error.value_or(QString())));
        QVERIFY(!PosixIO::lexists(repo) && !PosixIO::lexists(blobs));
        QCOMPARE(trashed.entry->trashedPaths.size(), 2);
        QVERIFY(trashed.entry->trashedPaths[1].startsWith(kDrive + u'/')); // that drive's Trash
        QVERIFY(!TrashService::restore(trashed.entry->id).error);
        QVERIFY(HubFixtures::linksResolve(snapshots));
        QCOMPARE(HuggingFaceScanner::scan().models, scan.models);
    }
};

QTEST_GUILESS_MAIN(HuggingFaceDriveTest)
#include "tst_huggingfacedrive.moc"
