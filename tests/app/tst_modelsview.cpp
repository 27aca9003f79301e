#include "ViewFixtures.h"
#include "app/AppItemModels.h"
#include "app/ItemRoles.h"
#include "app/ScanFilterProxy.h"
#include "app/ScanItemModel.h"
#include "app/SidebarModel.h"
#include "text/Format.h"
#include "ui/CellLook.h"
#include "ui/EmptyState.h"
#include "ui/InfoStrip.h"
#include "ui/ModelTable.h"
#include "ui/ModelsView.h"
#include "ui/Palette.h"
#include "ui/ScanningPlaceholder.h"
#include "ui/SidebarView.h"
#include "ui/StatusBar.h"
#include "ui/StorageHeader.h"
#include "ui/Tag.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>

using namespace ViewFixtures;

class ModelsViewTest : public QObject
{
    Q_OBJECT

private:
    static void selectRows(ModelTable& table, const QList<int>& rows)
    {
        table.clearSelection();
        for (const int row : rows)
            table.selectionModel()->select(table.model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static QStringList selectedIds(const ModelTable& table)
    {
        QStringList ids;
        for (const QModelIndex& index : table.selectionModel()->selectedRows())
            ids << index.data(ItemRoles::id).toString();
        ids.sort();
        return ids;
    }

    // The widget Tab moves the focus to from the given one.
    static QWidget* nextTabStop(QWidget* from, const QWidget& window)
    {
        QWidget* next = from->nextInFocusChain();
        while (next != from && !((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() &&
                                 next->isVisibleTo(&window)))
            next = next->nextInFocusChain();
        return next;
    }

private slots:
    void texts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("status");
        QTest::newRow("none") << 0 << QList<int>{} << "0 items · Zero KB"
                              << "0 items · Zero KB";
        QTest::newRow("one") << 1 << QList<int>{} << "1 item · 1 KB"
                             << "1 item · 1 KB";
        QTest::newRow("two of five") << 5 << QList<int>{1, 3} << "5 items · 15 KB"
                                     << "2 of 5 selected · 6 KB";
    }
    void texts()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, selected);
        Setup setup;
        QList<ModelEntry> models;
        for (int i = 1; i <= count; ++i) // sizes 1..5 KB; sorted largest first
            models << entry(QString::number(i), i * 1000);
        QVERIFY(setup.publish(models));
        ModelsView view(setup.model);
        selectRows(view.table(), selected);
        QFETCH(QString, subtitle);
        QFETCH(QString, status);
        QCOMPARE(view.subtitle(), subtitle);
        QCOMPARE(view.statusText(), status);
        QCOMPARE(view.trashButton().isHidden(), selected.isEmpty());
    }

    void beforeFirstScan()
    {
        Setup setup;
        ModelsView view(setup.model);
        QCOMPARE(view.title(), u"All Models"_qs);
        QCOMPARE(view.subtitle(), QString());
        QCOMPARE(view.mainArea(), static_cast<QWidget*>(&view.placeholder()));
        QVERIFY(!view.exportAction().isEnabled());
    }

    void storageBarWidths()
    {
        using S = StorageBar::Segment;
        QCOMPARE(StorageBar::widths({S{ModelSource::ollama, 500}}, 500, 300), QList<qreal>{300});
        const QList<qreal> two = StorageBar::widths(
            {S{ModelSource::ollama, 1'000'000}, S{ModelSource::loose, 1}}, 1'000'001, 302);
        QCOMPARE(two[1], 3.0);
        QVERIFY(qAbs(two[0] - 300) < 0.01);
    }

    void storageHeaderOnlyForEntries()
    {
        Setup setup;
        ModelsView view(setup.model);
        view.show();
        QVERIFY(setup.publish({}));
        QVERIFY(view.storageHeader().isHidden());
        QCOMPARE(view.emptyState().title(), u"No AI Models Found"_qs);
        QVERIFY(!view.emptyState().actionButton().isHidden());

        ModelEntry zero = entry(QStringLiteral("z"), 50, 0);
        zero.source = ModelSource::whisper;
        QVERIFY(setup.publish({entry(QStringLiteral("a"), 2000), zero}));
        QVERIFY(!view.storageHeader().isHidden());
        QCOMPARE(view.storageHeader().legendTexts(), QStringList{u"Custom Folders 2 KB"_qs});
    }

    void folderEmptyState_data()
    {
        QTest::addColumn<bool>("unplugged");
        QTest::addColumn<QString>("title");
        QTest::newRow("drive unplugged")
            << true << u"~/usb/models is not available — is its drive connected?"_qs;
        QTest::newRow("folder without models") << false << u"No Models in This Folder"_qs;
    }
    void folderEmptyState()
    {
        QFETCH(bool, unplugged);
        QFETCH(QString, title);
        Setup setup;
        const QString folder = setup.home.file(u"usb/models"_qs);
        QVERIFY(unplugged || QDir().mkpath(folder));
        setup.core->folders = {folder};
        setup.model.setSidebar(SidebarItem::ofFolder(folder));
        QVERIFY(setup.publish({entry(QStringLiteral("a"), 2000)}));
        ModelsView view(setup.model);
        QCOMPARE(view.emptyState().title(), title);
    }

    void searchEmptyStateWins()
    {
        Setup setup;
        QVERIFY(setup.publish({entry(QStringLiteral("a"), 2000)}));
        setup.model.setSidebar(SidebarItem::duplicates());
        ModelsView view(setup.model);
        QCOMPARE(view.emptyState().title(), u"No Duplicates"_qs);
        setup.model.setSearch(QStringLiteral("zzz"));
        QVERIFY(view.emptyState().title().contains(u"zzz"_qs));
        QVERIFY(view.emptyState().actionButton().isHidden());
    }

    void cells_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("reclaimable");
        QTest::addColumn<bool>("large");
        QTest::addColumn<QString>("sizeTip");
        QTest::newRow("ten GB") << 10'000'000'000LL << 10'000'000'000LL << false << QString();
        QTest::newRow("one byte more") << 10'000'000'001LL << 10'000'000'001LL << true << QString();
        QTest::newRow("shared layers")
            << 4'000'000'000LL << 1'500'000'000LL << false << "Trashing frees 1.5 GB";
    }
    void cells()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, reclaimable);
        ScanItemModel rows;
        rows.setEntries({entry(QStringLiteral("a"), size, reclaimable)});
        const QList<ItemTag> tags =
            rows.index(0, ScanItemModel::name).data(ItemRoles::tags).value<QList<ItemTag>>();
        QFETCH(bool, large);
        QFETCH(QString, sizeTip);
        QCOMPARE(tags.contains(ItemTag{u"10 GB+"_qs, ItemTone::danger, {}}), large);
        QCOMPARE(rows.index(0, ScanItemModel::size).data(Qt::ToolTipRole).toString(), sizeTip);
        CellLook look(rows);
        for (const int column : {ScanItemModel::source, ScanItemModel::status})
            QVERIFY(!look.index(0, column).data(Qt::DecorationRole).value<QIcon>().isNull());
    }

    void useCells_data()
    {
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QString>("process");
        QTest::newRow("drive records no reads") << false << QString();
        QTest::newRow("read, open in a program") << true << u"llama-server"_qs;
    }
    // Last Used reads like Modified, or explains its dash; an entry in use carries a tag that
    // names the program.
    void useCells()
    {
        QFETCH(bool, recorded);
        QFETCH(QString, process);
        ModelEntry model = entry(QStringLiteral("a"), 5);
        const QDateTime read = QDateTime::currentDateTime().addDays(-3);
        if (recorded)
            model.lastUsed = read;
        if (!process.isEmpty())
            model.inUseBy = process;
        ScanItemModel rows;
        rows.setEntries({model});
        const QModelIndex used = rows.index(0, ScanItemModel::lastUsed);
        QCOMPARE(rows.headerData(ScanItemModel::lastUsed, Qt::Horizontal, Qt::DisplayRole),
                 QVariant(u"Last Used"_qs));
        QCOMPARE(ScanItemModel::sortField(ScanItemModel::lastUsed), SortKey::Field::lastUsed);
        QCOMPARE(used.data().toString(), recorded ? u"3 days ago"_qs : u"—"_qs);
        QCOMPARE(used.data(Qt::ToolTipRole).toString(),
                 recorded ? Format::longDate(read)
                          : u"This drive does not record when files are read"_qs);
        const QList<ItemTag> tags =
            rows.index(0, ScanItemModel::name).data(ItemRoles::tags).value<QList<ItemTag>>();
        const ItemTag inUse{u"IN USE"_qs, ItemTone::warning, u"Open in "_qs + process};
        QCOMPARE(tags.contains(inUse), !process.isEmpty());
    }

    // Not Used Lately holds the entries read more than 90 days ago, largest first, under its
    // explanation.
    void notUsedLately()
    {
        Setup setup;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QList<ModelEntry> models;
        for (const auto& [id, size, days] : {std::tuple{u"old"_qs, 5000, 100},
                                             {u"recent"_qs, 9000, 89},
                                             {u"older"_qs, 7000, 400},
                                             {u"unrecorded"_qs, 8000, -1}}) {
            models << entry(id, size);
            if (days >= 0)
                models.last().lastUsed = now.addDays(-days);
        }
        QVERIFY(setup.publish(models));
        ModelsView view(setup.model);
        view.show();
        setup.model.setSidebar(SidebarItem::notUsedLately());
        QCOMPARE(view.title(), u"Not Used Lately"_qs);
        QVERIFY(view.unusedStrip().isVisible());
        QCOMPARE(view.unusedStrip().text(),
                 u"Models and caches nobody has read for 3 months or more."_qs);
        QStringList shown;
        for (const ModelEntry& row : view.table().rows().entries())
            shown << row.id;
        QCOMPARE(shown, (QStringList{u"older"_qs, u"old"_qs}));
        setup.model.setSidebar(SidebarItem::all());
        QVERIFY(!view.unusedStrip().isVisible());
    }

    void headerClicksEditSortOrder()
    {
        Setup setup;
        ModelsView view(setup.model);
        QHeaderView* header = view.table().horizontalHeader();
        using F = SortKey::Field;
        emit header->sectionClicked(ScanItemModel::size); // already first: reverses
        QCOMPARE(setup.model.sortOrder(), (QList<SortKey>{{F::sizeBytes, true}}));
        emit header->sectionClicked(ScanItemModel::name);
        QCOMPARE(setup.model.sortOrder(), (QList<SortKey>{{F::name, true}, {F::sizeBytes, true}}));
        QCOMPARE(header->sortIndicatorSection(), int(ScanItemModel::name));
        emit header->sectionClicked(ScanItemModel::status); // no key
        QCOMPARE(setup.model.sortOrder().size(), 2);
        QCOMPARE(header->sortIndicatorSection(), int(ScanItemModel::name));
    }

    // A moved entry: its own sidebar row, a tag naming its drive, Move Back in its menu, and its
    // size in the storage header's caption.
    void movedEntries()
    {
        Setup setup;
        ModelEntry moved = entry(QStringLiteral("m"), 3000);
        moved.moved = {{moved.primaryPath, u"/mnt/Big Drive/m.gguf"_qs, false}};
        SidebarView sidebar(setup.model);
        QVERIFY(setup.publish({entry(QStringLiteral("a"), 2000)}));
        QVERIFY(!sidebar.row(SidebarItem::moved()).isValid());
        QVERIFY(setup.publish({moved, entry(QStringLiteral("a"), 2000)}));
        QCOMPARE(sidebar.row(SidebarItem::moved()).data().toString(), u"On Other Drives"_qs);
        QCOMPARE(sidebar.row(SidebarItem::moved()).row(),
                 sidebar.row(SidebarItem::all()).row() + 1);
        ModelsView view(setup.model);
        view.show();
        QCOMPARE(view.storageHeader().captionText(),
                 u"used by AI models and caches · 3 KB on other drives"_qs);
        setup.model.setSidebar(SidebarItem::moved());
        QCOMPARE(view.title(), u"On Other Drives"_qs);
        QCOMPARE(setup.model.models(SidebarItem::moved()).size(), 1);
        ScanItemModel rows;
        rows.setEntries({moved});
        QVERIFY(rows.index(0, ScanItemModel::name)
                    .data(ItemRoles::tags)
                    .value<QList<ItemTag>>()
                    .contains(ItemTag{u"ON BIG DRIVE"_qs, ItemTone::moved, {}}));
        QCOMPARE(view.table().menuFor({u"m"_qs})->actions().value(4)->text(), u"Move Back"_qs);
        QCOMPARE(view.table().menuFor({u"a"_qs})->actions().value(4)->text(), QString());
    }

    void contextMenuRows()
    {
        Setup setup;
        QVERIFY(setup.publish({entry(QStringLiteral("a"), 3000), entry(QStringLiteral("b"), 2000),
                               entry(QStringLiteral("c"), 1000)}));
        ModelsView view(setup.model);
        view.resize(900, 600);
        view.show();
        ModelTable& table = view.table();
        selectRows(table, {0, 1});
        const auto pointOf = [&](int row) {
            return table.visualRect(table.model()->index(row, 1)).center();
        };
        QCOMPARE(table.idsAt(pointOf(2)), QStringList{u"c"_qs});
        QCOMPARE(table.idsAt(pointOf(1)), (QStringList{u"a"_qs, u"b"_qs}));
        QVERIFY(table.idsAt(QPoint(5, table.viewport()->height() - 2)).isEmpty());

        const std::unique_ptr<QMenu> menu = table.menuFor({u"a"_qs, u"b"_qs});
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, (QStringList{u"Show in File Manager"_qs,
                                     u"Copy Path"_qs,
                                     {},
                                     u"Move to…"_qs,
                                     {},
                                     u"Move to Trash"_qs}));
        menu->actions()[1]->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"/models/a.gguf\n/models/b.gguf"_qs);
        QStringList busyTexts; // the trash may end before the next line runs
        connect(&setup.model, &AppModel::busyMessageChanged, this, [&] {
            if (setup.model.busyMessage())
                busyTexts << *setup.model.busyMessage();
        });
        menu->actions()[5]->trigger(); // Move to Trash acts on both
        QCOMPARE(busyTexts.value(0), u"Moving 2 items to Trash…"_qs);
        QVERIFY(!table.menuFor({u"gone"_qs}));
        setup.model.setSidebar(SidebarItem::duplicates());
        QCOMPARE(table.menuFor({u"a"_qs})->actions().value(3)->text(), u"Free Duplicates…"_qs);
    }

    void busyDisablesActions()
    {
        Setup setup;
        const ModelEntry a = entry(QStringLiteral("a"), 3000);
        QVERIFY(setup.publish({a}));
        ModelsView view(setup.model);
        selectRows(view.table(), {0});
        setup.core->hold = true;
        const QFuture<void> trashing = setup.model.trash({a});
        QCOMPARE(view.statusText(), u"Moving a to Trash…"_qs);
        QVERIFY(!view.trashButton().isEnabled() && !view.moveButton().isEnabled());
        setup.core->gate.release();
        QVERIFY(Setup::wait(trashing));
    }

    void freeButton_data()
    {
        QTest::addColumn<bool>("duplicates");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("All Models") << false << true << false << false << false;
        QTest::newRow("Duplicates, nothing selected") << true << false << false << true << false;
        QTest::newRow("Duplicates, a selection") << true << true << false << true << true;
        QTest::newRow("Duplicates, busy") << true << true << true << true << false;
    }
    void freeButton()
    {
        QFETCH(bool, duplicates);
        QFETCH(bool, selected);
        QFETCH(bool, busy);
        QFETCH(bool, shown);
        QFETCH(bool, enabled);
        Setup setup;
        ModelEntry a = entry(QStringLiteral("a"), 3000);
        a.isDuplicate = true;
        QVERIFY(setup.publish({a}));
        if (duplicates)
            setup.model.setSidebar(SidebarItem::duplicates());
        QWidget window; // as in the main window, where the view is not a window of its own
        ModelsView& view = *new ModelsView(setup.model, &window);
        if (selected)
            selectRows(view.table(), {0});
        setup.core->hold = busy;
        const QFuture<void> trashing = busy ? setup.model.trash({a}) : QFuture<void>();
        QPushButton& button = view.freeButton();
        QCOMPARE(!button.isHidden(), shown);
        QCOMPARE(shown && button.isEnabled(), enabled);
        QCOMPARE(button.accessibleName(), u"Free Duplicates"_qs);
        if (enabled) {
            window.show();
            QCOMPARE(nextTabStop(&view.table(), window), &button);
            button.click();
            QTRY_COMPARE(setup.dialogs.questions.size(), 1);
            QCOMPARE(setup.dialogs.questions[0].title, u"Free 2 KB by sharing identical data?"_qs);
        }
        setup.core->gate.release();
        QVERIFY(!busy || Setup::wait(trashing));
    }

    void selectionSurvivesRefreshes()
    {
        Setup setup;
        QList<ModelEntry> models{entry(QStringLiteral("a"), 3000), entry(QStringLiteral("b"), 2000),
                                 entry(QStringLiteral("c"), 1000)};
        QVERIFY(setup.publish(models));
        ModelsView view(setup.model);
        selectRows(view.table(), {0, 1});
        QCOMPARE(setup.model.selection(), (QSet<QString>{u"a"_qs, u"b"_qs}));

        // A filter hiding a selected row neither drops it from the selection nor forgets it.
        setup.model.setSearch(QStringLiteral("a.gguf"));
        QCOMPARE(setup.model.selection(), (QSet<QString>{u"a"_qs, u"b"_qs}));
        setup.model.setSearch({});
        QCOMPARE(selectedIds(view.table()), (QStringList{u"a"_qs, u"b"_qs}));

        // A rescan gives new ids; rows whose paths survive stay selected.
        for (ModelEntry& model : models)
            model.id += u'2';
        models.removeFirst();
        QVERIFY(setup.publish(models));
        QCOMPARE(selectedIds(view.table()), QStringList{u"b2"_qs});
        QCOMPARE(view.statusText(), u"1 of 2 selected · 2 KB"_qs);
    }
};

QTEST_MAIN(ModelsViewTest)
#include "tst_modelsview.moc"
