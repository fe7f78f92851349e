// include/dk/DKHandle.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// An opaque platform handle with a text naming its kind. The handle is neither owned nor freed;
// copies share it. Not shared between threads without outside locking.
class DK_API DKHandle {
public:
    DKHandle();
    DKHandle(void* handle, const char* type);
    DKHandle(const DKHandle& other);
    DKHandle& operator=(const DKHandle& other);
    virtual ~DKHandle();

    virtual void* handle() const;
    virtual DKString type() const;

private:
    void* handle_;
    DKString type_;
};
