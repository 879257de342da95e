#pragma once
// A guarded region of a cleanup driver: a failure inside is reported as one outcome and ends the
// region. A failure of the report itself is not caught here; it leaves to the enclosing region.

#include <exception>
#include <string>
#include <utility>

#include "errors/msix_exception.h"
#include "errors/outcome_reporter.h"
#include "platform/projection/hresult_error.h"

namespace halvern {

// The values an outcome is reported with.
struct OutcomeSubject {
    EventKind event_kind;
    bool machine_wide;
    const std::u16string& app_name;
    const std::u16string& package_family_name;
    const std::u16string& version;
};

// Runs body; returns true when it completed, false when it raised and the failure was reported.
template <typename Body>
bool RunGuarded(OutcomeReporter& reporter, const OutcomeSubject& subject, Body&& body) {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const MSIXException& error) {
        reporter.ReportMSIXFailure(subject.event_kind, subject.machine_wide, subject.app_name,
                                   subject.package_family_name, subject.version, error);
    } catch (const projection::hresult_error& error) {
        reporter.ReportHresultFailure(subject.event_kind, subject.machine_wide, subject.app_name,
                                      subject.package_family_name, subject.version, error);
    } catch (const std::exception& error) {
        reporter.ReportStdFailure(subject.event_kind, subject.machine_wide, subject.app_name,
                                  subject.package_family_name, subject.version, error);
    }
    return false;
}

inline void ReportSuccess(OutcomeReporter& reporter, const OutcomeSubject& subject) {
    reporter.ReportSuccess(subject.event_kind, subject.machine_wide, subject.app_name,
                           subject.package_family_name, subject.version);
}

}  // namespace halvern
