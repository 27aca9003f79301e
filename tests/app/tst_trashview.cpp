#include "ViewFixtures.h"
#include "app/ItemRoles.h"
#include "app/TrashItemModel.h"
#include "app/TrashSortProxy.h"
#include "ui/EmptyState.h"
#include "ui/StatusBar.h"
#include "ui/TrashTable.h"
#include "ui/TrashView.h"

#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

using namespace ViewFixtures;

class TrashViewTest : public QObject
{
    Q_OBJECT

private:
    static QStringList names(const TrashSortProxy& rows)
    {
        QStringList list;
        for (int row = 0; row < rows.rowCount(); ++row)
            list << rows.entryAt(row).modelName;
        return list;
    }
    static void selectRows(TrashTable& table, const QList<int>& rows)
    {
        for (const int row : rows)
            table.selectionModel()->select(table.model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Three entries: "b" newest and largest.
    static QList<TrashEntry> three()
    {
        return {trashEntry(u"a"_qs, 1000, 100), trashEntry(u"b"_qs, 3000, 300),
                trashEntry(u"c"_qs, 2000, 200)};
    }

private slots:
    void rowsAndSorting()
    {
        TrashItemModel entries;
        TrashSortProxy rows(entries);
        ItemModelTesters testers({&entries, &rows});
        TrashTable table(rows);
        entries.setEntries(three());
        QCOMPARE(names(rows), (QStringList{u"b"_qs, u"c"_qs, u"a"_qs}));
        emit table.horizontalHeader()->sectionClicked(TrashItemModel::size);
        QCOMPARE(names(rows), (QStringList{u"a"_qs, u"c"_qs, u"b"_qs}));
        emit table.horizontalHeader()->sectionClicked(TrashItemModel::size);
        QCOMPARE(names(rows), (QStringList{u"b"_qs, u"c"_qs, u"a"_qs}));
    }

    void cells()
    {
        TrashItemModel entries;
        TrashSortProxy rows(entries);
        TrashTable table(rows);
        TrashEntry odd = trashEntry(u"odd"_qs, 5, 1, u"someday"_qs);
        odd.originalPaths.clear();
        entries.setEntries({odd, trashEntry(u"known"_qs, 5, 2)});
        const auto cell = [&](int row, int column, int role) {
            return table.model()->index(row, column).data(role);
        };
        QCOMPARE(cell(1, TrashItemModel::source, Qt::DisplayRole).toString(), u"someday"_qs);
        QVERIFY(cell(1, TrashItemModel::source, Qt::DecorationRole).isNull());
        QCOMPARE(cell(1, TrashItemModel::name, ItemRoles::secondLine).toString(),
                 u"Was at unknown"_qs);
        QCOMPARE(cell(0, TrashItemModel::source, Qt::DisplayRole).toString(), u"Ollama"_qs);
        QVERIFY(!cell(0, TrashItemModel::source, Qt::DecorationRole).value<QIcon>().isNull());
    }

    void texts()
    {
        Setup setup;
        TrashView view(setup.model);
        QCOMPARE(view.subtitle(), u"0 items · Zero KB"_qs);
        QCOMPARE(view.statusText(), u"0 items · Zero KB"_qs);
        QCOMPARE(view.mainArea(), static_cast<QWidget*>(&view.emptyState()));
        QVERIFY(view.emptyButton().isHidden() && view.putBackButton().isHidden());

        QVERIFY(setup.publishTrash({trashEntry(u"a"_qs, 1000, 100)}));
        QCOMPARE(view.statusText(), u"1 item · 1 KB"_qs);
        QVERIFY(setup.publishTrash(three()));
        QCOMPARE(view.subtitle(), u"3 items · 6 KB"_qs);
        selectRows(view.table(), {1});
        QCOMPARE(view.statusText(), u"1 of 3 selected"_qs);
        QVERIFY(!view.putBackButton().isHidden() && !view.deleteButton().isHidden());
        QVERIFY(view.emptyButton().isHidden());
    }

    void confirmation()
    {
        Setup setup;
        QVERIFY(setup.publishTrash({trashEntry(u"llama3"_qs, 1000, 100)}));
        TrashView view(setup.model);
        QCOMPARE(view.confirmTitle({u"a"_qs, u"b"_qs}), u"Delete 2 items immediately?"_qs);
        view.emptyButton().click(); // one row: asked by name
        auto* box = view.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), u"Delete \"llama3\" immediately?"_qs);
        QCOMPARE(box->informativeText(), u"This can't be undone."_qs);
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
        box->button(QMessageBox::Cancel)->click();
        QVERIFY(!setup.model.busyMessage());
    }

    void actsOnShownSelection()
    {
        Setup setup;
        QVERIFY(setup.publishTrash(three()));
        TrashView view(setup.model);
        selectRows(view.table(), {0, 1}); // b and c
        QVERIFY(
            setup.publishTrash({trashEntry(u"a"_qs, 1000, 100), trashEntry(u"c"_qs, 2000, 200)}));
        QCOMPARE(view.table().selectedIds(), QStringList{u"c"_qs});
        view.deleteButton().click();
        auto* box = view.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), u"Delete \"c\" immediately?"_qs);
        box->reject();
    }

    void busyStopsActions()
    {
        Setup setup;
        QVERIFY(setup.publishTrash(three()));
        TrashView view(setup.model);
        selectRows(view.table(), {0});
        setup.core->hold = true;
        const QFuture<void> restoring = setup.model.restore({u"a"_qs});
        QCOMPARE(view.statusText(), u"Restoring…"_qs);
        QVERIFY(!view.putBackButton().isEnabled() && !view.deleteButton().isEnabled());
        view.askDelete({u"b"_qs}); // the Delete key and the menu come here too
        QVERIFY(!view.findChild<QMessageBox*>());
        setup.core->gate.release();
        QVERIFY(Setup::wait(restoring));
    }

    void contextMenu()
    {
        Setup setup;
        QVERIFY(setup.publishTrash(three()));
        TrashView view(setup.model);
        view.resize(900, 600);
        view.show();
        TrashTable& table = view.table();
        selectRows(table, {0, 1});
        const auto pointOf = [&](int row) {
            return table.visualRect(table.model()->index(row, 1)).center();
        };
        QCOMPARE(table.idsAt(pointOf(2)), QStringList{u"a"_qs});
        QCOMPARE(table.idsAt(pointOf(0)), (QStringList{u"b"_qs, u"c"_qs}));
        const std::unique_ptr<QMenu> menu = table.menuFor({u"c"_qs});
        QCOMPARE(menu->actions().size(), 4);
        menu->actions()[3]->trigger();
        auto* box = view.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), u"Delete \"c\" immediately?"_qs);
        box->reject();
    }
};

QTEST_MAIN(TrashViewTest)
#include "tst_trashview.moc"
