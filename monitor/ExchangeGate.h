#pragma once

#include <condition_variable>
#include <mutex>

namespace kestrum {

// Keeps the connection facts' reading apart from the counters' readings, so that a gateway never
// has both to answer at once and a slow facts answer never delays a counter's time stamp. The
// counter pollers pass together; a facts reading waits for those under way, and holds back new
// ones until it is done. Polls held back go first when it is done: a reading of several facts
// in a row would otherwise keep a poller out for all of them, longer than a rate is held.
class ExchangeGate {
public:
    class PollTurn {
    public:
        explicit PollTurn(ExchangeGate& gate);
        ~PollTurn();
        PollTurn(const PollTurn&) = delete;
        PollTurn& operator=(const PollTurn&) = delete;

    private:
        ExchangeGate& gate_;
    };

    class FactsTurn {
    public:
        explicit FactsTurn(ExchangeGate& gate);
        ~FactsTurn();
        FactsTurn(const FactsTurn&) = delete;
        FactsTurn& operator=(const FactsTurn&) = delete;

    private:
        ExchangeGate& gate_;
    };

    // Polls held back at this moment.
    int pollsWaiting();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    int polls_ = 0;
    bool facts_ = false;
};

} // namespace kestrum
