#pragma once
// One shared journal of calls made on several fakes, so a test can assert the order in which
// Corvane used different services (activation policy before the status item, and so on).

#include <algorithm>
#include <string>
#include <vector>

namespace corvane::testing {

struct CallLog {
    std::vector<std::string> calls;

    void record(std::string call) { calls.push_back(std::move(call)); }
    bool contains(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    // The calls that start with prefix, in order.
    std::vector<std::string> matching(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& call : calls) {
            if (call.rfind(prefix, 0) == 0)
                found.push_back(call);
        }
        return found;
    }
};

} // namespace corvane::testing
