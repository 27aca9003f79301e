#include "ViewFixtures.h"
#include "app/ItemRoles.h"
#include "app/SidebarRoles.h"
#include "ui/CellLook.h"
#include "ui/Contrast.h"
#include "ui/Icons.h"
#include "ui/ModelTable.h"
#include "ui/ModelsView.h"
#include "ui/SidebarList.h"
#include "ui/SidebarView.h"
#include "ui/Tag.h"
#include "ui/TrashTable.h"
#include "ui/TrashView.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <memory>

using namespace ViewFixtures;

namespace {

QList<ModelEntry> many(int count)
{
    QList<ModelEntry> models;
    for (int i = 0; i < count; ++i) // largest first, so row i holds "e{i}"
        models << entry(u"e"_qs + QString::number(i), (count - i) * 1000);
    return models;
}

QPalette fusionPalette()
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(u"Fusion"_qs));
    return fusion->standardPalette();
}

QPalette darkPalette()
{
    QPalette dark = fusionPalette();
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xea));
    dark.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(0x98, 0x98, 0x9d));
    return dark;
}

// The largest contrast of a pixel of the image against the colour.
double strongest(const QImage& image, const QColor& against)
{
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, Contrast::ratio(image.pixelColor(x, y), against));
    return best;
}

QString accessibleCell(QAbstractItemView& view, int row, int column)
{
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&view);
    QAccessibleInterface* cell = table->tableInterface()->cellAt(row, column);
    return cell ? cell->text(QAccessible::Name) : QString();
}

} // namespace

class ItemModelsTest : public QObject
{
    Q_OBJECT

private slots:
    void changesKeepSelectionAndScroll_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("trashed rows go") << true << QStringList{u"e150"_qs, u"e160"_qs};
        QTest::newRow("rows change in place")
            << false << QStringList{u"e150"_qs, u"e151"_qs, u"e160"_qs};
    }
    // A view straight on the proxy, which keeps nothing itself: what survives is the model's.
    void changesKeepSelectionAndScroll()
    {
        QFETCH(bool, remove);
        Setup setup;
        QList<ModelEntry> models = many(300);
        QVERIFY(setup.publish(models));
        QTableView view;
        view.setModel(&setup.model.itemModels().visible());
        view.resize(600, 300);
        view.show();
        for (const int row : {150, 151, 160})
            view.selectionModel()->select(view.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view.verticalScrollBar()->setValue(120);
        if (remove) {
            setup.model.removeFromScan({u"e10"_qs, u"e151"_qs});
        } else {
            models[151].name = u"renamed"_qs;
            models[20].reclaimableBytes = 1;
            QVERIFY(setup.publish(models));
        }
        QStringList ids;
        for (const QModelIndex& index : view.selectionModel()->selectedRows())
            ids << index.data(ItemRoles::id).toString();
        ids.sort();
        QTEST(ids, "selected");
        QCOMPARE(view.verticalScrollBar()->value(), 120);
    }

    void oneLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("line break") << u"two\nlines"_qs << u"two\u240Alines"_qs;
        QTest::newRow("tab and return") << u"a\tb\r"_qs << u"a\u2409b\u240D"_qs;
        QTest::newRow("delete") << u"a\u007F"_qs << u"a\u2421"_qs;
        QTest::newRow("next line, separators")
            << u"a\u0085b\u2028c\u2029"_qs << u"a\uFFFDb\uFFFDc\uFFFD"_qs;
        QTest::newRow("emoji and accents")
            << u"caf\u00E9 \U0001F600"_qs << u"caf\u00E9 \U0001F600"_qs;
    }
    // Names and details from outside are shown on one line in both tables.
    void oneLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        ScanItemModel scan;
        ModelEntry model = entry(u"a"_qs, 5);
        model.name = text;
        model.detail = text;
        scan.setEntries({model});
        QCOMPARE(scan.index(0, ScanItemModel::name).data().toString(), shown);
        QCOMPARE(scan.index(0, ScanItemModel::name).data(ItemRoles::secondLine).toString(), shown);
        TrashItemModel trash;
        TrashEntry trashed = trashEntry(u"t"_qs, 5, 1);
        trashed.modelName = text;
        trash.setEntries({trashed});
        QCOMPARE(trash.index(0, TrashItemModel::name).data().toString(), shown);
    }

    // A detail naming a folder in the home shows it in the ~ form, as the paths of other rows.
    void detailInHomeForm()
    {
        const QString home = qEnvironmentVariable("HOME");
        QVERIFY(home.size() > 1);
        ScanItemModel scan;
        ModelEntry model = entry(u"a"_qs, 5);
        model.detail = u"Custom folder: "_qs + home + u"/Models"_qs;
        scan.setEntries({model});
        QCOMPARE(scan.index(0, ScanItemModel::name).data(ItemRoles::secondLine).toString(),
                 u"Custom folder: ~/Models"_qs);
    }

    void accessibleText_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("text");
        QTest::newRow("model name cell")
            << u"models"_qs << u"big, Q4_K_M, DUPLICATE, 10 GB+, /models/big.gguf"_qs;
        QTest::newRow("trash name cell") << u"trash"_qs << u"gone, Was at /models/gone"_qs;
        QTest::newRow("sidebar size") << u"duplicates"_qs << u"Duplicates, 12 GB"_qs;
        QTest::newRow("sidebar trash count") << u"trash row"_qs << u"Trash, 1 item"_qs;
    }
    // What a screen reader reads: the tags and the second line with the name, the sizes and the
    // Trash count with the sidebar rows.
    void accessibleText()
    {
        QFETCH(QString, view);
        Setup setup;
        ModelEntry big = entry(u"big"_qs, 12'000'000'000LL);
        big.quantization = u"Q4_K_M"_qs;
        big.isDuplicate = true;
        QVERIFY(setup.publish({big}));
        QVERIFY(setup.publishTrash({trashEntry(u"gone"_qs, 5, 1)}));
        QString read;
        if (view == u"models") {
            ModelsView page(setup.model);
            read = accessibleCell(page.table(), 0, ScanItemModel::name);
        } else if (view == u"trash") {
            TrashView page(setup.model);
            read = accessibleCell(page.table(), 0, TrashItemModel::name);
        } else {
            SidebarView sidebar(setup.model);
            const SidebarItem item =
                view == u"trash row" ? SidebarItem::trash() : SidebarItem::duplicates();
            read = accessibleCell(*sidebar.list(), sidebar.row(item).row(), 0);
        }
        QTEST(read, "text");
    }

    void selectedContrast_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<int>("tone");
        QTest::addColumn<QString>("icon");
        for (const bool dark : {false, true}) {
            const char* look = dark ? "dark" : "light";
            for (const auto& [name, tone] : {std::pair{"red tag", ItemTone::danger},
                                             {"orange tag", ItemTone::warning},
                                             {"grey tag", ItemTone::secondary},
                                             {"brown tag", ItemTone::moved}})
                QTest::addRow("%s, %s", look, name) << dark << static_cast<int>(tone) << QString();
            QTest::addRow("%s, Safe icon", look)
                << dark << static_cast<int>(ItemTone::secondary) << u"emblem-ok"_qs;
            QTest::addRow("%s, In Use icon", look)
                << dark << static_cast<int>(ItemTone::warning) << u"dialog-warning"_qs;
        }
    }
    // Tags and status icons on a selected row, drawn as the table draws them, keep 4.5:1 on the
    // highlight.
    void selectedContrast()
    {
        QFETCH(bool, dark);
        QFETCH(int, tone);
        QFETCH(QString, icon);
        const QPalette palette = dark ? darkPalette() : fusionPalette();
        QApplication::setPalette(palette);
        const QColor highlight = palette.color(QPalette::Highlight);
        const QColor tint = CellLook::color(static_cast<ItemTone>(tone), palette);
        if (!icon.isEmpty()) {
            QImage drawn(32, 32, QImage::Format_ARGB32);
            drawn.fill(highlight);
            QPainter painter(&drawn);
            Icons::tinted(icon, tint)
                .paint(&painter, drawn.rect(), Qt::AlignCenter, QIcon::Selected);
            painter.end();
            QVERIFY2(strongest(drawn, highlight) >= 4.5, qPrintable(icon));
            return;
        }
        const Tag tag(u"DUPLICATE"_qs, tint);
        QFont font;
        font.setPixelSize(48);
        QImage drawn(tag.size(font) + QSize(20, 20), QImage::Format_ARGB32);
        drawn.fill(highlight);
        QPainter painter(&drawn);
        tag.paint(painter, QPoint(10, 10), font, highlight, true);
        painter.end();
        const QColor fill = drawn.pixelColor(13, 10 + tag.size(font).height() / 2);
        QVERIFY(strongest(drawn.copy(QRect(QPoint(10, 10), tag.size(font))), fill) >= 4.5);
    }

    void sidebarArrows_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("down from All Models") << int(Qt::Key_Down);
        QTest::newRow("up from the Trash") << int(Qt::Key_Up);
    }
    // The arrows pass over the headers, the Add Folder row and the spacer and reach every row
    // that can be chosen, folder rows included.
    void sidebarArrows()
    {
        QFETCH(int, key);
        Setup setup;
        setup.core->folders = {setup.home.path() + u"/Models"_qs};
        ModelEntry copy = entry(u"a"_qs, 5);
        copy.isDuplicate = true;
        QVERIFY(setup.publish({copy}));
        SidebarView sidebar(setup.model);
        sidebar.show();
        QList<SidebarItem> expected;
        for (const SidebarModel::Row& row : setup.model.itemModels().sidebar().rows())
            if (row.item)
                expected << *row.item;
        QVERIFY(expected.contains(SidebarItem::ofFolder(setup.core->folders.first())));
        if (key == Qt::Key_Up)
            std::reverse(expected.begin(), expected.end());
        setup.model.setSidebar(expected.first());
        sidebar.list()->setFocus();
        QList<SidebarItem> reached{expected.first()};
        for (qsizetype i = 1; i < expected.size() + 2; ++i) {
            QTest::keyClick(sidebar.list(), static_cast<Qt::Key>(key));
            if (setup.model.sidebar() && *setup.model.sidebar() != reached.last())
                reached << *setup.model.sidebar();
        }
        QCOMPARE(reached, expected);
        QCOMPARE(sidebar.list()->currentIndex(), sidebar.row(expected.last()));
    }

    void contextMenuKeys_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        for (const char* view : {"models", "trash", "sidebar"}) {
            QTest::addRow("%s, Menu key", view)
                << QString::fromLatin1(view) << int(Qt::Key_Menu) << int(Qt::NoModifier);
            QTest::addRow("%s, Shift+F10", view)
                << QString::fromLatin1(view) << int(Qt::Key_F10) << int(Qt::ShiftModifier);
        }
    }
    // The keyboard opens the current row's menu on both tables and the sidebar.
    void contextMenuKeys()
    {
        QFETCH(QString, view);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Setup setup;
        const QString folder = setup.home.path() + u"/Models"_qs;
        setup.core->folders = {folder};
        QVERIFY(setup.publish({entry(u"a"_qs, 5)}));
        QVERIFY(setup.publishTrash({trashEntry(u"gone"_qs, 5, 1)}));
        std::unique_ptr<QWidget> page;
        QAbstractItemView* list = nullptr;
        if (view == u"models") {
            auto* models = new ModelsView(setup.model);
            page.reset(models);
            list = &models->table();
        } else if (view == u"trash") {
            auto* trash = new TrashView(setup.model);
            page.reset(trash);
            list = &trash->table();
        } else {
            auto* sidebar = new SidebarView(setup.model);
            page.reset(sidebar);
            list = sidebar->list();
            setup.model.setSidebar(SidebarItem::ofFolder(folder));
        }
        page->resize(800, 500);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        if (view != u"sidebar")
            list->setCurrentIndex(list->model()->index(0, 0));
        list->setFocus();
        QTest::keyClick(list, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QApplication::activePopupWidget()->close();
    }
};

QTEST_MAIN(ItemModelsTest)
#include "tst_itemmodels.moc"
