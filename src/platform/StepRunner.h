// "Report and go on with the next step": a routine written as a sequence of steps runs
// each through one StepRunner, which catches a failure, reports it the way that routine
// reports, and lets the routine continue.
#pragma once
#include <functional>

#include "platform/Error.h"

namespace vcm {

class StepRunner {
public:
    using Reporter = std::function<void(const Error&)>;

    // A runner with no reporter goes on silently; the failure reaches only the debugger output.
    explicit StepRunner(Reporter report = {}) : m_report(std::move(report)) {}

    // Runs one step; true when it completed, false when it failed and was reported.
    template <class Step>
    bool operator()(Step&& step)
    {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (...) {
            Report(CurrentError());
            return false;
        }
    }

    int Failures() const noexcept { return m_failures; }

private:
    void Report(const Error& error) noexcept;

    Reporter m_report;
    int m_failures = 0;
};

}  // namespace vcm
