// What a container learns about the control's events: the class's type information with its
// default source (IProvideClassInfo2), and the connection point of that source
// (IConnectionPointContainer). The control raises no events; its source __RcxPilot is empty, but
// containers still connect to it as they do to any control's. Part of the control's identity:
// IUnknown goes to the control.
#pragma once

#include <ocidl.h>

#include "ComObject.h"
#include "ConnectionPoint.h"

namespace kestrel {

class EventSource final : public SharedIdentity<IConnectionPointContainer, IProvideClassInfo2> {
public:
    explicit EventSource(IUnknown& owner);
    ~EventSource() = default;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // For a container that connects through IQuickActivate.
    ConnectionPoint& defaultSource() { return source_; }

private:
    ConnectionPoint source_;
};

}  // namespace kestrel
