// Item models that show the main window's record lists by row, without a copy.
//
// The models read the lists at paint time. After records are added or removed
// the owner calls Reset() (the view takes the list's new count); after one
// record changed it calls RowChanged(index), which redraws only that row.
#pragma once

#include "lists/Records.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>

class TSiteListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    TSiteListModel(const leecher::TSiteList &sites, QList<QPixmap> stateImages,
                   QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Reset();
    void RowChanged(int row);

private:
    const leecher::TSiteList &FSites;
    QList<QPixmap> FImages;
};

class TProxyListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TProxyListModel(const leecher::TProxyList &proxies, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Reset();
    // The list only grew at its end (a page's proxies were added): the view
    // takes the new rows without rebuilding the ones it has, which keeps
    // runs that add to a list of hundreds of thousands of proxies fast.
    void RowsAppended();
    void RowChanged(int row);

private:
    const leecher::TProxyList &FProxies;
    int FShown = 0; // rows the view knows of
};
