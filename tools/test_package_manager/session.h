#pragma once
// One package manager instance's view of the scenario: what it serves, which calls fail, and the
// log every call is written to. Shared by all objects that instance hands out.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "com_object.h"
#include "scenario.h"

namespace test_package_manager {

class Session {
  public:
    explicit Session(Scenario scenario) : scenario_(std::move(scenario)) {}

    // Counts the call, logs it with its arguments, and returns the status injected for this
    // occurrence (S_OK when none).
    abi::hresult Enter(const std::string& call, const std::wstring& arguments = {});
    // The same for a call that hands back an object: null_object is set when this occurrence is to
    // succeed with none.
    abi::hresult EnterForObject(const std::string& call, bool& null_object,
                                const std::wstring& arguments = {});
    void Log(const std::wstring& line);
    // Records a removal or deprovisioning in the state file, for later instances and processes.
    void Persist(const std::wstring& line);

    const Scenario& scenario() const { return scenario_; }

  private:
    const Scenario scenario_;
    std::mutex mutex_;
    std::map<std::string, int> calls_;
};

// A quoted log argument.
std::wstring Quoted(const std::wstring& text);
std::wstring Hex(std::uint32_t value);

}  // namespace test_package_manager
