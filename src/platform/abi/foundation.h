#pragma once
// Windows.Foundation interfaces at the binary level: the asynchronous deployment operation, its
// completion handler, and the collection iterators. mingw-w64's own declarations of these are
// unusable (wrong iterator ABI, missing IAsyncOperationWithProgress), hence ours.

#include <cstdint>

#include "platform/abi/base.h"

namespace halvern::abi {

enum AsyncStatus : std::int32_t {
    AsyncStatusStarted = 0,
    AsyncStatusCompleted = 1,
    AsyncStatusCanceled = 2,
    AsyncStatusError = 3,
};

struct IAsyncInfoVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_Id)(void* self, std::uint32_t* id);
    hresult(HALVERN_ABI_CALL* get_Status)(void* self, AsyncStatus* status);
    hresult(HALVERN_ABI_CALL* get_ErrorCode)(void* self, hresult* error);
    hresult(HALVERN_ABI_CALL* Cancel)(void* self);
    hresult(HALVERN_ABI_CALL* Close)(void* self);
};
struct IAsyncInfo {
    const IAsyncInfoVtbl* lpVtbl;
};
HALVERN_ABI_IID(IAsyncInfo, "00000036-0000-0000-c000-000000000046");

// IIterable<T> and IIterator<T>, for an element delivered as a pointer to its default interface.
template <typename Element>
struct IIterator;

template <typename Element>
struct IIteratorVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* get_Current)(IIterator<Element>* self, Element** current);
    hresult(HALVERN_ABI_CALL* get_HasCurrent)(IIterator<Element>* self, boolean* has_current);
    hresult(HALVERN_ABI_CALL* MoveNext)(IIterator<Element>* self, boolean* has_current);
    hresult(HALVERN_ABI_CALL* GetMany)(IIterator<Element>* self, std::uint32_t capacity, Element** items,
                                       std::uint32_t* actual);
};
template <typename Element>
struct IIterator {
    const IIteratorVtbl<Element>* lpVtbl;
};

template <typename Element>
struct IIterable;

template <typename Element>
struct IIterableVtbl {
    IInspectableVtbl inspectable;
    hresult(HALVERN_ABI_CALL* First)(IIterable<Element>* self, IIterator<Element>** first);
};
template <typename Element>
struct IIterable {
    const IIterableVtbl<Element>* lpVtbl;
};

// The generic interfaces' own ids: the instantiations' ids are derived from them.
namespace generic_iids {
constexpr guid kIIterable = make_guid("faa585ea-6214-4217-afda-7f46de5869b3");
constexpr guid kIIterator = make_guid("6a79e863-4300-459a-9966-cbb660963ee1");
constexpr guid kIAsyncOperationWithProgress = make_guid("b5d036d7-e297-498f-ba60-0289e76e23dd");
constexpr guid kAsyncOperationWithProgressCompletedHandler =
    make_guid("e85df41d-6aa7-46e3-a8e2-f009d840c627");
}  // namespace generic_iids

}  // namespace halvern::abi
