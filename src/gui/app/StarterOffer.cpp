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
        gui::ReportErrors(this, [&] {
            leecher::TSiteList sites;
            if (yes)
                leecher::AppendSitesFromFile(starter, sites);
            leecher::WriteSiteList(leecher::SitesIniPath(FFolder), sites);
            if (sites.empty() || FRunActive || !SiteList.empty())
                return;
            SiteList = std::move(sites);
            SitesChanged();
            lblStatus->setText(leecher::LoadedSitesText(qsizetype(SiteList.size())));
            lblSite->setText(QString::number(SiteList.size()));
        });
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
