// The DLL's entry points: DllGetActivationFactory for "Windows.Management.Deployment.PackageManager",
// and a count of live objects for the tests' leak checks.
#include <map>
#include <mutex>

#include "objects.h"

namespace test_package_manager {
namespace {

constexpr abi::hresult kClassNotRegistered = static_cast<abi::hresult>(0x80040154);

// Reports a scenario that cannot be read where the test will look: the log, and the debug output.
abi::hresult ScenarioProblem(const Scenario& scenario, const std::wstring& problem) {
    AppendLine(scenario.log_path, L"scenario error: " + problem);
    ::OutputDebugStringW((L"test package manager: " + problem + L"\n").c_str());
    return E_FAIL;
}

class FactoryObject final : public ComObject {
  public:
    explicit FactoryObject(bool agile) : ComObject(false), agile_(agile) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IActivationFactory>()) {
            return &face_;
        }
        if (iid == abi::iid_of<abi::IAgileObject>() && agile_) {
            return &face_;
        }
        return nullptr;
    }

    abi::IActivationFactory* face() { return &face_.abi_face; }

    // Each instance reads the scenario afresh, with the state earlier operations left.
    static abi::hresult HALVERN_ABI_CALL ActivateInstance(void*, abi::IInspectable** instance) {
        *instance = nullptr;
        Scenario scenario;
        std::wstring problem;
        if (!LoadScenario(scenario, problem)) {
            return ScenarioProblem(scenario, problem);
        }
        auto session = std::make_shared<Session>(std::move(scenario));
        bool null_object = false;
        const abi::hresult status = session->EnterForObject("ActivateInstance", null_object);
        if (status == S_OK && !null_object) {
            *instance = NewPackageManager(std::move(session));
        }
        return status;
    }

    static constexpr abi::IActivationFactoryVtbl kVtbl{kInspectable, &ActivateInstance};

  private:
    const bool agile_;
    Face<abi::IActivationFactory> face_{MakeFace<abi::IActivationFactory>(&kVtbl, this)};
};

}  // namespace
}  // namespace test_package_manager

using namespace test_package_manager;

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetActivationFactory(HSTRING class_id, abi::IActivationFactory** factory) {
    *factory = nullptr;
    // Worker threads may outlive every reference the caller holds: never unload.
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&DllGetActivationFactory), &self);

    Scenario scenario;
    std::wstring problem;
    if (!LoadScenario(scenario, problem)) {
        return ScenarioProblem(scenario, problem);
    }
    const std::wstring name = TextOf(class_id);
    // Counted per process: the platform calls this once per activation whose factory it keeps no more.
    static std::mutex mutex;
    static int calls = 0;
    abi::hresult status = S_OK;
    {
        std::lock_guard lock(mutex);
        const int count = ++calls;
        for (const InjectedFailure& failure : scenario.failures) {
            if (failure.call == "DllGetActivationFactory" && (failure.nth == 0 || failure.nth == count)) {
                status = failure.status;
                break;
            }
        }
    }
    AppendLine(scenario.log_path,
               L"DllGetActivationFactory" + Quoted(name) +
                   (status != S_OK ? L" -> " + Hex(static_cast<std::uint32_t>(status)) : L""));
    if (status != S_OK) {
        return status;
    }
    if (name != reinterpret_cast<const wchar_t*>(abi::kPackageManagerClass)) {
        return kClassNotRegistered;
    }
    *factory = (new FactoryObject(scenario.agile_factory))->face();
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
    return S_FALSE;
}

// Objects handed out and not yet destroyed (the activation factory aside).
extern "C" __declspec(dllexport) long WINAPI HalvernTestPmLiveObjects() {
    return LiveObjects().load();
}
