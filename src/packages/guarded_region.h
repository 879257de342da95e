#pragma once
// A guarded region of a cleanup driver: a failure inside is reported as the subject's one outcome and ends
// the region. A failure of the report itself is not caught here; it leaves to the enclosing region.

#include "errors/catch_failure.h"
#include "errors/outcome_events.h"

namespace halvern {

// Each caught failure goes to the report for its type; the region then has not done its work.
struct FailureReport {
    bool operator()(const MSIXException& error) const {
        ReportMSIXFailure(platform, subject, error);
        return false;
    }
    bool operator()(const projection::hresult_error& error) const {
        ReportHresultFailure(platform, subject, error);
        return false;
    }
    bool operator()(const std::exception& error) const {
        ReportStdFailure(platform, subject, error);
        return false;
    }

    Platform& platform;
    const OutcomeSubject& subject;
};

// The body's result (whether it did its work), or false once a failure it raised has been reported.
template <typename Body>
bool RunGuarded(Platform& platform, const OutcomeSubject& subject, Body&& body) {
    return CatchFailure(std::forward<Body>(body), FailureReport{platform, subject});
}

}  // namespace halvern
