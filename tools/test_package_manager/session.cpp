#include "session.h"

#include <cstdio>

namespace test_package_manager {

abi::hresult Session::Enter(const std::string& call, const std::wstring& arguments) {
    bool null_object = false;
    return EnterForObject(call, null_object, arguments);
}

abi::hresult Session::EnterForObject(const std::string& call, bool& null_object,
                                     const std::wstring& arguments) {
    abi::hresult status = S_OK;
    null_object = false;
    {
        std::lock_guard lock(mutex_);
        const int count = ++calls_[call];
        for (const InjectedFailure& failure : scenario_.failures) {
            if (failure.call == call && (failure.nth == 0 || failure.nth == count)) {
                status = failure.status;
                null_object = failure.null_object;
                break;
            }
        }
    }
    std::wstring line(call.begin(), call.end());
    line += arguments;
    if (status != S_OK) {
        line += L" -> " + Hex(static_cast<std::uint32_t>(status));
    } else if (null_object) {
        line += L" -> null";
    }
    Log(line);
    return status;
}

void Session::Log(const std::wstring& line) {
    std::lock_guard lock(mutex_);
    AppendLine(scenario_.log_path, line);
}

void Session::Persist(const std::wstring& line) {
    std::lock_guard lock(mutex_);
    AppendLine(scenario_.state_path, line);
}

std::wstring Quoted(const std::wstring& text) {
    return L" \"" + Escaped(text) + L"\"";
}

std::wstring Hex(std::uint32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", value);
    return text;
}

}  // namespace test_package_manager
