#pragma once

#include "market/Currency.h"
#include "pricing/Clock.h"

#include <memory>

#include <QObject>

namespace mintlux {

class MetalPricingService;

// The service's poll loop for one currency: a cycle at once, then a sleep of the service's
// current interval measured from the end of each cycle. A child of the service, so it never
// outlives it.
class PollTask final : public QObject {
    Q_OBJECT

public:
    enum class Role {
        main,
        // Polls a currency beside the main loop; skips its fetch while the main loop is on the
        // same currency.
        companion,
    };

    PollTask(MetalPricingService& service, Currency currency, std::shared_ptr<Clock> clock,
             Role role = Role::main);

    Currency currency() const { return m_currency; }

    void begin() { runCycle(); }
    // Ends the loop. A sleep ends at once; a cycle in flight is left to land (and its failure
    // to be logged), after which the task deletes itself.
    void cancel();

private:
    void runCycle();
    void cycleEnded();

    MetalPricingService& m_service;
    Currency m_currency;
    std::shared_ptr<Clock> m_clock;
    Role m_role;
    std::unique_ptr<Clock::Sleep> m_sleep;
    bool m_inFlight = false;
    bool m_cancelled = false;
};

}  // namespace mintlux
