// MoveService within one filesystem: every refusal of a plan at its trigger and in its order,
// what a move reports, the items checked again under the move lock, and the wait for that lock.
#include "LockWaiters.h"
#include "MoveTestSupport.h"
#include "model/BrimvaleError.h"
#include "services/MoveService.h"

#include <QProcess>
#include <thread>

using namespace Qt::StringLiterals;

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
    void validatePlan_data()
    {
        QTest::addColumn<QString>("extraTree"); // lines for Fixtures::makeTree joined by ";"
        QTest::addColumn<QString>("paths");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("result"); // the refusal, or "=" and the paths of the plan
        // "<NUL>" in a path stands for a NUL character.
        const auto row = [](const char* name, const char* tree, const char* paths, const char* to,
                            const char* result) {
            const auto text = [](const char* utf8) {
                return QString::fromUtf8(utf8).replace(u"<NUL>"_s, QChar(u'\0'));
            };
            QTest::newRow(name) << text(tree) << text(paths) << text(to) << text(result);
        };
        const char* noFolder = "Destination must be an existing folder";
        const char* symlink = "model.gguf is already a symlink — it may have been moved before.";
        const char* taken = "other.bin already exists in dest";
        const char* same = "Source and destination cannot be the same folder";
        row("destination missing", "", "a/model.gguf", "nowhere", noFolder);
        row("destination is a file", "", "a/model.gguf", "file.txt", noFolder);
        row("item is a symlink, after a good item", "l/model.gguf->../a/model.gguf",
            "c/other.bin l/model.gguf", "dest", symlink);
        row("two items of one name", "", "a/model.gguf b/model.gguf", "dest",
            "The destination would contain multiple items named model.gguf");
        row("name taken at the destination", "dest/other.bin=old", "c/other.bin", "dest", taken);
        row("name taken by a dangling link", "dest/other.bin->gone", "c/other.bin", "dest", taken);
        row("folder named after the resolved destination", "real/other.bin=old;alias->real",
            "c/other.bin", "alias", "other.bin already exists in real");
        row("item is the destination through a link", "alias->models", "models", "alias", same);
        row("destination inside the item", "", "models", "models/backup",
            "The destination cannot be inside models");
        row("nothing left to move", "", "a/gone.gguf b/gone.bin", "dest",
            "No model files were found to move");
        row("first broken rule wins: name taken before a symlink",
            "dest/other.bin=old;l/model.gguf->../a/model.gguf", "c/other.bin l/model.gguf", "dest",
            taken);
        row("symlink checked before the name", "dest/model.gguf=old;l/model.gguf->../a/model.gguf",
            "l/model.gguf", "dest", symlink);
        row("NUL in the destination", "", "a/model.gguf", "dest<NUL>x", "Invalid path");
        row("NUL in an item after a good one", "", "c/other.bin a/model.gguf<NUL>x", "dest",
            "Invalid path");
        row("sibling folder with a longer name", "models2/", "models", "models2", "=models");
        row("one path twice", "", "a/model.gguf a/model.gguf", "dest", "=a/model.gguf");
        row("two paths to one item, kept as given", "alias->a", "alias/model.gguf a/model.gguf",
            "dest", "=alias/model.gguf");
        row("vanished paths dropped", "", "a/gone.bin models", "dest", "=models");
        row("destination through a link", "destlink->dest", "a/model.gguf", "destlink",
            "=a/model.gguf");
    }

    void validatePlan()
    {
        QFETCH(QString, extraTree);
        QFETCH(QString, paths);
        QFETCH(QString, destination);
        QFETCH(QString, result);
        TestHome home;
        QVERIFY(makeTree(home.path(), u"dest/;a/model.gguf=A;b/model.gguf=B;"
                                      "c/other.bin=C;models/backup/;models/m.bin=M;"
                                      "file.txt=x;"_s +
                                          extraTree));
        const QStringList items = under(home, paths);
        if (result.startsWith(u'=')) {
            QCOMPARE(MoveService::validatePlan(items, home.file(destination)),
                     under(home, result.mid(1)));
            return;
        }
        const BrimvaleError::Kind kind = result == u"Invalid path"_s
                                             ? BrimvaleError::Kind::invalidPath
                                             : BrimvaleError::Kind::general;
        try {
            (void)MoveService::validatePlan(items, home.file(destination));
            QFAIL("the plan was accepted");
        } catch (const BrimvaleError& error) {
            QCOMPARE(error.message(), result);
            QCOMPARE(error.kind(), kind);
        }
        // move reports the same refusal and touches nothing.
        const Tree before = treeOf(home.path());
        QCOMPARE(MoveService::move({entryWith(items)}, home.file(destination), true),
                 outcomeOf({}, result, kind));
        QVERIFY(treeOf(home.path()) == before);
    }

    void moves_data()
    {
        QTest::addColumn<bool>("links");
        QTest::addColumn<QString>("destination"); // as the caller passes it
        QTest::addColumn<QString>("change");      // done to the second item while the move runs
        QTest::addColumn<QString>("description"); // of the second item's failure
        const auto row = [](const char* name, bool links, const char* destination,
                            const char* change, const char* description) {
            QTest::newRow(name) << links << QString::fromLatin1(destination)
                                << QString::fromLatin1(change) << QString::fromLatin1(description);
        };
        row("with symlinks", true, "dest", "", "");
        row("without symlinks", false, "dest", "", "");
        row("destination with a trailing slash", true, "dest/", "", "");
        // Under the move lock each item is checked again, and its rename never replaces anything.
        row("item removed", true, "dest", "remove", "No such file or directory");
        row("item replaced by a symlink", true, "dest", "symlink", "Already a symlink");
        row("name taken at the destination", true, "dest", "occupy", "File exists");
        row("name taken just before the rename", true, "dest", "occupy late", "File exists");
    }

    void moves()
    {
        QFETCH(bool, links);
        QFETCH(QString, destination);
        QFETCH(QString, change);
        QFETCH(QString, description);
        TestHome home;
        QVERIFY(makeTree(home.path(), u"dest/;a/one.gguf=1;b/two.bin=2;pkg/blobs/x=3;"
                                      "pkg/empty/;pkg/ref->blobs/x"_s));
        const QStringList from = under(home, u"a/one.gguf b/two.bin pkg"_s);
        const QStringList to = under(home, u"dest/one.gguf dest/two.bin dest/pkg"_s);
        const Tree pkgBefore = treeOf(from[2]);
        MoveProgress progress;
        bool changed = false;
        progress.stage = [&](const QString& path, MoveStage) {
            if (path != from[change == u"occupy late"_s ? 1 : 0] || std::exchange(changed, true))
                return;
            if (change == u"remove"_s)
                QVERIFY(QFile::remove(from[1]));
            if (change == u"symlink"_s)
                QVERIFY(QFile::rename(from[1], from[1] + u'~') &&
                        QFile::link(from[1] + u'~', from[1]));
            if (change.startsWith(u"occupy"_s))
                QVERIFY(Fixtures::writeFile(to[1], "other"));
        };
        QList<MovedItem> items;
        for (int i = 0; i < 3; ++i)
            if (i != 1 || change.isEmpty())
                items.push_back({from[i], to[i], links});
        const QString error = u"Could not move "_s + from[1] + u": "_s;
        QCOMPARE(
            MoveService::move({entryWith(from.mid(0, 2)), entryWith({from[2]})},
                              home.file(destination), links, progress),
            outcomeOf(items, change.isEmpty() ? std::nullopt : std::optional(error + description)));
        QVERIFY(treeOf(to[2]) == pkgBefore);
        for (const MovedItem& item : items)
            QVERIFY(linkTarget(item.from) == (links ? item.to : QString()) &&
                    QFileInfo::exists(item.from) == links);
        QVERIFY(!change.startsWith(u"occupy"_s) || contentOf(to[1]) == "other");
        QVERIFY(change != u"symlink"_s || contentOf(from[1]) == "2");
    }

    void waitsForTheMoveLock()
    {
        TestHome home;
        QVERIFY(makeTree(home.path(), u"dest/;a/one.bin=1;b/two.bin=2;.brimvale/"_s));
        const QList<ModelEntry> entries{entryWith(under(home, u"a/one.bin b/two.bin"_s))};
        const QString dest = home.file(u"dest"_s);
        QProcess holder; // another process holding the move lock until its input ends
        holder.start(u"flock"_s,
                     {home.file(u".brimvale/move.lock"_s), u"-c"_s, u"echo held; cat"_s});
        QVERIFY(holder.waitForReadyRead());
        const Tree before = treeOf(home.path());

        // With a limit the move gives up when it runs out, with nothing changed.
        const QString busy = u"Another Brimvale is moving files — try again in a moment"_s;
        QCOMPARE(
            MoveService::move(entries, dest, true, {}, nullptr, std::chrono::milliseconds(200)),
            outcomeOf({}, busy, BrimvaleError::Kind::busy));
        QVERIFY(treeOf(home.path()) == before);

        // Without a limit it waits for the holder, then moves.
        MoveOutcome waited;
        std::thread mover([&] { waited = MoveService::move(entries, dest, true); });
        const bool blocked = LockWaiters::awaitWaiter(home.file(u".brimvale/move.lock"_s));
        const bool movedWhileHeld = treeOf(home.path()) != before;
        holder.closeWriteChannel();
        mover.join();
        QVERIFY(holder.waitForFinished());
        QVERIFY(blocked && !movedWhileHeld && waited.succeeded());
    }
};

QTEST_GUILESS_MAIN(MoveServiceTest)
#include "tst_moveservice.moc"
