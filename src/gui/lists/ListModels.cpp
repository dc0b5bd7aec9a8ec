#include "ListModels.h"

namespace {

bool validRow(const QModelIndex &index, size_t count)
{
    return index.isValid() && index.row() >= 0 && static_cast<size_t>(index.row()) < count;
}

} // namespace

TSiteListModel::TSiteListModel(const leecher::TSiteList &sites, QList<QPixmap> stateImages,
                               QObject *parent)
    : QAbstractTableModel(parent), FSites(sites), FImages(std::move(stateImages))
{
}

int TSiteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FSites.size());
}

int TSiteListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TSiteListModel::data(const QModelIndex &index, int role) const
{
    if (!validRow(index, FSites.size()))
        return {};
    const leecher::TSiteItem &site = FSites[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? QString::fromUtf8(site.URL) : site.Status;
    if (role == Qt::DecorationRole && index.column() == 0 && site.State >= 0 &&
        site.State < FImages.size())
        return FImages[site.State];
    return {};
}

QVariant TSiteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? tr("站点") : tr("状态");
}

void TSiteListModel::Reset()
{
    beginResetModel();
    endResetModel();
}

void TSiteListModel::RowChanged(int row)
{
    if (row >= 0 && static_cast<size_t>(row) < FSites.size())
        Q_EMIT dataChanged(index(row, 0), index(row, 1));
}

TProxyListModel::TProxyListModel(const leecher::TProxyList &proxies, QObject *parent)
    : QAbstractTableModel(parent), FProxies(proxies), FShown(static_cast<int>(proxies.size()))
{
}

int TProxyListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FShown;
}

int TProxyListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TProxyListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !validRow(index, FProxies.size()))
        return {};
    const leecher::TProxyItem &proxy = FProxies[static_cast<size_t>(index.row())];
    return QString::fromUtf8((index.column() == 0 ? proxy.Host : proxy.Port).view());
}

QVariant TProxyListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? tr("代理") : tr("端口");
}

void TProxyListModel::Reset()
{
    beginResetModel();
    FShown = static_cast<int>(FProxies.size());
    endResetModel();
}

void TProxyListModel::RowsAppended()
{
    const int count = static_cast<int>(FProxies.size());
    if (count < FShown) {
        Reset();
        return;
    }
    if (count == FShown)
        return;
    beginInsertRows({}, FShown, count - 1);
    FShown = count;
    endInsertRows();
}

void TProxyListModel::RowChanged(int row)
{
    if (row >= 0 && static_cast<size_t>(row) < FProxies.size())
        Q_EMIT dataChanged(index(row, 0), index(row, 1));
}
