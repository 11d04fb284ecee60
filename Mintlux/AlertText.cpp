#include "AlertText.h"

#include "IcuBridge.h"

#include <memory>

#include <unicode/datefmt.h>
#include <unicode/timezone.h>

namespace mintlux::AlertText {

namespace {

std::unique_ptr<icu::DateFormat> dateFormat(icu::DateFormat::EStyle date,
                                            icu::DateFormat::EStyle time, const QString& locale,
                                            const QString& timeZone) {
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateTimeInstance(date, time, IcuBridge::locale(locale)));
    if (format && !timeZone.isEmpty()) {
        format->adoptTimeZone(icu::TimeZone::createTimeZone(IcuBridge::toIcu(timeZone)));
    }
    return format;
}

QString formatted(icu::DateFormat* format, Instant when) {
    if (!format) {
        return {};
    }
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    icu::UnicodeString text;
    format->format(static_cast<UDate>(millis), text);
    return IcuBridge::fromIcu(text);
}

}  // namespace

QString moment(Instant when, Instant now, const QString& locale, const QString& timeZone) {
    const auto day = dateFormat(icu::DateFormat::kShort, icu::DateFormat::kNone, locale, timeZone);
    const bool today = formatted(day.get(), when) == formatted(day.get(), now);
    const auto format = dateFormat(today ? icu::DateFormat::kNone : icu::DateFormat::kMedium,
                                   icu::DateFormat::kShort, locale, timeZone);
    return formatted(format.get(), when);
}

QString condition(const AlertRule& rule, const QString& locale, bool withUnit) {
    switch (rule.condition.value()) {
        case AlertCondition::above:
        case AlertCondition::below:
            return (rule.condition == AlertCondition::above ? QStringLiteral("above ")
                                                            : QStringLiteral("below ")) +
                   PriceFormatter::full(rule.level, rule.currency, locale) +
                   (withUnit ? QStringLiteral(" per ") + rule.unit.displayLabel(false) : QString());
        case AlertCondition::upBy:
        case AlertCondition::downBy:
            return (rule.condition == AlertCondition::upBy ? QStringLiteral("up by ")
                                                           : QStringLiteral("down by ")) +
                   PriceFormatter::percent(rule.level, locale) + QStringLiteral(" today");
    }
    return {};
}

QString describe(const AlertRule& rule, const QString& locale) {
    return rule.metal.displayName() + QLatin1Char(' ') + condition(rule, locale);
}

QString summary(const AlertRule& rule, const QString& locale) {
    return rule.metal.displayName() + QLatin1Char(' ') + condition(rule, locale, false);
}

QString body(const AlertFiring& firing, Instant now, const QString& locale,
             const QString& timeZone) {
    QString text = PriceFormatter::full(firing.price, firing.rule.currency, locale) +
                   QStringLiteral(" per ") + firing.rule.unit.displayLabel(false);
    if (firing.rule.isPercent() && firing.changePercent) {
        const Decimal& change = *firing.changePercent;
        text += QStringLiteral(", ") + (change.isNegative() ? QString() : QStringLiteral("+")) +
                PriceFormatter::percent(change, locale);
    }
    return text + (firing.atOpen ? QStringLiteral(" at the open, ") : QStringLiteral(" at ")) +
           moment(firing.quoteTime, now, locale, timeZone);
}

QString line(const AlertRule& rule, const QString& locale) {
    return describe(rule, locale) +
           (rule.repeating ? QStringLiteral(" \u00B7 repeating") : QStringLiteral(" \u00B7 once"));
}

QString state(const AlertRule& rule, Instant now, const QString& locale, const QString& timeZone) {
    if (!rule.enabled) {
        return QStringLiteral("off");
    }
    if (rule.snoozedUntil && *rule.snoozedUntil > now) {
        return QStringLiteral("snoozed until ") + moment(*rule.snoozedUntil, now, locale, timeZone);
    }
    if (rule.lastFired) {
        return QStringLiteral("fired ") + moment(*rule.lastFired, now, locale, timeZone);
    }
    return rule.armed ? QStringLiteral("armed")
                      : QStringLiteral("waiting for the price to be on the other side");
}

bool canFire(const AlertRule& rule) {
    return rule.enabled && (rule.repeating || !rule.lastFired);
}

}  // namespace mintlux::AlertText
