#include "AlertMonitor.h"

#include "FeedStatusText.h"
#include "IcuBridge.h"
#include "MenuBarView.h"
#include "PriceFormatter.h"
#include "platform/DesktopNotifier.h"

#include <unordered_set>

#include <unicode/datefmt.h>
#include <unicode/timezone.h>

namespace mintlux {

namespace {

const QString kSnoozeAction = QStringLiteral("snooze");
const QString kDefaultAction = QStringLiteral("default");

QString shortTime(Instant when, const QString& locale, const QString& timeZone) {
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, IcuBridge::locale(locale)));
    if (!format) {
        return {};
    }
    if (!timeZone.isEmpty()) {
        format->adoptTimeZone(icu::TimeZone::createTimeZone(IcuBridge::toIcu(timeZone)));
    }
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    icu::UnicodeString text;
    format->format(static_cast<UDate>(millis), text);
    return IcuBridge::fromIcu(text);
}

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
    const QString title = summary(firing.rule, locale);
    const QString text = body(firing, m_now(), locale);
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

QString AlertMonitor::summary(const AlertRule& rule, const QString& locale) {
    const QString metal = rule.metal.displayName();
    switch (rule.condition) {
        case AlertCondition::above:
            return metal + QStringLiteral(" above ") +
                   PriceFormatter::full(rule.level, rule.currency, locale);
        case AlertCondition::below:
            return metal + QStringLiteral(" below ") +
                   PriceFormatter::full(rule.level, rule.currency, locale);
        case AlertCondition::upBy:
            return metal + QStringLiteral(" up by ") + PriceFormatter::percent(rule.level, locale) +
                   QStringLiteral(" today");
        case AlertCondition::downBy:
            return metal + QStringLiteral(" down by ") +
                   PriceFormatter::percent(rule.level, locale) + QStringLiteral(" today");
    }
    return metal;
}

QString AlertMonitor::body(const AlertFiring& firing, Instant now, const QString& locale,
                           const QString& timeZone) {
    QString text = PriceFormatter::full(firing.price, firing.rule.currency, locale) +
                   QStringLiteral(" per ") + firing.rule.unit.displayLabel(false);
    if (firing.rule.isPercent() && firing.changePercent) {
        const Decimal& change = *firing.changePercent;
        text += QStringLiteral(", ") + (change.isNegative() ? QString() : QStringLiteral("+")) +
                PriceFormatter::percent(change, locale);
    }
    // An old quote names its day too.
    const bool sameDay = firing.quoteTime > now - std::chrono::hours(12);
    const QString when = sameDay
                             ? shortTime(firing.quoteTime, locale, timeZone)
                             : MenuBarView::absoluteTimeString(firing.quoteTime, locale, timeZone);
    text += firing.atOpen ? QStringLiteral(" at the open, ") + when : QStringLiteral(" at ") + when;
    return text;
}

}  // namespace mintlux
