#include "platform/StepRunner.h"

namespace vcm {

void StepRunner::Report(const Error& error) noexcept
{
    ++m_failures;
    if (!m_report)
        return;
    // A reporter that itself fails (a message box that cannot show) must not stop the routine.
    try {
        m_report(error);
    } catch (...) {
    }
}

}  // namespace vcm
