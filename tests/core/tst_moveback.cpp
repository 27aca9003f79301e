#include "MoveTestSupport.h"
#include "scanners/MovedLink.h"
#include "services/MoveService.h"

using namespace MoveTestSupport;
using namespace Qt::StringLiterals;

class MoveBackTest : public QObject, private CrossFsFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void movesBack_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("acrossFilesystems");
        QTest::newRow("file, same filesystem") << false << false;
        QTest::newRow("folder, same filesystem") << true << false;
        QTest::newRow("file, across filesystems") << false << true;
        QTest::newRow("folder, across filesystems") << true << true;
    }

    // The item comes back whole in place of its link, and nothing of it stays on the other drive.
    void movesBack()
    {
        QFETCH(bool, folder);
        QFETCH(bool, acrossFilesystems);
        const QString destination = acrossFilesystems ? m_second : m_home->file(u"big"_s);
        QVERIFY(QDir().mkpath(destination));
        const ModelEntry entry = movedItem(u"m.gguf"_s, folder, destination);
        QCOMPARE(entry.moved.size(), 1);
        const QString target = destination + u"/m.gguf"_s;
        QCOMPARE(entry.allPaths, (QStringList{m_source + u"/m.gguf"_s, target}));

        const MoveOutcome outcome = MoveService::moveBack({entry});
        QCOMPARE(outcome, outcomeOf({{target, entry.primaryPath, false}}));
        QCOMPARE(treeOf(entry.primaryPath), m_before);
        QCOMPARE(namesIn(destination), QStringList());
        QCOMPARE(namesIn(m_source), QStringList{u"m.gguf"_s});
    }

    void refused_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");
        QTest::newRow("the link points elsewhere")
            << u"repoint"_s << u"Could not move back %1: The link no longer points to %2"_s;
        QTest::newRow("something else at the path")
            << u"replace"_s
            << u"Could not move back %1: Something other than the link is at the path"_s;
        QTest::newRow("the target is gone")
            << u"unplug"_s
            << u"The moved files are not reachable — connect the drive that holds %2"_s;
        QTest::newRow("not a moved entry")
            << u"unmoved"_s << u"m.gguf was not moved — there is nothing to move back"_s;
    }

    // A move back that finds things otherwise than the scan saw them touches nothing.
    void refused()
    {
        QFETCH(QString, change);
        QFETCH(QString, error);
        const QString destination = m_home->file(u"big"_s);
        QVERIFY(QDir().mkpath(destination));
        ModelEntry entry = movedItem(u"m.gguf"_s, false, destination);
        const QString link = entry.primaryPath;
        const QString target = destination + u"/m.gguf"_s;
        entry.name = u"m.gguf"_s;
        if (change == u"repoint"_s) {
            QVERIFY(Fixtures::writeFile(destination + u"/other"_s, "x"));
            QVERIFY(QFile::remove(link) && QFile::link(destination + u"/other"_s, link));
        } else if (change == u"replace"_s) {
            QVERIFY(QFile::remove(link) && Fixtures::writeFile(link, "mine"));
        } else if (change == u"unplug"_s) {
            QVERIFY(QDir().rename(destination, destination + u"-gone"_s));
        } else {
            entry.moved.clear();
        }
        const Tree linkBefore = treeOf(link);
        const Tree targetBefore = treeOf(target);
        const MoveOutcome outcome = MoveService::moveBack({entry});
        QCOMPARE(outcome, outcomeOf({}, error.replace(u"%1"_s, link).replace(u"%2"_s, target)));
        QCOMPARE(treeOf(link), linkBefore);
        QCOMPARE(treeOf(target), targetBefore);
    }

    void movedAgain_data() { movesBack_data(); }
    // Moving a moved entry to a third place moves its target there and re-points its link.
    void movedAgain()
    {
        QFETCH(bool, folder);
        QFETCH(bool, acrossFilesystems);
        const QString first = m_home->file(u"big"_s);
        const QString third = acrossFilesystems ? m_second : m_home->file(u"bigger"_s);
        QVERIFY(QDir().mkpath(first) && QDir().mkpath(third));
        const ModelEntry entry = movedItem(u"m.gguf"_s, folder, first);
        const QString link = entry.primaryPath;
        const MoveOutcome outcome = MoveService::move({entry}, third, true);
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));
        QCOMPARE(outcome.symlinksCreated, QStringList{link});
        QCOMPARE(linkTarget(link), third + u"/m.gguf"_s);
        QCOMPARE(treeOf(third + u"/m.gguf"_s), m_before);
        QCOMPARE(namesIn(first), QStringList());
        QCOMPARE(namesIn(m_source), QStringList{u"m.gguf"_s});
    }

private:
    // Makes the item (a file, or a folder with a file, an empty folder and a link), moves it to
    // the destination and returns the entry a scan would list for its link.
    ModelEntry movedItem(const QString& name, bool folder, const QString& destination)
    {
        const QString path = m_source + u'/' + name;
        if (folder)
            makeTree(path, u"blobs/b:3000000;empty/;snapshots/w->../blobs/b"_s);
        else
            Fixtures::makeSparseFile(path, 2'000'000, "weights");
        m_before = treeOf(path);
        const MoveOutcome outcome = MoveService::move({entryWith({path})}, destination, true);
        if (!outcome.succeeded())
            qWarning("move failed: %s", qPrintable(outcome.error.value_or(QString())));
        ModelEntry entry = entryWith({path});
        entry.primaryPath = path;
        MovedLink::mark(entry);
        return entry;
    }

    Tree m_before;
};

QTEST_GUILESS_MAIN(MoveBackTest)
#include "tst_moveback.moc"
