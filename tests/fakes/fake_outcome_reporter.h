#pragma once
// Records every outcome report with its values and the details of the exception it was given, runs a
// hook before each, and throws from the reports a test picks (after recording them).

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <typeindex>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "errors/outcome_reporter.h"

namespace halvern::testing {

enum class ReportFunction { ReportSuccess, ReportMSIXFailure, ReportHresultFailure, ReportStdFailure };

struct RecordedReport {
    std::size_t index = 0;  // Position in the report log.
    ReportFunction function{};
    EventKind event_kind{};
    bool machine_wide = false;
    std::u16string app_name;
    std::u16string package_family_name;
    std::u16string version;
    // The exception a failure report was given.
    std::type_index error_type = typeid(void);  // Its dynamic type.
    std::optional<MSIXErrorCode> msix_code;     // ReportMSIXFailure.
    std::int32_t system_error = 0;              // ReportMSIXFailure.
    std::optional<winrt::hresult> hresult;      // ReportHresultFailure.
    std::u16string message;                     // MSIX message or the hresult_error's message.
    std::string what;                           // ReportStdFailure.
    bool threw = false;                         // The report raised instead of returning.
};

class FakeOutcomeReporter final : public OutcomeReporter {
  public:
    std::vector<RecordedReport> reports;
    // Runs before each report is recorded, with its values.
    std::function<void(const RecordedReport&)> before_report;
    // Every matching report is recorded and then raises `error`.
    void ThrowWhen(std::function<bool(const RecordedReport&)> matches, std::exception_ptr error) {
        faults_.push_back(Fault{std::move(matches), std::move(error)});
    }

    std::uint32_t ReportSuccess(EventKind kind, bool machine_wide, const std::u16string& app_name,
                                const std::u16string& family, const std::u16string& version) override {
        return Record(Subject(ReportFunction::ReportSuccess, kind, machine_wide, app_name, family, version));
    }
    std::uint32_t ReportMSIXFailure(EventKind kind, bool machine_wide, const std::u16string& app_name,
                                    const std::u16string& family, const std::u16string& version,
                                    const MSIXException& error) override {
        RecordedReport report =
            Subject(ReportFunction::ReportMSIXFailure, kind, machine_wide, app_name, family, version, error);
        report.msix_code = error.code;
        report.system_error = error.system_error;
        report.message = error.message;
        return Record(std::move(report));
    }
    std::uint32_t ReportHresultFailure(EventKind kind, bool machine_wide, const std::u16string& app_name,
                                       const std::u16string& family, const std::u16string& version,
                                       const winrt::hresult_error& error) override {
        RecordedReport report = Subject(ReportFunction::ReportHresultFailure, kind, machine_wide, app_name,
                                        family, version, error);
        report.hresult = error.code();
        report.message = error.message();
        return Record(std::move(report));
    }
    std::uint32_t ReportStdFailure(EventKind kind, bool machine_wide, const std::u16string& app_name,
                                   const std::u16string& family, const std::u16string& version,
                                   const std::exception& error) override {
        RecordedReport report =
            Subject(ReportFunction::ReportStdFailure, kind, machine_wide, app_name, family, version, error);
        report.what = error.what();
        return Record(std::move(report));
    }

  private:
    struct Fault {
        std::function<bool(const RecordedReport&)> matches;
        std::exception_ptr error;
    };

    template <typename Error = int>
    RecordedReport Subject(ReportFunction function, EventKind kind, bool machine_wide,
                           const std::u16string& app_name, const std::u16string& family,
                           const std::u16string& version, const Error& error = {}) const {
        RecordedReport report;
        report.index = reports.size();
        report.function = function;
        report.event_kind = kind;
        report.machine_wide = machine_wide;
        report.app_name = app_name;
        report.package_family_name = family;
        report.version = version;
        if constexpr (!std::is_same_v<Error, int>) {
            report.error_type = typeid(error);
        }
        return report;
    }

    std::uint32_t Record(RecordedReport report) {
        if (before_report) {
            before_report(report);
        }
        reports.push_back(std::move(report));
        for (const Fault& fault : faults_) {
            if (fault.matches(reports.back())) {
                reports.back().threw = true;
                std::rethrow_exception(fault.error);
            }
        }
        return 0;
    }

    std::vector<Fault> faults_;
};

}  // namespace halvern::testing
