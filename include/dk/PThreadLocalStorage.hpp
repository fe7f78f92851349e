// include/dk/PThreadLocalStorage.hpp
#pragma once
#include <dk/dkExport.hpp>

// One slot of per-thread data: each thread sees its own pointer, null until it sets one. The slot
// does not own what it holds. Made with createInstance and given back with destroyInstance; the
// object itself may be shared by all threads. Every failure is a DKSystemError (message 302).
class DK_API PThreadLocalStorage {
public:
    // A new slot; "TLS instantiation failed" when none can be made (for instance when the
    // process has no slots left).
    static PThreadLocalStorage* createInstance();
    static void destroyInstance(PThreadLocalStorage* storage);

    // A destructor may report "Destroy TLS failed", but never while another exception is in
    // flight.
    virtual ~PThreadLocalStorage() noexcept(false);

    virtual void set(void* value) = 0;
    virtual void* get() const = 0;
    virtual int isValid() const = 0;

protected:
    PThreadLocalStorage() = default;
    PThreadLocalStorage(const PThreadLocalStorage&) = delete;
    PThreadLocalStorage& operator=(const PThreadLocalStorage&) = delete;
};

// The slot on a pthread key. The constructor throws "Create TLS failed" and the system error
// number when no key is left; the nothrow form instead leaves an object that is not valid (set
// then throws "Invalid TLS object", get "Get TLS failed") and remembers the error number.
class DK_API PThreadLocalStoragePosix : public PThreadLocalStorage {
public:
    PThreadLocalStoragePosix();
    struct NoThrow {};
    explicit PThreadLocalStoragePosix(NoThrow);
    ~PThreadLocalStoragePosix() noexcept(false) override;

    void set(void* value) override;     // "Set TLS failed" and the error number when refused
    void* get() const override;
    int isValid() const override { return valid_; }
    int createError() const { return createError_; }   // 0, or why the key could not be made

private:
    unsigned int key_;   // the pthread key, when valid
    int valid_;
    int createError_ = 0;
};
