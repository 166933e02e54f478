// How containers save and load the control with their forms. The control keeps no properties:
// every instance starts the same, so saving writes nothing, loading reads nothing, and the control
// is never dirty. Containers still need the interfaces to place it on a form at all. Part of the
// control's identity: IUnknown goes to the control.
#pragma once

#include <ocidl.h>

#include "ComObject.h"

namespace kestrel {

class Persistence final : public SharedIdentity<IPersistStreamInit, IPersistPropertyBag> {
public:
    explicit Persistence(IUnknown& owner) : SharedIdentity(owner) {}
    ~Persistence() = default;

    // IPersist, for both
    STDMETHODIMP GetClassID(CLSID* clsid) override;

    // IPersistStreamInit
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* stream) override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;

    // IPersistPropertyBag (InitNew is shared with IPersistStreamInit)
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* errorLog) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAllProperties) override;
};

}  // namespace kestrel
