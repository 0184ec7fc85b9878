#include "platform/StepRunner.h"

#include "platform/ErrorCodes.h"

namespace vcm {

void StepRunner::Report(const Error& error) noexcept
{
    ++m_failures;
    if (!m_report) {
        DebugReport(error);
        return;
    }
    // A reporter that itself fails (a message box that cannot show) must not stop the routine.
    try {
        m_report(error);
    } catch (...) {
        DebugReport(CurrentError());
    }
}

}  // namespace vcm
