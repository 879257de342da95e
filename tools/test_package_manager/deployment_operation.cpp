// The deployment operation (IAsyncOperationWithProgress<DeploymentResult, DeploymentProgress> and
// IAsyncInfo) and its DeploymentResult.
#include <mutex>
#include <utility>

#include "objects.h"

namespace test_package_manager {
namespace {

constexpr abi::hresult kIllegalMethodCall = static_cast<abi::hresult>(0x8000000E);
constexpr abi::hresult kIllegalDelegateAssignment = static_cast<abi::hresult>(0x80000018);

class ResultObject final : public ComObject {
  public:
    ResultObject(std::shared_ptr<Session> session, DeploymentOutcome outcome)
        : session_(std::move(session)), outcome_(std::move(outcome)) {}

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IDeploymentResult>()) {
            return &face_;
        }
        return nullptr;
    }

    static abi::hresult HALVERN_ABI_CALL ErrorText(abi::IDeploymentResult* self, abi::hstring* out) {
        auto* result = From<ResultObject>(self);
        *out = nullptr;
        const abi::hresult status = result->session_->Enter("get_ErrorText");
        return status != S_OK ? status : NewString(result->outcome_.error_text, out);
    }
    static abi::hresult HALVERN_ABI_CALL ActivityId(abi::IDeploymentResult* self, abi::guid* out) {
        *out = {};
        return From<ResultObject>(self)->session_->Enter("get_ActivityId");
    }
    static abi::hresult HALVERN_ABI_CALL ExtendedErrorCode(abi::IDeploymentResult* self, abi::hresult* out) {
        auto* result = From<ResultObject>(self);
        *out = 0;
        const abi::hresult status = result->session_->Enter("get_ExtendedErrorCode");
        if (status == S_OK) {
            *out = result->outcome_.extended_error;
        }
        return status;
    }

    static constexpr abi::IDeploymentResultVtbl kVtbl{kInspectable, &ErrorText, &ActivityId,
                                                      &ExtendedErrorCode};

  private:
    std::shared_ptr<Session> session_;
    const DeploymentOutcome outcome_;
    Face<abi::IDeploymentResult> face_{MakeFace<abi::IDeploymentResult>(&kVtbl, this)};
};

class OperationObject final : public ComObject {
  public:
    OperationObject(std::shared_ptr<Session> session, DeploymentOutcome outcome, std::wstring state_line)
        : session_(std::move(session)), outcome_(std::move(outcome)), state_line_(std::move(state_line)) {
        if (!session_->scenario().complete_later) {
            Complete();
        }
    }

    void* Find(const abi::guid& iid) override {
        if (iid == abi::iid_of<abi::IUnknown>() || iid == abi::iid_of<abi::IInspectable>() ||
            iid == abi::iid_of<abi::IDeploymentOperation>()) {
            return &operation_face_;
        }
        if (iid == abi::iid_of<abi::IAsyncInfo>()) {
            return &info_face_;
        }
        if (iid == abi::iid_of<abi::IAgileObject>()) {
            return &operation_face_;
        }
        return nullptr;
    }

    abi::IDeploymentOperation* face() { return &operation_face_.abi_face; }

    // IDeploymentOperation
    static abi::hresult HALVERN_ABI_CALL PutProgress(abi::IDeploymentOperation* self,
                                                     abi::IDeploymentProgressHandler*) {
        return From<OperationObject>(self)->session_->Enter("put_Progress");
    }
    static abi::hresult HALVERN_ABI_CALL GetProgress(abi::IDeploymentOperation*,
                                                     abi::IDeploymentProgressHandler** handler) {
        *handler = nullptr;
        return E_NOTIMPL;
    }
    static abi::hresult HALVERN_ABI_CALL PutCompleted(abi::IDeploymentOperation* self,
                                                      abi::IDeploymentCompletedHandler* handler) {
        auto* operation = From<OperationObject>(self);
        const abi::hresult status = operation->session_->Enter("put_Completed");
        if (status != S_OK) {
            return status;
        }
        {
            std::lock_guard lock(operation->mutex_);
            if (operation->handler_ != nullptr || handler == nullptr) {
                return kIllegalDelegateAssignment;
            }
            abi::UnknownSlots(handler).AddRef(handler);
            operation->handler_ = handler;
        }
        if (operation->status_ != abi::AsyncStatusStarted) {
            operation->InvokeHandler();  // already complete: the platform calls back at once
            return S_OK;
        }
        operation->AddRef();  // for the worker
        const HANDLE thread = ::CreateThread(nullptr, 0, &Worker, operation, 0, nullptr);
        if (thread == nullptr) {
            Worker(operation);
        } else {
            ::CloseHandle(thread);
        }
        return S_OK;
    }
    static abi::hresult HALVERN_ABI_CALL GetCompleted(abi::IDeploymentOperation*,
                                                      abi::IDeploymentCompletedHandler** handler) {
        *handler = nullptr;
        return E_NOTIMPL;
    }
    static abi::hresult HALVERN_ABI_CALL GetResults(abi::IDeploymentOperation* self,
                                                    abi::IDeploymentResult** out) {
        auto* operation = From<OperationObject>(self);
        *out = nullptr;
        bool null_object = false;
        const abi::hresult status = operation->session_->EnterForObject("GetResults", null_object);
        if (status != S_OK || null_object) {
            return status;
        }
        if (operation->status_ == abi::AsyncStatusStarted) {
            return kIllegalMethodCall;
        }
        auto* result = new ResultObject(operation->session_, operation->outcome_);
        *out = static_cast<abi::IDeploymentResult*>(result->Find(abi::iid_of<abi::IDeploymentResult>()));
        return S_OK;
    }

    // IAsyncInfo
    static abi::hresult HALVERN_ABI_CALL Id(void*, std::uint32_t* id) {
        *id = 1;
        return S_OK;
    }
    static abi::hresult HALVERN_ABI_CALL Status(void* self, abi::AsyncStatus* out) {
        auto* operation = From<OperationObject>(self);
        *out = abi::AsyncStatusStarted;
        const abi::hresult status = operation->session_->Enter("get_Status");
        if (status == S_OK) {
            *out = operation->status_;
        }
        return status;
    }
    static abi::hresult HALVERN_ABI_CALL ErrorCode(void* self, abi::hresult* out) {
        auto* operation = From<OperationObject>(self);
        *out = operation->status_ == abi::AsyncStatusError ? operation->outcome_.extended_error : S_OK;
        return S_OK;
    }
    static abi::hresult HALVERN_ABI_CALL Cancel(void* self) {
        return From<OperationObject>(self)->session_->Enter("Cancel");
    }
    static abi::hresult HALVERN_ABI_CALL Close(void* self) {
        return From<OperationObject>(self)->session_->Enter("Close");
    }

    static constexpr abi::IDeploymentOperationVtbl kOperation{kInspectable,  &PutProgress,  &GetProgress,
                                                              &PutCompleted, &GetCompleted, &GetResults};
    static constexpr abi::IAsyncInfoVtbl kInfo{kInspectable, &Id, &Status, &ErrorCode, &Cancel, &Close};

  private:
    // Applies the outcome: a success changes the package manager's state for everyone after.
    void Complete() {
        if (outcome_.extended_error == 0) {
            session_->Persist(state_line_);
        }
        status_ = outcome_.extended_error == 0 ? abi::AsyncStatusCompleted : abi::AsyncStatusError;
    }

    void InvokeHandler() {
        abi::IDeploymentCompletedHandler* handler = nullptr;
        {
            std::lock_guard lock(mutex_);
            handler = std::exchange(handler_, nullptr);
        }
        const abi::AsyncStatus status = status_;
        session_->Log(L"Invoke " + std::to_wstring(status) +
                      (::GetCurrentThreadId() == creator_thread_ ? L" on the caller's thread"
                                                                 : L" on a worker thread"));
        handler->lpVtbl->Invoke(handler, face(), status);
        abi::UnknownSlots(handler).Release(handler);
    }

    static DWORD WINAPI Worker(void* parameter) {
        auto* operation = static_cast<OperationObject*>(parameter);
        operation->Complete();
        abi::IDeploymentCompletedHandler* handler = nullptr;
        {
            std::lock_guard lock(operation->mutex_);
            handler = std::exchange(operation->handler_, nullptr);
        }
        const abi::AsyncStatus status = operation->status_;
        operation->session_->Log(L"Invoke " + std::to_wstring(status) + L" on a worker thread");
        abi::IDeploymentOperation* face = operation->face();
        // The caller holds the operation until its wait ends, so it outlives the call below; letting go
        // of ours first means no object of the component is left once the caller has released its own.
        operation->Release();
        handler->lpVtbl->Invoke(handler, face, status);
        abi::UnknownSlots(handler).Release(handler);
        return 0;
    }

    std::shared_ptr<Session> session_;
    const DeploymentOutcome outcome_;
    const std::wstring state_line_;
    const DWORD creator_thread_ = ::GetCurrentThreadId();
    std::atomic<abi::AsyncStatus> status_{abi::AsyncStatusStarted};
    std::mutex mutex_;
    abi::IDeploymentCompletedHandler* handler_ = nullptr;
    Face<abi::IDeploymentOperation> operation_face_{MakeFace<abi::IDeploymentOperation>(&kOperation, this)};
    Face<abi::IAsyncInfo> info_face_{MakeFace<abi::IAsyncInfo>(&kInfo, this)};
};

}  // namespace

abi::IDeploymentOperation* NewOperation(std::shared_ptr<Session> session, DeploymentOutcome outcome,
                                        std::wstring state_line) {
    return (new OperationObject(std::move(session), std::move(outcome), std::move(state_line)))->face();
}

}  // namespace test_package_manager
