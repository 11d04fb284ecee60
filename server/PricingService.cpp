#include "PricingService.h"

#include "json/JsonWriter.h"

namespace mintlux::server {

namespace {

void optionalDate(JsonWriter& w, std::string_view key, const std::optional<Instant>& t) {
    w.key(key);
    if (t) {
        w.date(*t);
    } else {
        w.null();
    }
}

// Per metal: how its latest daily round went, and for each range the runs of points that came
// from one source, so an operator sees which upstream a chart is drawn from.
void historySources(JsonWriter& w, const MarketRecorder& recorder, const UpstreamPoller& poller) {
    const auto rounds = poller.dailyRounds();
    w.key("history").beginObject();
    for (const MetalSeries metal : MetalSeries::allCases()) {
        const UpstreamPoller::DailyRound& round = rounds[metal.index()];
        w.key(metal.rawValue().toStdString()).beginObject();
        w.key("upstream");
        if (round.upstream.isEmpty()) {
            w.null();
        } else {
            w.string(round.upstream);
        }
        optionalDate(w, "checked", round.finished);
        w.key("fallback").boolean(round.fallback);
        w.key("ranges").beginObject();
        for (const TimeRange range : TimeRange::allCases()) {
            w.key(range.rawValue().toStdString()).beginArray();
            for (const MarketRecorder::SourceRun& run : recorder.historySources(metal, range)) {
                w.beginObject();
                w.key("source").string(run.source);
                w.key("from").date(run.from);
                w.key("to").date(run.to);
                w.key("points").integer(run.points);
                w.endObject();
            }
            w.endArray();
        }
        w.endObject();
        w.endObject();
    }
    w.endObject();
}

}  // namespace

PricingService::PricingService(std::unique_ptr<PricingStore> store, LiveProviders providers,
                               std::shared_ptr<Clock> clock, Options options, QObject* parent)
    : QObject(parent),
      m_store(std::move(store)),
      m_clock(std::move(clock)),
      m_source(options.source),
      m_recorder(*m_store, m_clock),
      m_documents(m_recorder, m_clock),
      m_poller(
          new UpstreamPoller(m_recorder, std::move(providers), m_clock, options.schedule, this)),
      m_api(m_documents, [this] { return health(); }),
      m_http(new HttpServer([this](const HttpRequest& r) { return m_api.handle(r); },
                            options.limits, this)) {
    const auto kind = m_store->metaValue(QStringLiteral("source"));
    if (!kind) {
        m_store->setMetaValue(QStringLiteral("source"), m_source);
    } else if (*kind != m_source) {
        throw StoreError(m_store->location().toStdString() + " holds " + kind->toStdString() +
                         " prices; use another database for " + m_source.toStdString() + " prices");
    }
    m_documents.setUpstreamHealth([this] { return m_poller->health(); });
    // The spot round is the most frequent refresh, so no document outlives it in a cache.
    m_documents.setRefreshSchedule([this] { return m_poller->nextChange(); },
                                   options.schedule.spot);
    m_recorder.setUpstreamOrder(m_poller->dailyUpstreams());
    m_recorder.load();
}

PricingService::~PricingService() {
    // The HTTP front and the poller reach into the members below; they go first.
    delete m_http;
    delete m_poller;
}

void PricingService::seedIfEmpty(const std::vector<SpotQuote>& quotes) {
    if (!m_recorder.hasRecordedQuotes()) {
        m_recorder.applySpot(quotes);
    }
}

void PricingService::start() {
    m_poller->start();
}

HttpResponse PricingService::health() {
    QString dbError = m_recorder.storeError();
    if (dbError.isEmpty()) {
        try {
            m_store->ping();
        } catch (const std::exception& e) {
            dbError = QString::fromUtf8(e.what());
        }
    }
    std::optional<Instant> newest;
    std::optional<Instant> oldest;
    for (const MetalSeries metal : MetalSeries::allCases()) {
        if (const auto q = m_recorder.latest(metal)) {
            newest = newest ? std::max(*newest, q->asOf) : q->asOf;
            oldest = oldest ? std::min(*oldest, q->asOf) : q->asOf;
        }
    }
    const bool stale = !oldest || m_clock->now() >= *oldest + PriceDocuments::kStaleAfter;
    const char* status = !dbError.isEmpty()                 ? "failing"
                         : stale || m_poller->spotFailing() ? "degraded"
                                                            : "ok";
    JsonWriter w(JsonWriter::Dates::milliseconds);
    w.beginObject();
    w.key("status").string(std::string_view(status));
    w.key("source").string(m_source);
    w.key("stale").boolean(stale);
    optionalDate(w, "newest_quote", newest);
    w.key("upstreams").beginArray();
    for (const ProviderHealth& h : m_poller->health()) {
        w.beginObject();
        w.key("name").string(h.name);
        w.key("kind").string(h.kind);
        optionalDate(w, "last_success", h.lastSuccess);
        optionalDate(w, "last_failure", h.lastFailure);
        w.key("last_error");
        if (h.lastError.isEmpty()) {
            w.null();
        } else {
            w.string(h.lastError);
        }
        w.key("consecutive_failures").integer(h.consecutiveFailures);
        w.endObject();
    }
    w.endArray();
    historySources(w, m_recorder, *m_poller);
    w.key("database").beginObject();
    w.key("ok").boolean(dbError.isEmpty());
    w.key("location").string(m_store->location());
    w.key("schema_version").integer(m_store->schemaVersion());
    w.key("error");
    if (dbError.isEmpty()) {
        w.null();
    } else {
        w.string(dbError);
    }
    w.endObject();
    w.endObject();
    return {dbError.isEmpty() ? 200 : 503, w.take(), {}};
}

}  // namespace mintlux::server
