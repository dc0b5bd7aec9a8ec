// The item model that shows the analyser's list by row, without a copy.
//
// It reads the list at paint time. After records are added, removed or
// reordered the owner calls Reset() (the view takes the list's new count);
// after one record changed it calls RowChanged(index), which redraws only
// that row.
#pragma once

#include "analyser/ProxyItem.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>

class TAnalyserListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // `images` is the image list whose entry State is drawn before a row.
    TAnalyserListModel(const analyser::TAnalyserList &list, QList<QPixmap> images,
                       QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Reset();
    void RowChanged(int row);

private:
    // Country, network, uptime and last good: the text shown, or the tool tip.
    QVariant LaterColumn(const analyser::TProxyItem &item, int column, bool tip) const;

    const analyser::TAnalyserList &FList;
    QList<QPixmap> FImages;
    int FShown = 0; // rows the view knows of
};
