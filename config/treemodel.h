#pragma once
// The device parameter tree: a group row for the system record and one for
// each force channel, with one row per parameter (name, value, unit, limits,
// access). Rows come from a small indented text file; the views write the
// Value column themselves.

#include <QAbstractItemModel>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>

class QStatusBar;
class QTreeView;

class TreeItem
{
public:
    explicit TreeItem(const QVector<QVariant> &data, TreeItem *parent = nullptr);
    ~TreeItem();

    TreeItem *child(int number);
    int childCount() const;
    int columnCount() const;
    QVariant data(int column) const;
    bool insertChildren(int position, int count, int columns);
    bool insertColumns(int position, int columns);
    TreeItem *parent();
    bool removeChildren(int position, int count);
    bool removeColumns(int position, int columns);
    int childNumber() const;
    bool setData(int column, const QVariant &value);

private:
    QList<TreeItem *> childItems;
    QVector<QVariant> itemData;
    TreeItem *parentItem;
};

class TreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    TreeModel(const QStringList &headers, const QString &data, QObject *parent = nullptr);
    ~TreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    bool insertRows(int position, int rows, const QModelIndex &parent = QModelIndex()) override;
    bool insertColumns(int position, int columns, const QModelIndex &parent = QModelIndex()) override;
    bool removeRows(int position, int rows, const QModelIndex &parent = QModelIndex()) override;
    bool removeColumns(int position, int columns, const QModelIndex &parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void setupModelData(const QStringList &lines, TreeItem *parent);
    TreeItem *getItem(const QModelIndex &index) const;

    TreeItem *rootItem;
};

// Where both tree views read their rows from, relative to the working directory.
inline const char *treeProfilePath() { return "./SimConnect/tree_profile.txt"; }

// The tree text of a file: its bytes up to the first NUL, as UTF-8. A file
// that cannot be opened reads as empty text.
QString readTreeProfileText(const QString &path = QString::fromLatin1(treeProfilePath()));

// The six column titles ("Name", "Value", "Unit", "Min", "Max", "Access"),
// translated in the given context.
QStringList treeHeaders(const char *context);

// Puts a model in a view that cannot edit it: columns fitted to their
// contents, `expand` run, then the first five columns at their fixed widths.
void showParameterTree(QTreeView *view, QAbstractItemModel *model, const std::function<void()> &expand);

// The position of the view's current item in a status bar (the message stays
// until replaced); the translation context is the caller's.
void showTreePosition(QTreeView *view, QStatusBar *statusBar, const char *context);
