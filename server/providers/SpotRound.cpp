#include "providers/SpotRound.h"

#include "pricing/Futures.h"

#include <exception>
#include <memory>
#include <optional>

namespace mintlux::server {

namespace {

struct Round {
    std::shared_ptr<QPromise<std::vector<SpotQuote>>> promise;
    std::vector<std::optional<SpotQuote>> quotes;
    std::vector<std::exception_ptr> errors;
    std::size_t outstanding = 0;

    void settle() {
        if (--outstanding > 0) {
            return;
        }
        std::vector<SpotQuote> arrived;
        for (auto& quote : quotes) {
            if (quote) {
                arrived.push_back(std::move(*quote));
            }
        }
        if (!arrived.empty()) {
            Futures::fulfil(*promise, std::move(arrived));
            return;
        }
        for (const std::exception_ptr& error : errors) {
            if (error) {
                Futures::fail(*promise, error);
                return;
            }
        }
    }
};

}  // namespace

QFuture<std::vector<SpotQuote>> fetchSpotRound(
    QObject* context, const std::function<QFuture<SpotQuote>(MetalSeries)>& fetchOne) {
    constexpr auto metals = MetalSeries::allCases();
    auto round = std::make_shared<Round>();
    round->promise = Futures::startedPromise<std::vector<SpotQuote>>();
    round->quotes.resize(metals.size());
    round->errors.resize(metals.size());
    round->outstanding = metals.size();
    QFuture<std::vector<SpotQuote>> future = round->promise->future();
    for (std::size_t i = 0; i < metals.size(); ++i) {
        Futures::whenFinished(
            fetchOne(metals[i]), context,
            [round, i](SpotQuote quote) {
                round->quotes[i] = std::move(quote);
                round->settle();
            },
            [round, i](std::exception_ptr error) {
                round->errors[i] = error;
                round->settle();
            });
    }
    return future;
}

}  // namespace mintlux::server
