// COM (or COM with OLE, which in-place activation and the clipboard need) on this thread for as
// long as the holder lives: ended only when it was begun.
#pragma once

#include <ole2.h>

namespace kestrel {

class ThreadApartment {
public:
    enum class With { Com, Ole };

    explicit ThreadApartment(With with = With::Com)
        : with_(with),
          result_(with == With::Ole ? OleInitialize(nullptr)
                                    : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ThreadApartment(const ThreadApartment&) = delete;
    ThreadApartment& operator=(const ThreadApartment&) = delete;
    ~ThreadApartment() {
        if (FAILED(result_)) return;
        if (with_ == With::Ole)
            OleUninitialize();
        else
            CoUninitialize();
    }

    // S_OK, S_FALSE when the thread already had it, or the failure.
    HRESULT result() const { return result_; }

private:
    With with_;
    HRESULT result_;
};

}  // namespace kestrel
