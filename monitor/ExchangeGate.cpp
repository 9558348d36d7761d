#include "monitor/ExchangeGate.h"

namespace kestrum {

ExchangeGate::PollTurn::PollTurn(ExchangeGate& gate) : gate_(gate) {
    std::unique_lock lock(gate_.mutex_);
    ++gate_.waiting_;
    gate_.changed_.wait(lock, [this] { return !gate_.facts_; });
    --gate_.waiting_;
    ++gate_.polls_;
    gate_.changed_.notify_all();
}

ExchangeGate::PollTurn::~PollTurn() {
    {
        const std::lock_guard lock(gate_.mutex_);
        --gate_.polls_;
    }
    gate_.changed_.notify_all();
}

// Announced before it waits: polls keep coming twice per refresh period and would otherwise
// keep it waiting for good.
ExchangeGate::FactsTurn::FactsTurn(ExchangeGate& gate) : gate_(gate) {
    std::unique_lock lock(gate_.mutex_);
    gate_.changed_.wait(lock, [this] { return gate_.waiting_ == 0; });
    gate_.facts_ = true;
    gate_.changed_.wait(lock, [this] { return gate_.polls_ == 0; });
}

ExchangeGate::FactsTurn::~FactsTurn() {
    {
        const std::lock_guard lock(gate_.mutex_);
        gate_.facts_ = false;
    }
    gate_.changed_.notify_all();
}

int ExchangeGate::pollsWaiting() {
    const std::lock_guard lock(mutex_);
    return waiting_;
}

} // namespace kestrum
