// The parameter tree: the indented-text parser, the model's index rules and
// the tree file shipped with the program.
#include "treemodel.h"

#include <QtTest>
#include <QSignalSpy>

namespace {

const QStringList kHeaders{"Name", "Value", "Unit", "Min", "Max", "Access"};

QString text(const QAbstractItemModel &m, int row, int column, const QModelIndex &parent = QModelIndex())
{
    return m.data(m.index(row, column, parent)).toString();
}

} // namespace

class TestTreeModel : public QObject
{
    Q_OBJECT
private slots:
    void groupWithSixColumnChild();
    void indentationRules_data();
    void indentationRules();
    void columnsAreSplitAtTabs();
    void lineEndsAndNulCut();
    void indexParentAndFlags();
    void setDataAndHeaders();
    void rowAndColumnEditing();
    void shippedTreeFile();
};

void TestTreeModel::groupWithSixColumnChild()
{
    TreeModel m(kHeaders, QStringLiteral("System\n  a\tb\tc\td\te\tf\n"));
    QCOMPARE(m.rowCount(), 1);
    QCOMPARE(text(m, 0, 0), QStringLiteral("System"));
    QVERIFY(!m.data(m.index(0, 1)).isValid());
    const QModelIndex group = m.index(0, 0);
    QCOMPARE(m.rowCount(group), 1);
    for (int c = 0; c < 6; ++c)
        QCOMPARE(text(m, 0, c, group), QString(QChar('a' + c)));
}

void TestTreeModel::indentationRules_data()
{
    // Lines, then the tree as "path=name" entries (path of rows from the top).
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("tree");
    QTest::newRow("indented first line is top level, same indentation nests")
        << "    A\n    B\nC" << QStringList{"0=A", "0.0=B", "1=C"};
    QTest::newRow("pop to the nearest level not deeper (the root when none)")
        << "G\n    a\n        x\n      b\n  c\nH"
        << QStringList{"0=G", "0.0=a", "0.0.0=x", "0.1=b", "1=c", "2=H"};
    QTest::newRow("deeper jumps nest one level")
        << "G\n        deep\n  next" << QStringList{"0=G", "0.0=deep", "1=next"};
    QTest::newRow("empty and blank lines are skipped")
        << "G\n\n   \n  a\n\t\n  b" << QStringList{"0=G", "0.0=a", "0.1=b"};
    QTest::newRow("tabs do not count as indentation")
        << "G\n\ta" << QStringList{"0=G", "1=a"};
}

void TestTreeModel::indentationRules()
{
    QFETCH(QString, input);
    QFETCH(QStringList, tree);
    TreeModel m(kHeaders, input);
    QStringList actual;
    std::function<void(const QModelIndex &, const QString &)> walk = [&](const QModelIndex &parent,
                                                                          const QString &path) {
        for (int r = 0; r < m.rowCount(parent); ++r) {
            const QModelIndex i = m.index(r, 0, parent);
            const QString p = path.isEmpty() ? QString::number(r) : path + QLatin1Char('.') + QString::number(r);
            actual << p + QLatin1Char('=') + m.data(i).toString();
            walk(i, p);
        }
    };
    walk(QModelIndex(), QString());
    QCOMPARE(actual, tree);
}

void TestTreeModel::columnsAreSplitAtTabs()
{
    TreeModel m(kHeaders, QStringLiteral("G\n  n\t\t1\tmm\n  1\t2\t3\t4\t5\t6\t7\t8\n"));
    const QModelIndex g = m.index(0, 0);
    // Several tabs separate as one; an empty column cannot be written.
    QCOMPARE(text(m, 0, 0, g), QStringLiteral("n"));
    QCOMPARE(text(m, 0, 1, g), QStringLiteral("1"));
    QCOMPARE(text(m, 0, 2, g), QStringLiteral("mm"));
    QVERIFY(!m.data(m.index(0, 3, g)).isValid());
    // More than six fields keep the first six.
    QCOMPARE(m.columnCount(g), 6);
    QCOMPARE(text(m, 1, 5, g), QStringLiteral("6"));
    QVERIFY(!m.data(m.index(1, 6, g)).isValid());
}

void TestTreeModel::lineEndsAndNulCut()
{
    TreeModel crlf(kHeaders, QStringLiteral("G\r\n  a\tb\r\n"));
    const QModelIndex g = crlf.index(0, 0);
    QCOMPARE(text(crlf, 0, 0), QStringLiteral("G"));
    QCOMPARE(text(crlf, 0, 1, g), QStringLiteral("b"));
    QVERIFY(!crlf.data(crlf.index(0, 2, g)).isValid());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tree.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("G\n  ") + QByteArray("\xE7\xA9\xBA\xE9\x80\x9F") + QByteArray("\t1\n", 3) +
            QByteArray("H\0I\n", 4));
    f.close();
    const QString t = readTreeProfileText(path);
    QCOMPARE(t, QStringLiteral("G\n  空速\t1\nH"));
    TreeModel m(kHeaders, t);
    QCOMPARE(m.rowCount(), 2);
    QCOMPARE(text(m, 0, 0, m.index(0, 0)), QStringLiteral("空速"));

    QCOMPARE(readTreeProfileText(dir.filePath(QStringLiteral("missing.txt"))), QString());
    TreeModel empty(kHeaders, QString());
    QCOMPARE(empty.rowCount(), 0);
    QCOMPARE(empty.columnCount(), 6);
    QCOMPARE(empty.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Unit"));
}

void TestTreeModel::indexParentAndFlags()
{
    TreeModel m(kHeaders, QStringLiteral("G\n  a\t1\n  b\t2\nH\n"));
    const QModelIndex g = m.index(0, 0);
    const QModelIndex b = m.index(1, 1, g);
    QVERIFY(b.isValid());
    QCOMPARE(b.row(), 1);
    QCOMPARE(m.parent(b), g);
    QCOMPARE(m.parent(b).column(), 0);
    QVERIFY(!m.parent(g).isValid());
    QVERIFY(!m.parent(QModelIndex()).isValid());
    // Children hang only under column 0.
    QVERIFY(!m.index(0, 0, m.index(0, 1)).isValid());
    QVERIFY(!m.index(5, 0).isValid());
    QVERIFY(!m.index(-1, 0).isValid());
    // The column of an index is not checked against the columns.
    QVERIFY(m.index(0, 9, g).isValid());
    QVERIFY(!m.data(m.index(0, 9, g)).isValid());
    QCOMPARE(m.rowCount(m.index(0, 3)), 2);   // whatever the parent's column
    QCOMPARE(m.columnCount(g), 6);

    QVERIFY(m.flags(b).testFlag(Qt::ItemIsEditable));
    QVERIFY(m.flags(b).testFlag(Qt::ItemIsSelectable));
    QCOMPARE(m.flags(QModelIndex()), Qt::NoItemFlags);
    QVERIFY(!m.data(b, Qt::ToolTipRole).isValid());
    QCOMPARE(m.data(b, Qt::EditRole).toString(), QStringLiteral("2"));
    QVERIFY(!m.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!m.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

void TestTreeModel::setDataAndHeaders()
{
    TreeModel m(kHeaders, QStringLiteral("G\n  a\t1\n"));
    const QModelIndex v = m.index(0, 1, m.index(0, 0));
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    QVERIFY(!m.setData(v, QStringLiteral("x"), Qt::DisplayRole));
    QCOMPARE(changed.count(), 0);
    QVERIFY(m.setData(v, QStringLiteral("V 1.2.8")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::EditRole});
    QCOMPARE(m.data(v).toString(), QStringLiteral("V 1.2.8"));

    // A write through an invalid index leaves the headers alone.
    QVERIFY(!m.setData(QModelIndex(), QStringLiteral("oops")));
    QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QVERIFY(!m.setData(m.index(0, 7, m.index(0, 0)), QStringLiteral("x")));

    qRegisterMetaType<Qt::Orientation>();
    QSignalSpy header(&m, &QAbstractItemModel::headerDataChanged);
    QVERIFY(!m.setHeaderData(1, Qt::Vertical, QStringLiteral("v")));
    QVERIFY(!m.setHeaderData(1, Qt::Horizontal, QStringLiteral("v"), Qt::DisplayRole));
    QVERIFY(m.setHeaderData(1, Qt::Horizontal, QStringLiteral("Wert")));
    QCOMPARE(header.count(), 1);
    QCOMPARE(m.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Wert"));
    QVERIFY(!m.setHeaderData(6, Qt::Horizontal, QStringLiteral("x")));
}

void TestTreeModel::rowAndColumnEditing()
{
    TreeModel m(kHeaders, QStringLiteral("G\n  a\t1\n  b\t2\nH\n"));
    const QModelIndex g = m.index(0, 0);
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QVERIFY(m.insertRows(1, 2, g));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 2);
    QCOMPARE(m.rowCount(g), 4);
    QVERIFY(!m.data(m.index(1, 0, g)).isValid());
    QCOMPARE(text(m, 3, 0, g), QStringLiteral("b"));
    QVERIFY(m.removeRows(1, 2, g));
    QCOMPARE(text(m, 1, 0, g), QStringLiteral("b"));

    QVERIFY(m.insertColumns(1, 1));
    QCOMPARE(m.columnCount(), 7);
    QCOMPARE(text(m, 1, 2, g), QStringLiteral("2"));
    QVERIFY(m.removeColumns(1, 1));
    QCOMPARE(text(m, 1, 1, g), QStringLiteral("2"));

    // Removing every column removes the rows too.
    QVERIFY(m.removeColumns(0, 6));
    QCOMPARE(m.columnCount(), 0);
    QCOMPARE(m.rowCount(), 0);
}

void TestTreeModel::shippedTreeFile()
{
    const QString path = qEnvironmentVariable("KORVEL_SOURCE_DIR") + QStringLiteral("/config/SimConnect/tree_profile.txt");
    QVERIFY(QFile::exists(path));
    TreeModel m(treeHeaders("clscurve"), readTreeProfileText(path));
    QCOMPARE(m.rowCount(), 3);
    const int expected[3] = {4, 15, 15};
    for (int g = 0; g < 3; ++g) {
        const QModelIndex group = m.index(g, 0);
        QCOMPARE(m.rowCount(group), expected[g]);
        for (int r = 0; r < expected[g]; ++r) {
            // Every row fills all six columns, so no value moves into another column.
            for (int c = 0; c < 6; ++c)
                QVERIFY2(!text(m, r, c, group).isEmpty(), qPrintable(QStringLiteral("%1/%2/%3").arg(g).arg(r).arg(c)));
        }
    }
    QCOMPARE(text(m, 0, 0, m.index(0, 0)), QStringLiteral("Hardware_version"));
    QCOMPARE(text(m, 3, 0, m.index(0, 0)), QStringLiteral("Channels_number"));
    QCOMPARE(text(m, 1, 0, m.index(1, 0)), QStringLiteral("Motor_model"));
    QCOMPARE(text(m, 5, 0, m.index(1, 0)), QStringLiteral("force_limit"));
    QCOMPARE(text(m, 5, 2, m.index(1, 0)), QStringLiteral("N"));
    QCOMPARE(text(m, 14, 0, m.index(2, 0)), QStringLiteral("HW_default_speed"));
}

QTEST_GUILESS_MAIN(TestTreeModel)
#include "test_treemodel.moc"
