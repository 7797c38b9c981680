#pragma once
// The journal every recording fake writes into: one line per call, in order. Several fakes may
// share one, so a test can assert the order in which Corvane used different services
// (activation policy before the status item, and so on).

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

struct CallLog {
    std::vector<std::string> calls;
    // Off in benchmarks, so that they measure Corvane rather than the journal.
    bool isRecording = true;

    void record(std::string call) {
        if (isRecording)
            calls.push_back(std::move(call));
    }
    std::vector<std::string> startingWith(std::string_view prefix) const {
        std::vector<std::string> found;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                     [&](const std::string& call) { return call.starts_with(prefix); });
        return found;
    }
    long count(std::string_view call) const { return std::count(calls.begin(), calls.end(), call); }
};

// Base of the fakes that write into a journal when they are given one.
class Recording {
  public:
    explicit Recording(CallLog* log = nullptr) : log_(log) {}

  protected:
    void record(std::string call) const {
        if (log_)
            log_->record(std::move(call));
    }

  private:
    CallLog* log_;
};

} // namespace corvane::testing
