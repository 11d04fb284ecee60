#pragma once

#include "PriceDocuments.h"
#include "PricingApi.h"
#include "UpstreamPoller.h"
#include "http/HttpServer.h"
#include "market/MarketRecorder.h"
#include "storage/PricingStore.h"

#include <memory>

#include <QObject>

namespace mintlux::server {

// The whole service on one event loop: store, recorder, poller, documents and HTTP front.
class PricingService : public QObject {
public:
    struct Options {
        // "live" or "synthetic"; a store keeps the kind it was first used with, so demo
        // prices never end up among real ones.
        QString source = QStringLiteral("live");
        HttpServer::Limits limits;
        UpstreamPoller::Schedule schedule;
    };

    // Loads the store; throws StoreError, also when the store holds the other kind of prices.
    PricingService(std::unique_ptr<PricingStore> store, LiveProviders providers,
                   std::shared_ptr<Clock> clock, Options options, QObject* parent = nullptr);
    ~PricingService() override;

    // Quotes to start from when the store has none recorded (the demo's past week).
    void seedIfEmpty(const std::vector<SpotQuote>& quotes);
    void start();

    HttpServer& http() { return *m_http; }
    MarketRecorder& recorder() { return m_recorder; }
    UpstreamPoller& poller() { return *m_poller; }

private:
    HttpResponse health();

    std::unique_ptr<PricingStore> m_store;
    std::shared_ptr<Clock> m_clock;
    QString m_source;
    MarketRecorder m_recorder;
    PriceDocuments m_documents;
    UpstreamPoller* m_poller;
    PricingApi m_api;
    HttpServer* m_http;
};

}  // namespace mintlux::server
