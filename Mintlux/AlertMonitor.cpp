#include "AlertMonitor.h"

#include "AlertText.h"
#include "FeedStatusText.h"
#include "PriceFormatter.h"
#include "platform/DesktopNotifier.h"

#include <unordered_set>
namespace mintlux {

namespace {

const QString kSnoozeAction = QStringLiteral("snooze");
const QString kDefaultAction = QStringLiteral("default");

}  // namespace

AlertMonitor::AlertMonitor(std::shared_ptr<MetalPricingService> service,
                           PreferencesStore& preferences, DesktopNotifier* notifier, Now now,
                           std::function<void(MetalSeries)> openChart, QObject* parent)
    : QObject(parent),
      m_service(std::move(service)),
      m_preferences(preferences),
      m_store(preferences),
      m_notifier(notifier),
      m_now(now ? std::move(now) : [] { return Instant(std::chrono::system_clock::now()); }),
      m_openChart(std::move(openChart)) {
    if (m_notifier) {
        connect(m_notifier, &DesktopNotifier::actionInvoked, this, &AlertMonitor::onAction);
    }
    reload();
}

AlertMonitor::~AlertMonitor() = default;

void AlertMonitor::reload() {
    std::unordered_set<Currency> wanted;
    for (const AlertRule& rule : m_store.rules()) {
        if (rule.enabled) {
            wanted.insert(rule.currency);
        }
    }
    if (!wanted.empty() && m_notifier) {
        m_notifier->start();
    }
    std::erase_if(m_feeds, [&](const auto& feed) { return !wanted.contains(feed.first); });
    for (const Currency currency : wanted) {
        if (m_feeds.contains(currency)) {
            continue;
        }
        Feed& feed = m_feeds[currency];
        feed.stream = m_service->live(currency);
        feed.poll = m_service->keepFresh(currency);
        connect(feed.stream.get(), &LiveStreamBase::available, this,
                [this, currency] { drain(currency); });
    }
}

void AlertMonitor::drain(Currency currency) {
    const auto feed = m_feeds.find(currency);
    if (feed == m_feeds.end()) {
        return;
    }
    pruneRecent();
    std::vector<AlertRule> rules;
    bool read = false;
    bool changed = false;
    std::vector<AlertFiring> firings;
    // Every snapshot in turn: a crossing may lie between two that arrived together.
    while (auto snapshot = feed->second.stream->next()) {
        if (snapshot->empty()) {
            continue;
        }
        if (!std::exchange(read, true)) {
            rules = m_store.rules();
        }
        const Instant now = m_now();
        const FeedHealth health = m_service->health(currency);
        for (const auto& [metal, tick] : *snapshot) {
            const auto pill =
                FeedStatusText::pill(tick.timestamp(), health, m_service->refreshInterval(), now);
            auto result = m_engine.evaluate(rules, tick, pill == FeedStatusText::Pill::live,
                                            pill != FeedStatusText::Pill::closed, now);
            changed = changed || result.rulesChanged;
            std::move(result.firings.begin(), result.firings.end(), std::back_inserter(firings));
        }
    }
    // State first: should delivery fail or the process end, the firing is not repeated.
    if (changed) {
        m_store.setRules(rules);
    }
    for (const AlertFiring& firing : firings) {
        deliver(firing);
    }
}

void AlertMonitor::deliver(const AlertFiring& firing) {
    const QString locale = PriceFormatter::userLocale();
    const QString title = AlertText::summary(firing.rule, locale);
    const QString text = AlertText::body(firing, m_now(), locale);
    std::erase_if(m_recent, [&](const Recent& r) { return r.ruleId == firing.rule.id; });
    m_recent.insert(m_recent.begin(),
                    Recent{firing.rule.id, title + QStringLiteral(": ") + text, m_now()});
    emit recentAlertsChanged();
    if (m_notifier) {
        m_notifier->notify(firing.rule.id, title, text,
                           {{kDefaultAction, QStringLiteral("Open chart")},
                            {kSnoozeAction, QStringLiteral("Snooze 1 hour")}});
    }
}

void AlertMonitor::onAction(const QString& ruleId, const QString& action) {
    auto rule = m_store.rule(ruleId);
    if (!rule) {
        return;
    }
    if (action == kSnoozeAction) {
        rule->snoozedUntil = m_now() + kSnooze;
        m_store.put(*rule);
    } else if (action == kDefaultAction && m_openChart) {
        m_openChart(rule->metal);
    }
}

void AlertMonitor::pruneRecent() {
    const Instant cutoff = m_now() - kRecent;
    if (std::erase_if(m_recent, [&](const Recent& r) { return r.at < cutoff; }) > 0) {
        emit recentAlertsChanged();
    }
}

QStringList AlertMonitor::recentAlerts() const {
    QStringList lines;
    for (const Recent& recent : m_recent) {
        lines << recent.text;
    }
    return lines;
}

QString AlertMonitor::notificationProblem() const {
    return m_notifier ? m_notifier->problem()
                      : QStringLiteral(
                            "Desktop notifications are off: alerts show in the popup "
                            "and the status item's tooltip only.");
}

}  // namespace mintlux
