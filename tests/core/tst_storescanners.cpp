#include "Fixtures.h"
#include "TestHome.h"
#include "scanners/Gpt4AllScanner.h"

#include <QRegularExpression>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Every entry as "path:size id|name", the path relative to the home, then "detail" when
// asked, in the scan's order.
QStringList readout(const SourceScan& scan, const TestHome& home, bool withDetail)
{
    QStringList lines;
    for (const ModelEntry& entry : scan.models) {
        QString path = entry.primaryPath;
        if (path.startsWith(home.path() + u'/'))
            path = path.mid(home.path().size() + 1);
        QString line =
            path + u':' + QString::number(entry.sizeBytes) + u' ' + entry.id + u'|' + entry.name;
        if (withDetail)
            line += u'|' + entry.detail.value_or(QString());
        if (entry.sizeBytes != entry.reclaimableBytes)
            line += u" reclaims "_s + QString::number(entry.reclaimableBytes);
        lines.push_back(line);
    }
    return lines;
}

// Builds the row's tree (Fixtures::makeTree lines below the home; "<HOME>" is its path), sets
// its variables ("NAME=value" lines), makes every file an hour old but those the "recent"
// lines name, and compares the scan's readout with "expected".
void checkStore(const std::function<SourceScan(const QDateTime&)>& scan, bool withDetail = false)
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, variables);
    QFETCH(QStringList, expected);
    TestHome home;
    QStringList recent;
    for (QString& line : tree) {
        line.replace(u"<HOME>"_s, home.path());
        if (line.startsWith(u'+'))
            recent.push_back(line.remove(0, 1));
    }
    QVERIFY(Fixtures::makeTree(home.path(), tree));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QString& line : std::as_const(tree)) {
        const QString path = line.section(QRegularExpression(u"[:=]|->"_s), 0, 0);
        QVERIFY(Fixtures::setModified(home.file(path), now.toSecsSinceEpoch() -
                                                           (recent.contains(line) ? 60 : 3600)));
    }
    for (const QString& variable : std::as_const(variables)) {
        QString value = variable.section(u'=', 1);
        home.setEnv(variable.section(u'=', 0, 0).toUtf8().constData(),
                    value.replace(u"<HOME>"_s, home.path()).toUtf8());
    }
    const SourceScan result = scan(now);
    QCOMPARE(result.errors, QStringList());
    QCOMPARE(readout(result, home, withDetail), expected);
}

void columns()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QStringList>("expected");
}

} // namespace

class StoreScannersTest : public QObject
{
    Q_OBJECT

private slots:
    void gpt4All_data()
    {
        columns();
        const QString data = u".local/share/nomic.ai/GPT4All/"_s;
        QTest::newRow("model files of 1 MB and more, both folders")
            << QStringList{data + u"Llama 3 8B.Q4_0.gguf:4000000"_s,
                           data + u"old.bin:1000000"_s,
                           data + u"small.gguf:999999"_s,
                           data + u"localdocs_v2.db:5000000"_s,
                           data + u".hidden.gguf:2000000"_s,
                           data + u"sub/deep.gguf:2000000"_s,
                           u".cache/gpt4all/m.GGUF:3000000"_s}
            << QStringList{}
            << QStringList{data + u"Llama 3 8B.Q4_0.gguf:4000000 gpt4all-llama_3_8b.q4_0|Llama 3 "
                                  u"8B.Q4_0.gguf"_s,
                           data + u"old.bin:1000000 gpt4all-old|old.bin"_s,
                           u".cache/gpt4all/m.GGUF:3000000 gpt4all-m|m.GGUF"_s};
        QTest::newRow("data home from its variable")
            << QStringList{u"d/nomic.ai/GPT4All/m.gguf:2000000"_s,
                           data + u"not-read.gguf:2000000"_s}
            << QStringList{u"XDG_DATA_HOME=<HOME>/d"_s}
            << QStringList{u"d/nomic.ai/GPT4All/m.gguf:2000000 gpt4all-m|m.gguf"_s};
        QTest::newRow("unfinished downloads: quiet ones listed, any size")
            << QStringList{data + u"incomplete-a.gguf:5000"_s,
                           u"+"_s + data + u"incomplete-b.gguf:5000"_s}
            << QStringList{}
            << QStringList{data + u"incomplete-a.gguf:5000 gpt4all-partial-a|a.gguf (unfinished "
                                  u"download)|Unfinished download — safe to remove unless it is "
                                  u"still downloading"_s};
        QTest::newRow("a folder linked to the other: read once")
            << QStringList{u".cache/gpt4all->../.local/share/nomic.ai/GPT4All"_s,
                           data + u"m.gguf:2000000"_s}
            << QStringList{} << QStringList{data + u"m.gguf:2000000 gpt4all-m|m.gguf"_s};
    }

    void gpt4All()
    {
        const bool detail = QByteArray(QTest::currentDataTag()).contains("unfinished");
        checkStore([](const QDateTime& now) { return Gpt4AllScanner::scan(now); }, detail);
    }
};

QTEST_GUILESS_MAIN(StoreScannersTest)
#include "tst_storescanners.moc"
