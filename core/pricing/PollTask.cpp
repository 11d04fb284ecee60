#include "pricing/PollTask.h"

#include "pricing/Futures.h"
#include "pricing/MetalPricingService.h"

namespace mintlux {

PollTask::PollTask(MetalPricingService& service, Currency currency, std::shared_ptr<Clock> clock,
                   Role role)
    : QObject(&service),
      m_service(service),
      m_currency(currency),
      m_clock(std::move(clock)),
      m_role(role) {}

void PollTask::cancel() {
    m_cancelled = true;
    m_sleep.reset();
    if (!m_inFlight) {
        deleteLater();
    }
}

void PollTask::runCycle() {
    m_sleep.reset();
    if (m_cancelled) {
        return;
    }
    if (m_role == Role::companion && m_service.isPolling() &&
        m_service.currentCurrency() == m_currency) {
        cycleEnded();
        return;
    }
    m_inFlight = true;
    Futures::whenFinished(
        m_service.refresh(m_currency), this, [this] { cycleEnded(); },
        [this](const std::exception_ptr& error) {
            m_service.logFailure(error);
            cycleEnded();
        });
}

void PollTask::cycleEnded() {
    m_inFlight = false;
    if (m_cancelled) {
        deleteLater();
        return;
    }
    const SleepDuration pause = MetalPricingService::sleepDuration(m_service.refreshInterval());
    m_sleep = m_clock->sleep(pause, [this] { runCycle(); });
}

}  // namespace mintlux
