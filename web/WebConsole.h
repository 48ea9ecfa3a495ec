#pragma once
// TWebConsole: the whole program's work. One site monitor per configured site, the HTTP
// server with its API and the pages' live feed; value and site changes of the monitors go
// out on the feed. Stops in order: every site's driver object given back, then Finished.

#include "web/UserStore.h"
#include "web/WebConfig.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>

class THttpServer;
class TLiveFeed;
class TSiteMonitor;
class TTrendCsv;
class TWebApi;

class TWebConsole : public QObject
{
    Q_OBJECT
public:
    TWebConsole(const TWebConfig &config, const TUserStore &users, QObject *parent = nullptr);
    ~TWebConsole() override;

    // Listens and starts the sites; false with the reason when it cannot listen.
    bool Start(QString &problem);
    void Stop(int exitCode = 0);
    // The address pages reach the console at, http(s)://HOST:PORT/.
    QString Url() const;

Q_SIGNALS:
    void Finished(int exitCode);

private:
    void SiteChanged(TSiteMonitor *site);
    void FlushSites();

    TWebConfig FConfig;
    TUserStore FUsers;
    QList<TSiteMonitor *> FSites;
    TLiveFeed *FFeed = nullptr;
    THttpServer *FServer = nullptr;
    TWebApi *FApi = nullptr;
    std::unique_ptr<TTrendCsv> FCsv;
    QSet<TSiteMonitor *> FChangedSites;
    QTimer FSiteFlush;
    bool FStopping = false;
};
