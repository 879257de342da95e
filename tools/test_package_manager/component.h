#pragma once
// The test package manager's plumbing: its objects (a reference count and one face per interface), and
// the session that one package manager instance shares with everything it hands out: the scenario, the
// call log and the calls counted for injected failures.

#include <windows.h>
#include <winstring.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/abi/deployment.h"
#include "scenarios/scenario.h"

namespace test_package_manager {

namespace abi = halvern::abi;
using halvern::scenarios::Scenario;

// A text in the log and state files: backslash escapes for NUL, backslash, quote and line breaks.
std::string Escaped(const std::u16string& text);
std::string Quoted(const std::u16string& text);  // ` "text"`, escaped
std::string Hex(std::uint32_t value);
std::u16string TextOf(abi::hstring text);
// One UTF-8 line appended to a file; nothing without a path.
void AppendLine(const std::wstring& path, const std::string& line);

class Session {
  public:
    Session(Scenario played, std::wstring log, std::wstring state)
        : scenario(std::move(played)), log_(std::move(log)), state_(std::move(state)) {}

    // Logs the call and answers the failure injected for its n-th occurrence in the process (S_OK: none).
    // `null_object`, for a call that hands back an object, is set when it is to hand back none.
    abi::hresult Enter(const std::string& call, const std::string& arguments = {},
                       bool* null_object = nullptr);
    void Log(const std::string& line) const { AppendLine(log_, line); }
    // A removal or deprovisioning, for later instances and processes.
    void Persist(const std::string& line) const { AppendLine(state_, line); }

    // A call that hands back an object: entered, then made unless a failure or no object is injected. A
    // make that finds nothing to hand back (an iterator past its end, results not yet there): `refusal`.
    template <typename Interface, typename Make>
    abi::hresult Hand(Interface** out, const std::string& call, const std::string& arguments, Make make,
                      abi::hresult refusal = E_FAIL) {
        *out = nullptr;
        bool null_object = false;
        const abi::hresult status = Enter(call, arguments, &null_object);
        if (status != S_OK || null_object) {
            return status;
        }
        *out = make();
        return *out == nullptr ? refusal : S_OK;
    }
    // A property: entered, then the value unless a failure is injected. A text keeps its embedded NULs.
    template <typename Value, typename Given>
    abi::hresult Read(Value* out, const std::string& call, const std::string& arguments, const Given& value) {
        *out = Value{};
        const abi::hresult status = Enter(call, arguments);
        if constexpr (std::is_same_v<Value, abi::hstring>) {
            return status != S_OK ? status
                                  : ::WindowsCreateString(reinterpret_cast<const wchar_t*>(value.data()),
                                                          static_cast<UINT32>(value.size()), out);
        } else {
            *out = status == S_OK ? value : Value{};
            return status;
        }
    }

    const Scenario scenario;  // with the state file's removals applied

  private:
    const std::wstring log_;
    const std::wstring state_;
};

// HALVERN_TEST_PM_SCENARIO read afresh, or null (and a "scenario error" logged) when it cannot be played.
std::shared_ptr<Session> LoadSession();

// Objects handed out and not yet released, the activation factory aside.
extern std::atomic<long> live_objects;

class Object {
  public:
    // The activation factory is not counted among the live objects.
    explicit Object(std::shared_ptr<Session> session, bool counted = true)
        : session_(std::move(session)), counted_(counted) {
        live_objects += counted_ ? 1 : 0;
    }
    virtual ~Object() { live_objects -= counted_ ? 1 : 0; }

    abi::hresult QueryInterface(const abi::guid& iid, void** out) {
        const abi::hresult status = Asked(iid);
        *out = status == S_OK ? Find(iid) : nullptr;
        if (*out != nullptr) {
            AddRef();
        }
        return *out != nullptr ? S_OK : status == S_OK ? E_NOINTERFACE : status;
    }
    std::uint32_t AddRef() { return ++references_; }
    std::uint32_t Release() {
        const std::uint32_t remaining = --references_;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }
    // Each QueryInterface comes here first: objects that log a query or fail it on demand answer it.
    virtual abi::hresult Asked(const abi::guid&) { return S_OK; }

    // The object behind any of its faces.
    template <typename Self>
    static Self& From(const void* face) {
        return static_cast<Self&>(*static_cast<const Face*>(face)->owner);
    }
    // The face of a new object, with its first reference.
    template <typename Interface>
    Interface* As() {
        return static_cast<Interface*>(Find(abi::iid_of<Interface>()));
    }
    template <typename Interface>
    void Offer(const void* table, bool offered = true) {
        if (offered) {
            faces_.push_back({table, this, abi::iid_of<Interface>()});
        }
    }

  protected:
    const std::shared_ptr<Session> session_;

  private:
    struct Face {
        const void* table;  // what callers see: the table pointer, first
        Object* owner;
        abi::guid iid;
    };
    // The face for the interface, or null; IUnknown and IInspectable: the first face offered.
    void* Find(const abi::guid& iid) {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>()) {
            return &faces_.front();
        }
        const auto face = std::ranges::find(faces_, iid, &Face::iid);
        return face == faces_.end() ? nullptr : &*face;
    }

    std::vector<Face> faces_;
    std::atomic<std::uint32_t> references_{1};
    const bool counted_;
};

// A call's name as a template argument.
template <std::size_t N>
struct Name {
    constexpr Name(const char (&text)[N]) { std::copy_n(text, N, value); }
    char value[N];
};

template <typename Self, typename Result, typename... Parameters, typename... Arguments>
Result Invoke(Result (Self::*method)(Parameters...), const void* face, Arguments... arguments) {
    return (Object::From<Self>(face).*method)(arguments...);
}

// A table slot: kCall<&Class::Method> calls the method on the object behind the face it is called
// through; kNo, for a method the tool never calls, answers E_NOTIMPL. Either fits any signature.
template <auto Method = nullptr>
struct Slot {
    template <typename Result, typename Face, typename... Arguments>
    static Result HALVERN_ABI_CALL Call(Face* face, Arguments... arguments) {
        if constexpr (Method == nullptr) {
            return E_NOTIMPL;
        } else {
            return Invoke(Method, face, arguments...);
        }
    }
    template <typename Result, typename Face, typename... Arguments>
    using Pointer = Result(HALVERN_ABI_CALL*)(Face*, Arguments...);
    template <typename Result, typename Face, typename... Arguments>
    constexpr operator Pointer<Result, Face, Arguments...>() const {
        return &Call<Result, Face, Arguments...>;
    }
};
template <auto Method>
inline constexpr Slot<Method> kCall{};
inline constexpr Slot<> kNo{};

inline constexpr abi::IInspectableVtbl kInspectable{
    {kCall<&Object::QueryInterface>, kCall<&Object::AddRef>, kCall<&Object::Release>}, kNo, kNo, kNo};

}  // namespace test_package_manager
