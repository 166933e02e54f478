// The IEnumXXX objects that the servers hand out: a snapshot of items taken when the enumerator
// is made, so that advising or unadvising during an enumeration changes nothing in it. Each item
// is held with its own references (Traits::copy) and each Next hands out new ones.
#pragma once

#include <objbase.h>

#include <new>
#include <span>
#include <vector>

#include "ComError.h"
#include "ComObject.h"
#include "ComPtr.h"

namespace kestrel {

// Items that are interface pointers: one reference per copy.
template <typename Pointer>
struct InterfaceItemTraits {
    static HRESULT copy(Pointer* const& from, Pointer** to) {
        *to = from;
        if (from) from->AddRef();
        return S_OK;
    }
    static void clear(Pointer*& item) {
        if (item) item->Release();
        item = nullptr;
    }
};

// Traits: static HRESULT copy(const Item& from, Item* to); static void clear(Item& item).
template <typename Interface, const IID& kIid, typename Item, typename Traits>
class Enumerator final : public ComObject<Enumerator<Interface, kIid, Item, Traits>, Interface> {
public:
    static std::span<const InterfaceEntry<Enumerator>> interfaces() {
        static const InterfaceEntry<Enumerator> table[] = {
            inherited<Enumerator, Interface>(IID_IUnknown),
            inherited<Enumerator, Interface>(kIid),
        };
        return table;
    }

    // A new enumerator with one reference over copies of the items; owner is kept alive with it.
    static HRESULT create(IUnknown* owner, std::span<const Item> items, Interface** result) {
        RETURN_HR_IF(E_POINTER, !result);
        *result = nullptr;
        auto* made = new (std::nothrow) Enumerator(owner);
        RETURN_IF_NULL_ALLOC(made);
        ComPtr<Interface> held = ComPtr<Interface>::adopt(made);
        try {
            made->items_.reserve(items.size());
        } catch (...) {
            return caughtHresult();
        }
        for (const Item& item : items) {
            Item copy{};
            RETURN_IF_FAILED(Traits::copy(item, &copy));
            made->items_.push_back(copy);
        }
        *result = held.release();
        return S_OK;
    }

    STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) override {
        RETURN_HR_IF(E_POINTER, !items);
        // Only a request for one item may leave out the count of fetched items.
        RETURN_HR_IF(E_INVALIDARG, !fetched && count != 1);
        ULONG done = 0;
        while (done < count && position_ < items_.size()) {
            const HRESULT hr = Traits::copy(items_[position_], &items[done]);
            if (FAILED(hr)) {
                while (done > 0) Traits::clear(items[--done]);
                if (fetched) *fetched = 0;
                return hr;
            }
            ++done;
            ++position_;
        }
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const size_t left = items_.size() - position_;
        if (count > left) {
            position_ = items_.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** clone) override {
        RETURN_HR_IF(E_POINTER, !clone);
        *clone = nullptr;
        ComPtr<Interface> made;
        RETURN_IF_FAILED(create(owner_.get(), items_, made.put()));
        static_cast<Enumerator*>(made.get())->position_ = position_;
        *clone = made.release();
        return S_OK;
    }

private:
    explicit Enumerator(IUnknown* owner) : owner_(owner) {}
    ~Enumerator() override {
        for (Item& item : items_) Traits::clear(item);
    }

    ComPtr<IUnknown> owner_;
    std::vector<Item> items_;
    size_t position_ = 0;
};

}  // namespace kestrel
