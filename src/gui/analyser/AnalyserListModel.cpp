#include "AnalyserListModel.h"

#include "analyser/AnalyserSort.h"

#include <QDateTime>

using namespace analyser;

TAnalyserListModel::TAnalyserListModel(const TAnalyserList &list, QList<QPixmap> images,
                                       QObject *parent)
    : QAbstractTableModel(parent), FList(list), FImages(std::move(images)),
      FShown(static_cast<int>(list.size()))
{
}

int TAnalyserListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FShown;
}

int TAnalyserListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : AnalyserColumnCount;
}

QVariant TAnalyserListModel::data(const QModelIndex &index, int role) const
{
    // A row outside the list (it shrank before the view heard of it) stays empty.
    if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= FList.size())
        return {};
    const TProxyItem &p = FList[static_cast<size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == colHost && p.State >= 0 &&
        p.State < FImages.size())
        return FImages[p.State];
    // The tool tip carries the whole text: a narrow column elides a long
    // status ("503 - Service Unavailable") or gateway.
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (index.column() >= colCountry)
        return LaterColumn(p, index.column(), role == Qt::ToolTipRole);
    const TCompactBytes *fields[] = {&p.Host,      &p.Port,  &p.Status, &p.RemoteAddr,
                                     &p.Anonymous, &p.Level, &p.Speed};
    if (index.column() == colType)
        return QString::fromLatin1(net::ProxyTypeName(p.Type));
    if (index.column() < 0 || index.column() >= AnalyserColumnCount)
        return {};
    return QString::fromUtf8(fields[index.column()]->view());
}

QVariant TAnalyserListModel::LaterColumn(const TProxyItem &p, int column, bool tip) const
{
    switch (column) {
    case colCountry:
        // The code in the cell, the country's name in the tool tip.
        return tip && *p.CountryName ? QString::fromUtf8(p.CountryName)
                                     : QString::fromLatin1(p.Country.view());
    case colNetwork:
        if (!p.Asn)
            return {};
        return *p.AsOrg ? QStringLiteral("AS%1 %2").arg(p.Asn).arg(QString::fromUtf8(p.AsOrg))
                        : QStringLiteral("AS%1").arg(p.Asn);
    case colUptime:
        if (!p.Checks)
            return {};
        if (tip)
            return tr("%2 次检查中 %1 次可用").arg(p.Goods).arg(p.Checks);
        return QStringLiteral("%1%").arg(qRound(100.0 * p.Goods / p.Checks));
    case colLastGood:
        if (p.LastGood <= 0)
            return {};
        return QDateTime::fromMSecsSinceEpoch(p.LastGood)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    default:
        return {};
    }
}

QVariant TAnalyserListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const captions[] = {
        QT_TR_NOOP("代理"), QT_TR_NOOP("端口"), QT_TR_NOOP("状态"),   QT_TR_NOOP("网关"),
        QT_TR_NOOP("匿名"), QT_TR_NOOP("等级"), QT_TR_NOOP("速度"),   QT_TR_NOOP("类型"),
        QT_TR_NOOP("国家"), QT_TR_NOOP("网络"), QT_TR_NOOP("可用率"), QT_TR_NOOP("最后可用")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= AnalyserColumnCount)
        return {};
    return tr(captions[section]);
}

void TAnalyserListModel::Reset()
{
    beginResetModel();
    FShown = static_cast<int>(FList.size());
    endResetModel();
}

void TAnalyserListModel::RowChanged(int row)
{
    if (row >= 0 && static_cast<size_t>(row) < FList.size() && row < FShown)
        Q_EMIT dataChanged(index(row, 0), index(row, AnalyserColumnCount - 1));
}
