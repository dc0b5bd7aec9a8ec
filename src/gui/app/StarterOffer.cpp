// The main window's offer of the starter site list on a first start.
#include "TfrmLeecher.h"

#include "Dialogs.h"
#include "lists/ListFiles.h"
#include "lists/StarterSites.h"

#include <QLabel>
#include <QPointer>

#include <utility>

void TfrmLeecher::OfferStarterSites()
{
    const QString starter = leecher::FindStarterSites();
    if (!std::exchange(FFirstStart, false) || starter.isEmpty() || !SiteList.empty())
        return;
    // Whatever the answer, Sites.ini exists afterwards: the question is one of
    // the first start only.
    const auto answered = [this, starter](bool yes) {
        leecher::TSiteList sites;
        if (yes && !gui::ReportErrors(this, [&] { leecher::AppendSitesFromFile(starter, sites); }))
            return; // unreadable now: offered again at the next start
        // Into the list first: a Sites.ini that cannot be written loses
        // nothing, the list is written at exit as always.
        if (!sites.empty() && !FRunActive && SiteList.empty()) {
            SiteList = sites;
            SitesChanged();
            ShowStatus(leecher::LoadedSitesText(qsizetype(SiteList.size())));
            lblSite->setText(QString::number(SiteList.size()));
        }
        gui::ReportErrors(this,
                          [&] { leecher::WriteSiteList(leecher::SitesIniPath(FFolder), sites); });
    };
    QPointer<TfrmLeecher> self(this);
    gui::Dialogs().ask(this, QStringLiteral("Vexo"),
                       QStringLiteral("There is no site list yet. Fill it with the starter list "
                                      "of public proxy lists that comes with Vexo?\n\nThe list is "
                                      "yours to change from then on; this is asked only once."),
                       [self, answered](bool yes) {
                           if (self)
                               answered(yes);
                       });
}
