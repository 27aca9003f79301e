// MoveService within one filesystem: every refusal of a plan at its trigger and in its order,
// what a move reports, the items checked again under the move lock, and the wait for that lock.
#include "MoveTestSupport.h"
#include "model/BrimvaleError.h"
#include "services/MoveService.h"

#include <thread>

using namespace MoveTestSupport;

namespace {

// Absolute paths from blank-separated paths relative to the home.
QStringList under(const TestHome& home, const QString& relative)
{
    QStringList paths;
    for (const QString& path : relative.split(u' ', Qt::SkipEmptyParts))
        paths.push_back(home.file(path));
    return paths;
}

} // namespace

class MoveServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void validatePlanRefuses_data();
    void validatePlanRefuses();
    void validatePlanAccepts_data();
    void validatePlanAccepts();
    void movesAndLinks_data();
    void movesAndLinks();
    void itemCheckedAgainUnderTheLock_data();
    void itemCheckedAgainUnderTheLock();
    void waitsForTheMoveLock();
};

void MoveServiceTest::validatePlanRefuses_data()
{
    QTest::addColumn<QString>("extraTree"); // lines for Fixtures::makeTree joined by ";"
    QTest::addColumn<QString>("paths");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const char* tree, const QString& paths,
                        const QString& destination, const QString& message) {
        QTest::newRow(name) << QString::fromUtf8(tree) << paths << destination << message;
    };
    const QString noFolder = QStringLiteral("Destination must be an existing folder");
    const QString symlink =
        QStringLiteral("model.gguf is already a symlink — it may have been moved before.");
    const QString taken = QStringLiteral("other.bin already exists in dest");
    const QString same = QStringLiteral("Source and destination cannot be the same folder");
    const QString nul = QString(QChar(u'\0')) + u'x';
    const QString invalid = QStringLiteral("Invalid path");
    row("destination missing", "", QStringLiteral("a/model.gguf"), QStringLiteral("nowhere"),
        noFolder);
    row("destination is a file", "", QStringLiteral("a/model.gguf"), QStringLiteral("file.txt"),
        noFolder);
    row("item is a symlink, after a good item", "l/model.gguf->../a/model.gguf",
        QStringLiteral("c/other.bin l/model.gguf"), QStringLiteral("dest"), symlink);
    row("two items of one name", "", QStringLiteral("a/model.gguf b/model.gguf"),
        QStringLiteral("dest"),
        QStringLiteral("The destination would contain multiple items named model.gguf"));
    row("name taken at the destination", "dest/other.bin=old", QStringLiteral("c/other.bin"),
        QStringLiteral("dest"), taken);
    row("name taken by a dangling link", "dest/other.bin->missing", QStringLiteral("c/other.bin"),
        QStringLiteral("dest"), taken);
    row("folder named after the resolved destination", "real/other.bin=old;alias->real",
        QStringLiteral("c/other.bin"), QStringLiteral("alias"),
        QStringLiteral("other.bin already exists in real"));
    row("item is the destination", "", QStringLiteral("models"), QStringLiteral("models"), same);
    row("item is the destination through a link", "alias->models", QStringLiteral("models"),
        QStringLiteral("alias"), same);
    row("destination inside the item", "", QStringLiteral("models"),
        QStringLiteral("models/backup"), QStringLiteral("The destination cannot be inside models"));
    row("nothing left to move", "", QStringLiteral("a/gone.gguf b/gone.bin"),
        QStringLiteral("dest"), QStringLiteral("No model files were found to move"));
    row("first broken rule wins: name taken before a symlink",
        "dest/other.bin=old;l/model.gguf->../a/model.gguf",
        QStringLiteral("c/other.bin l/model.gguf"), QStringLiteral("dest"), taken);
    row("symlink checked before the name", "dest/model.gguf=old;l/model.gguf->../a/model.gguf",
        QStringLiteral("l/model.gguf"), QStringLiteral("dest"), symlink);
    row("NUL in the destination", "", QStringLiteral("a/model.gguf"), QStringLiteral("dest") + nul,
        invalid);
    row("NUL in an item after a good one", "", QStringLiteral("c/other.bin a/model.gguf") + nul,
        QStringLiteral("dest"), invalid);
}

void MoveServiceTest::validatePlanRefuses()
{
    QFETCH(QString, extraTree);
    QFETCH(QString, paths);
    QFETCH(QString, destination);
    QFETCH(QString, message);
    TestHome home;
    QVERIFY(Fixtures::makeTree(
        home.path(), QStringList{QStringLiteral("dest/"), QStringLiteral("a/model.gguf=A"),
                                 QStringLiteral("b/model.gguf=B"), QStringLiteral("c/other.bin=C"),
                                 QStringLiteral("models/backup/"), QStringLiteral("models/m.bin=M"),
                                 QStringLiteral("file.txt=x")} +
                         extraTree.split(u';', Qt::SkipEmptyParts)));
    const QStringList items = under(home, paths);
    const BrimvaleError::Kind kind = message == QStringLiteral("Invalid path")
                                         ? BrimvaleError::Kind::invalidPath
                                         : BrimvaleError::Kind::general;
    try {
        (void)MoveService::validatePlan(items, home.file(destination));
        QFAIL("the plan was accepted");
    } catch (const BrimvaleError& error) {
        QCOMPARE(error.message(), message);
        QCOMPARE(error.kind(), kind);
    }
    // move reports the same refusal and touches nothing.
    const Tree before = treeOf(home.path());
    QCOMPARE(MoveService::move({entryWith(items)}, home.file(destination), true),
             outcomeOf({}, message, kind));
    QVERIFY(treeOf(home.path()) == before);
}

void MoveServiceTest::validatePlanAccepts_data()
{
    QTest::addColumn<QString>("paths");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("expected");
    QTest::newRow("sibling folder with a longer name")
        << QStringLiteral("models") << QStringLiteral("models2") << QStringLiteral("models");
    QTest::newRow("one path twice") << QStringLiteral("a/model.gguf a/model.gguf")
                                    << QStringLiteral("dest") << QStringLiteral("a/model.gguf");
    QTest::newRow("two paths to one item, kept as given")
        << QStringLiteral("alias/model.gguf a/model.gguf") << QStringLiteral("dest")
        << QStringLiteral("alias/model.gguf");
    QTest::newRow("vanished paths dropped") << QStringLiteral("a/gone.bin models")
                                            << QStringLiteral("dest") << QStringLiteral("models");
    QTest::newRow("destination through a link")
        << QStringLiteral("a/model.gguf") << QStringLiteral("destlink")
        << QStringLiteral("a/model.gguf");
}

void MoveServiceTest::validatePlanAccepts()
{
    QFETCH(QString, paths);
    QFETCH(QString, destination);
    QFETCH(QString, expected);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("dest/"), QStringLiteral("models2/"),
                                QStringLiteral("a/model.gguf=A"), QStringLiteral("models/m.bin=M"),
                                QStringLiteral("alias->a"), QStringLiteral("destlink->dest")}));
    QCOMPARE(MoveService::validatePlan(under(home, paths), home.file(destination)),
             under(home, expected));
}

void MoveServiceTest::movesAndLinks_data()
{
    QTest::addColumn<bool>("createSymlinks");
    QTest::addColumn<QString>("destination"); // as the caller passes it
    QTest::newRow("with symlinks") << true << QStringLiteral("dest");
    QTest::newRow("without symlinks") << false << QStringLiteral("dest");
    QTest::newRow("destination with a trailing slash") << true << QStringLiteral("dest/");
}

void MoveServiceTest::movesAndLinks()
{
    QFETCH(bool, createSymlinks);
    QFETCH(QString, destination);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("dest/"), QStringLiteral("a/one.gguf=1"),
                                QStringLiteral("b/two.bin=2"), QStringLiteral("pkg/blobs/x=3"),
                                QStringLiteral("pkg/empty/"), QStringLiteral("pkg/ref->blobs/x")}));
    const QStringList from = under(home, QStringLiteral("a/one.gguf b/two.bin pkg"));
    const QStringList to = under(home, QStringLiteral("dest/one.gguf dest/two.bin dest/pkg"));
    const MoveOutcome outcome = MoveService::move({entryWith(from.mid(0, 2)), entryWith({from[2]})},
                                                  home.file(destination), createSymlinks);
    QList<MovedItem> items;
    for (int i = 0; i < 3; ++i)
        items.push_back({from[i], to[i], createSymlinks});
    QCOMPARE(outcome, outcomeOf(items));
    QVERIFY(outcome.succeeded());
    QCOMPARE(contentOf(to[0]), QByteArray("1"));
    QCOMPARE(contentOf(to[2] + QStringLiteral("/ref")), QByteArray("3"));
    QVERIFY(QFileInfo(to[2] + QStringLiteral("/empty")).isDir());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(linkTarget(from[i]), createSymlinks ? to[i] : QString());
        QCOMPARE(QFileInfo::exists(from[i]), createSymlinks);
    }
}

void MoveServiceTest::itemCheckedAgainUnderTheLock_data()
{
    QTest::addColumn<QString>("change"); // done to the second item while the first one moves
    QTest::addColumn<QString>("description");
    QTest::newRow("item removed") << QStringLiteral("remove")
                                  << QStringLiteral("No such file or directory");
    QTest::newRow("item replaced by a symlink")
        << QStringLiteral("symlink") << QStringLiteral("Already a symlink");
    QTest::newRow("name taken at the destination")
        << QStringLiteral("occupy") << QStringLiteral("File exists");
}

void MoveServiceTest::itemCheckedAgainUnderTheLock()
{
    QFETCH(QString, change);
    QFETCH(QString, description);
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(),
                               {QStringLiteral("dest/"), QStringLiteral("a/one.bin=1"),
                                QStringLiteral("b/two.bin=2"), QStringLiteral("c/three.bin=3")}));
    const QStringList items = under(home, QStringLiteral("a/one.bin b/two.bin c/three.bin"));
    const QString two = items[1];
    const QString dest = home.file(QStringLiteral("dest"));
    MoveProgress progress;
    progress.stage = [&](const QString& path, MoveStage) {
        if (path != items[0])
            return;
        if (change == QStringLiteral("remove")) {
            QFile::remove(two);
        } else if (change == QStringLiteral("symlink")) {
            QFile::rename(two, two + QStringLiteral(".real"));
            QFile::link(two + QStringLiteral(".real"), two);
        } else {
            Fixtures::writeFile(dest + QStringLiteral("/two.bin"), "other");
        }
    };
    const MoveOutcome outcome = MoveService::move(
        {entryWith({items[0]}), entryWith({two}), entryWith({items[2]})}, dest, true, progress);
    QCOMPARE(outcome, outcomeOf({{items[0], dest + QStringLiteral("/one.bin"), true},
                                 {items[2], dest + QStringLiteral("/three.bin"), true}},
                                QStringLiteral("Could not move ") + two + QStringLiteral(": ") +
                                    description));
    if (change == QStringLiteral("occupy"))
        QCOMPARE(contentOf(dest + QStringLiteral("/two.bin")), QByteArray("other"));
    if (change == QStringLiteral("symlink"))
        QCOMPARE(contentOf(two), QByteArray("2"));
}

void MoveServiceTest::waitsForTheMoveLock()
{
    TestHome home;
    QVERIFY(Fixtures::makeTree(home.path(), {QStringLiteral("dest/"), QStringLiteral("a/one.bin=1"),
                                             QStringLiteral("b/two.bin=2")}));
    const QList<ModelEntry> entries{entryWith(under(home, QStringLiteral("a/one.bin b/two.bin")))};
    const QString dest = home.file(QStringLiteral("dest"));
    MoveLockHolder holder;
    QVERIFY(holder.holding());
    const Tree before = treeOf(home.path());

    // With a limit the move gives up when it runs out, with nothing changed.
    const MoveOutcome busy =
        MoveService::move(entries, dest, true, {}, nullptr, std::chrono::milliseconds(200));
    QCOMPARE(busy, outcomeOf({},
                             QStringLiteral("Another Brimvale is moving files — try again in a "
                                            "moment"),
                             BrimvaleError::Kind::busy));
    QVERIFY(treeOf(home.path()) == before);

    // Without a limit it waits for the holder, then moves.
    MoveOutcome waited;
    std::thread mover([&] { waited = MoveService::move(entries, dest, true); });
    QTest::qWait(200);
    const bool movedWhileHeld = treeOf(home.path()) != before;
    holder.release();
    mover.join();
    QVERIFY(!movedWhileHeld);
    QVERIFY(waited.succeeded());
}

QTEST_GUILESS_MAIN(MoveServiceTest)
#include "tst_moveservice.moc"
