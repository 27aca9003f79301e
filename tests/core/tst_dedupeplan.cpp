// DedupePlan::of on hand-built scan results: which copy stays, what is skipped and why, and that
// each file is planned once.
#include "Fixtures.h"
#include "services/DedupePlan.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The files of a row: "name" a small file, "name=other" a hard link to an earlier one.
bool makeFiles(const QString& root, const QString& files)
{
    for (const QString& word : files.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = word.split(u'=');
        const QString path = root + u'/' + parts[0];
        const bool made = parts.size() == 1
                              ? Fixtures::writeFile(path, parts[0].toUtf8())
                              : ::link(QFile::encodeName(root + u'/' + parts[1]).constData(),
                                       QFile::encodeName(path).constData()) == 0;
        if (!made)
            return false;
    }
    return true;
}

// The identity of a file that exists; a made-up one, unique to the name, for one that does not.
FileIdentity identityOf(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return FileIdentity::of(st);
    return {1, static_cast<quint64>(qHash(path)), 60'000'000, 1, 1};
}

// Groups "copy copy|copy ...", each copy "name[+alsoAt...]=id,id".
QList<DuplicateGroup> groupsOf(const QString& root, const QString& text)
{
    QList<DuplicateGroup> groups;
    for (const QString& groupText : text.split(u'|', Qt::SkipEmptyParts)) {
        DuplicateGroup group{u"h"_s + QString::number(groups.size()), 60'000'000, {}};
        for (const QString& copyText : groupText.split(u' ', Qt::SkipEmptyParts)) {
            const QStringList parts = copyText.split(u'=');
            QStringList paths;
            for (const QString& name : parts[0].split(u'+'))
                paths.push_back(root + u'/' + name);
            const QString path = paths.takeFirst();
            group.copies.push_back(
                {path, identityOf(path), paths, parts.value(1).split(u',', Qt::SkipEmptyParts)});
        }
        groups.push_back(group);
    }
    return groups;
}

// Entries "ID" (primary path root/ID alone) or "ID:file,file" (those data files).
QList<ModelEntry> entriesOf(const QString& root, const QString& text)
{
    QList<ModelEntry> entries;
    for (const QString& entryText : text.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = entryText.split(u':');
        ModelEntry entry;
        entry.id = parts[0];
        entry.primaryPath = root + u'/' + parts[0];
        for (const QString& name : parts.value(1).split(u',', Qt::SkipEmptyParts))
            entry.dataFiles.push_back(root + u'/' + name);
        entries.push_back(entry);
    }
    return entries;
}

// The copy a path is, or is stored with, and its group.
std::pair<DuplicateGroup, DuplicateCopy> copyAt(const QList<DuplicateGroup>& groups,
                                                const QString& path)
{
    for (const DuplicateGroup& group : groups) {
        for (const DuplicateCopy& copy : group.copies) {
            if (copy.path == path || copy.alsoAt.contains(path))
                return {group, copy};
        }
    }
    return {};
}

} // namespace

class DedupePlanTest : public QObject
{
    Q_OBJECT

private slots:
    void plans_data();
    void plans();
};

void DedupePlanTest::plans_data()
{
    QTest::addColumn<QString>("files");   // real files, for paths stored with a copy
    QTest::addColumn<QString>("groups");  // the scan's duplicate groups
    QTest::addColumn<QString>("entries"); // the scan's entries
    QTest::addColumn<QString>("chosen");  // the ids asked for, in order
    // Items "ID:file>keep", then " / ", then skipped "ID:file!reason" (all, none, once).
    QTest::addColumn<QString>("expected");

    const QString threeCopies = u"a=A b=B c=C"_s;
    const QString abc = u"A:a B:b C:c"_s;
    QTest::newRow("first copy outside the chosen one stays")
        << QString() << threeCopies << abc << u"B"_s << u"B:b>a /"_s;
    QTest::newRow("chosen copies are passed over")
        << QString() << threeCopies << abc << u"A B"_s << u"A:a>c B:b>c /"_s;
    QTest::newRow("all copies chosen")
        << QString() << threeCopies << abc << u"C A B"_s << u"/ C:c!all A:a!all B:b!all"_s;
    QTest::newRow("shared layer chosen with one of its entries")
        << QString() << u"s=A,B d=X"_s << u"A:s B:s X:d"_s << u"A"_s << u"A:s>d /"_s;
    QTest::newRow("shared layer stays when none of its entries is chosen")
        << QString() << u"d=X s=A,B"_s << u"A:s B:s X:d"_s << u"X"_s << u"X:d>s /"_s;
    QTest::newRow("shared layer and the other copy chosen")
        << QString() << u"d=X s=A,B"_s << u"A:s B:s X:d"_s << u"X B"_s << u"/ X:d!all B:s!all"_s;
    QTest::newRow("shared layer is not kept when one of its entries is chosen")
        << QString() << u"s=A,B d=X t=Y"_s << u"A:s B:s X:d Y:t"_s << u"X A"_s
        << u"X:d>t A:s>t /"_s;
    QTest::newRow("shared layer planned once for both entries")
        << QString() << u"s=A,B d=X"_s << u"A:s B:s X:d"_s << u"B A"_s << u"B:s>d /"_s;
    QTest::newRow("entry without duplicates") << QString() << u"a=A b=B"_s << u"A:a B:b E F:f1,f2"_s
                                              << u"E F"_s << u"/ E:E!none F:F!none"_s;
    QTest::newRow("primary path as the only file")
        << QString() << u"E=E x=X"_s << u"E X:x"_s << u"E"_s << u"E:E>x /"_s;
    QTest::newRow("repeat entries planned once") << QString() << threeCopies << abc + u" E"_s
                                                 << u"A E A B E"_s << u"A:a>c B:b>c / E:E!none"_s;
    QTest::newRow("files in two groups, one file in none")
        << QString() << u"a1=A b1=X|a2=A b2=X"_s << u"A:a1,z,a2 X:b1,b2"_s << u"A"_s
        << u"A:a1>b1 A:a2>b2 /"_s;
    QTest::newRow("hard link of a copy stands for it")
        << u"c l=c d"_s << u"c+l=A,B d=X"_s << u"A:l B:c X:d"_s << u"A"_s << u"A:l>d /"_s;
    QTest::newRow("hard link beside its copy is one file")
        << u"c l=c d"_s << u"c+l=A,B d=X"_s << u"A:l B:c X:d"_s << u"A B"_s << u"B:c>d /"_s;
    QTest::newRow("two hard links of one copy") << u"c l1=c l2=c d"_s << u"c+l1+l2=A,B d=X"_s
                                                << u"A:l1 B:l2 X:d"_s << u"B A"_s << u"B:l2>d /"_s;
    // "far" does not exist: its made-up identity puts it on a filesystem of its own.
    QTest::newRow("copy that stays on the file's own filesystem")
        << u"h1 h2"_s << u"far=L h1=A h2=B"_s << u"L:far A:h1 B:h2"_s << u"A"_s << u"A:h1>h2 /"_s;
    QTest::newRow("one copy that stays for the chosen copies of one filesystem")
        << u"h1 h2 h3"_s << u"far=L h1=A h2=B h3=C"_s << u"L:far A:h1 B:h2 C:h3"_s << u"B A"_s
        << u"B:h2>h3 A:h1>h3 /"_s;
    QTest::newRow("copy that stays elsewhere when the own filesystem has none")
        << u"h1 h2"_s << u"far=L h1=A h2=B"_s << u"L:far A:h1 B:h2"_s << u"A B"_s
        << u"A:h1>far B:h2>far /"_s;
    QTest::newRow("path sharing the blocks of a copy")
        << u"c r d"_s << u"c+r=A,B d=X"_s << u"A:r B:c X:d"_s << u"A"_s << u"/ A:r!once"_s;
    QTest::newRow("path sharing the blocks of a copy, in two entries")
        << u"c r d"_s << u"c+r=A,B,C d=X"_s << u"A:r B:r C:c X:d"_s << u"A B"_s << u"/ A:r!once"_s;
    QTest::newRow("path stored with a copy, gone since the scan")
        << u"c d"_s << u"c+r=A d=X"_s << u"A:r X:d"_s << u"A"_s << u"/ A:r!none"_s;
}

void DedupePlanTest::plans()
{
    QFETCH(QString, files);
    QFETCH(QString, groups);
    QFETCH(QString, entries);
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString root = dir.path();
    QVERIFY(makeFiles(root, files));
    ScanResult scan;
    scan.models = entriesOf(root, entries);
    scan.duplicateGroups = groupsOf(root, groups);
    QList<ModelEntry> asked;
    for (const QString& id : chosen.split(u' ')) {
        for (const ModelEntry& entry : scan.models) {
            if (entry.id == id)
                asked.push_back(entry);
        }
    }

    const DedupePlan::Plan plan = DedupePlan::of(scan, asked);

    const auto name = [&](const QString& path) { return path.mid(root.size() + 1); };
    const QHash<QString, QString> codes{
        {u"Every copy of this data is among the chosen entries"_s, u"all"_s},
        {u"No identical copy found — scan again"_s, u"none"_s},
        {u"Already stored once"_s, u"once"_s},
    };
    QStringList got;
    for (const DedupeItem& item : plan.items) {
        got.push_back(item.entryId + u':' + name(item.path) + u'>' + name(item.keepPath));
        // The file carries the identity of its copy; the copy that stays, its own.
        const auto [group, copy] = copyAt(scan.duplicateGroups, item.path);
        QCOMPARE(item.identity, copy.identity);
        QCOMPARE(item.keepIdentity, copyAt(scan.duplicateGroups, item.keepPath).second.identity);
        QCOMPARE(item.hash, group.hash);
    }
    got.push_back(u"/"_s);
    for (const DedupedFile& file : plan.skipped) {
        got.push_back(file.entryId + u':' + name(file.path) + u'!' +
                      codes.value(file.reason.value_or(QString()), u"?"_s));
        QVERIFY(file.keepPath.isEmpty() && file.bytesShared == 0 && !file.hardLinked);
    }
    QCOMPARE(got.join(u' '), expected);
}

QTEST_GUILESS_MAIN(DedupePlanTest)
#include "tst_dedupeplan.moc"
