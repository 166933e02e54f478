// The brick link seam: the one object through which RcxPilot reaches the brick. The link is a COM
// object of its own (TowerLink.dll, or a test's fake registered under the same class), created by
// class identifier and called through IBrickLink. Each call clears the thread's error information
// first, so that a failure carries the link's own description and help file and never a stale
// one; a failed call throws ComError.
#pragma once

#include <IBrickLink.h>
#include <towerlink_tlb.h>

#include "Bstr.h"
#include "ComPtr.h"
#include "Variant.h"

namespace kestrel {

class BrickLinkEventSink;

class BrickLink {
public:
    // Creates the link and connects to its events; throws ComError when either fails.
    BrickLink();
    BrickLink(const BrickLink&) = delete;
    BrickLink& operator=(const BrickLink&) = delete;
    ~BrickLink();

    void getPortName(Bstr& port);
    void openPort(const Bstr& port);
    void closePort();
    long getInfo(long item);
    // Returns the result code, which starts at 0 so that a link that leaves it alone yields 0.
    long executeCommand(BSTR* text, long mode, long& position, VARIANT* reply);
    void queryDatalog(long& start, long& end);
    void readDatalog(long first, long count, Variant& data);
    void setLinkMode(short mode);

private:
    ComPtr<IBrickLink> link_;
    ComPtr<IConnectionPoint> events_;
    DWORD cookie_ = 0;
};

}  // namespace kestrel
