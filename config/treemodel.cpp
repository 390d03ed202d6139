#include "treemodel.h"

#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QStatusBar>
#include <QTreeView>

TreeItem::TreeItem(const QVector<QVariant> &data, TreeItem *parent)
    : itemData(data), parentItem(parent)
{
}

TreeItem::~TreeItem()
{
    qDeleteAll(childItems);
}

TreeItem *TreeItem::child(int number)
{
    if (number < 0 || number >= childItems.size())
        return nullptr;
    return childItems.at(number);
}

int TreeItem::childCount() const
{
    return childItems.count();
}

int TreeItem::childNumber() const
{
    if (parentItem)
        return parentItem->childItems.indexOf(const_cast<TreeItem *>(this));
    return 0;
}

int TreeItem::columnCount() const
{
    return itemData.count();
}

QVariant TreeItem::data(int column) const
{
    if (column < 0 || column >= itemData.size())
        return QVariant();
    return itemData.at(column);
}

bool TreeItem::insertChildren(int position, int count, int columns)
{
    if (position < 0 || position > childItems.size())
        return false;
    for (int row = 0; row < count; ++row) {
        QVector<QVariant> data(columns);
        childItems.insert(position, new TreeItem(data, this));
    }
    return true;
}

bool TreeItem::insertColumns(int position, int columns)
{
    if (position < 0 || position > itemData.size())
        return false;
    for (int column = 0; column < columns; ++column)
        itemData.insert(position, QVariant());
    for (TreeItem *child : qAsConst(childItems))
        child->insertColumns(position, columns);
    return true;
}

TreeItem *TreeItem::parent()
{
    return parentItem;
}

bool TreeItem::removeChildren(int position, int count)
{
    if (position < 0 || position + count > childItems.size())
        return false;
    for (int row = 0; row < count; ++row)
        delete childItems.takeAt(position);
    return true;
}

bool TreeItem::removeColumns(int position, int columns)
{
    if (position < 0 || position + columns > itemData.size())
        return false;
    for (int column = 0; column < columns; ++column)
        itemData.remove(position);
    for (TreeItem *child : qAsConst(childItems))
        child->removeColumns(position, columns);
    return true;
}

bool TreeItem::setData(int column, const QVariant &value)
{
    if (column < 0 || column >= itemData.size())
        return false;
    itemData[column] = value;
    return true;
}

TreeModel::TreeModel(const QStringList &headers, const QString &data, QObject *parent)
    : QAbstractItemModel(parent)
{
    QVector<QVariant> rootData;
    rootData.reserve(headers.size());
    for (const QString &header : headers)
        rootData << header;
    rootItem = new TreeItem(rootData);
    setupModelData(data.split(QLatin1Char('\n')), rootItem);
}

TreeModel::~TreeModel()
{
    delete rootItem;
}

TreeItem *TreeModel::getItem(const QModelIndex &index) const
{
    if (index.isValid()) {
        if (auto *item = static_cast<TreeItem *>(index.internalPointer()))
            return item;
    }
    return rootItem;
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return QModelIndex();
    TreeItem *parentItem = getItem(parent);
    if (!parentItem)
        return QModelIndex();
    if (TreeItem *childItem = parentItem->child(row))
        return createIndex(row, column, childItem);
    return QModelIndex();
}

QModelIndex TreeModel::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return QModelIndex();
    TreeItem *childItem = getItem(index);
    TreeItem *parentItem = childItem ? childItem->parent() : nullptr;
    if (parentItem == rootItem || !parentItem)
        return QModelIndex();
    return createIndex(parentItem->childNumber(), 0, parentItem);
}

int TreeModel::rowCount(const QModelIndex &parent) const
{
    const TreeItem *parentItem = getItem(parent);
    return parentItem ? parentItem->childCount() : 0;
}

int TreeModel::columnCount(const QModelIndex &) const
{
    return rootItem->columnCount();
}

QVariant TreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    return getItem(index)->data(index.column());
}

bool TreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole)
        return false;
    TreeItem *item = getItem(index);
    const bool result = item->setData(index.column(), value);
    if (result)
        emit dataChanged(index, index, {Qt::EditRole});
    return result;
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return rootItem->data(section);
    return QVariant();
}

bool TreeModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (role != Qt::EditRole || orientation != Qt::Horizontal)
        return false;
    const bool result = rootItem->setData(section, value);
    if (result)
        emit headerDataChanged(orientation, section, section);
    return result;
}

bool TreeModel::insertRows(int position, int rows, const QModelIndex &parent)
{
    TreeItem *parentItem = getItem(parent);
    beginInsertRows(parent, position, position + rows - 1);
    const bool success = parentItem->insertChildren(position, rows, rootItem->columnCount());
    endInsertRows();
    return success;
}

bool TreeModel::insertColumns(int position, int columns, const QModelIndex &parent)
{
    beginInsertColumns(parent, position, position + columns - 1);
    const bool success = rootItem->insertColumns(position, columns);
    endInsertColumns();
    return success;
}

bool TreeModel::removeRows(int position, int rows, const QModelIndex &parent)
{
    TreeItem *parentItem = getItem(parent);
    beginRemoveRows(parent, position, position + rows - 1);
    const bool success = parentItem->removeChildren(position, rows);
    endRemoveRows();
    return success;
}

bool TreeModel::removeColumns(int position, int columns, const QModelIndex &parent)
{
    beginRemoveColumns(parent, position, position + columns - 1);
    const bool success = rootItem->removeColumns(position, columns);
    endRemoveColumns();
    if (rootItem->columnCount() == 0)
        removeRows(0, rowCount());
    return success;
}

Qt::ItemFlags TreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEditable | QAbstractItemModel::flags(index);
}

void TreeModel::setupModelData(const QStringList &lines, TreeItem *parent)
{
    // Depth is given by leading spaces; a stack of (row, indentation) tracks
    // the rows that later lines may nest under.
    QVector<TreeItem *> parents;
    QVector<int> indentations;
    parents << parent;
    indentations << 0;

    for (const QString &line : lines) {
        int position = 0;
        while (position < line.length() && line.at(position) == QLatin1Char(' '))
            ++position;
        const QString lineData = line.mid(position).trimmed();
        if (lineData.isEmpty())
            continue;

        const QStringList columnStrings = lineData.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        QVector<QVariant> columnData;
        columnData.reserve(columnStrings.size());
        for (const QString &columnString : columnStrings)
            columnData << columnString;

        if (position > indentations.last()) {
            // Nest under the last row of the current level, if there is one.
            if (parents.last()->childCount() > 0) {
                parents << parents.last()->child(parents.last()->childCount() - 1);
                indentations << position;
            }
        } else {
            while (position < indentations.last() && parents.count() > 1) {
                parents.pop_back();
                indentations.pop_back();
            }
        }

        TreeItem *p = parents.last();
        p->insertChildren(p->childCount(), 1, rootItem->columnCount());
        TreeItem *row = p->child(p->childCount() - 1);
        for (int column = 0; column < columnData.size() && column < rootItem->columnCount(); ++column)
            row->setData(column, columnData[column]);
    }
}

QString readTreeProfileText(const QString &path)
{
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        file.close();
    }
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

QStringList treeHeaders(const char *context)
{
    return {QCoreApplication::translate(context, "Name"), QCoreApplication::translate(context, "Value"),
            QCoreApplication::translate(context, "Unit"), QCoreApplication::translate(context, "Min"),
            QCoreApplication::translate(context, "Max"), QCoreApplication::translate(context, "Access")};
}

void showParameterTree(QTreeView *view, QAbstractItemModel *model, const std::function<void()> &expand)
{
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setModel(model);
    for (int column = 0; column < model->columnCount(); ++column)
        view->resizeColumnToContents(column);
    expand();
    QHeaderView *header = view->header();
    const int widths[5] = {200, 90, 140, 60, 60};
    for (int section = 0; section < 5; ++section)
        header->resizeSection(section, widths[section]);
}

void showTreePosition(QTreeView *view, QStatusBar *statusBar, const char *context)
{
    statusBar->setStyleSheet(QStringLiteral("color:black"));
    const QModelIndex current = view->currentIndex();
    if (!current.isValid())
        return;
    view->closePersistentEditor(current);
    const char *text = current.parent().isValid() ? "Position: (%1,%2)" : "Position: (%1,%2) in top level";
    statusBar->showMessage(QCoreApplication::translate(context, text).arg(current.row()).arg(current.column()));
}
