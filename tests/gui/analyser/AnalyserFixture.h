// The program's windows with the analyser at hand, and helpers to fill,
// select and read its list.
#pragma once

#include "support/WindowFixture.h"

#include "analyser/TfrmProxy.h"
#include "app/TfrmLeecher.h"
#include "settings/OptionsFile.h"

#include <QComboBox>

#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>

#include <string>
#include <vector>

class AnalyserFixture : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        windows = Start();
        p = windows.proxy.get();
        m = windows.leecher.get();
        // Loopback judges only: the public judges a start would fall back on
        // are left out of the list, and the fallback is off unless a test
        // turns it on.
        p->SetJudgeFallback(false);
        p->cboProxyJudge->clear();
        p->cboProxyJudge->addItem(settings::DefaultProxyJudge);
        p->cboProxyJudge->setEditText(settings::DefaultProxyJudge);
    }

    struct TRecord
    {
        const char *host;
        const char *port;
        qint32 state = analyser::psNone;
        const char *remote = "";
        const char *speed = "";
    };
    void Fill(std::initializer_list<TRecord> records)
    {
        for (const TRecord &r : records) {
            analyser::TProxyItem item;
            item.Host = r.host;
            item.Port = r.port;
            item.State = r.state;
            item.RemoteAddr = r.remote;
            item.Speed = r.speed;
            p->AnalyserList.push_back(item);
        }
        p->ProxiesChanged();
    }
    void Select(std::initializer_list<int> rows)
    {
        p->lstProxy->clearSelection();
        for (int r : rows)
            p->lstProxy->selectionModel()->select(p->lstProxy->model()->index(r, 0),
                                                  QItemSelectionModel::Select |
                                                      QItemSelectionModel::Rows);
    }
    // "Host:Port" per record, in list order.
    std::vector<std::string> Proxies() const
    {
        std::vector<std::string> out;
        for (const analyser::TProxyItem &item : p->AnalyserList)
            out.push_back(item.Host.toStdString() + ':' + item.Port.toStdString());
        return out;
    }
    // One field of every record.
    std::vector<std::string> Field(analyser::TCompactBytes analyser::TProxyItem::*field) const
    {
        std::vector<std::string> out;
        for (const analyser::TProxyItem &item : p->AnalyserList)
            out.push_back((item.*field).toStdString());
        return out;
    }
    std::string Status() const { return p->lblStatus->text().toStdString(); }

    gui::TWindows windows;
    TfrmProxy *p = nullptr;
    TfrmLeecher *m = nullptr;
};

using Strings = std::vector<std::string>;
