// src/platform/services/PThreadLocalStorage.cpp
//
// Per-thread slots on pthread keys, for the parts of the library that keep state per thread
// without thread_local (objects made and destroyed at run time). Every failure is reported as a
// DKSystemError with message 302 and a fixed text naming the step that failed.

#include <dk/PThreadLocalStorage.hpp>

#include <dk/DKException.hpp>
#include <dk/DKString.hpp>
#include <dk/dkThrow.hpp>

#include <pthread.h>

#include <exception>
#include <new>
#include <type_traits>

static_assert(std::is_same<pthread_key_t, unsigned int>::value, "a pthread key is kept as unsigned int");

namespace {
constexpr const char* kSource = "platform/PThreadLocalStorage";
constexpr long kMessage = 302;
}  // namespace

PThreadLocalStorage* PThreadLocalStorage::createInstance() {
    PThreadLocalStorage* storage = new (std::nothrow) PThreadLocalStoragePosix(PThreadLocalStoragePosix::NoThrow{});
    if (storage == nullptr || !storage->isValid()) {
        delete storage;
        dkThrowText<DKSystemError>(DKString("TLS instantiation failed"), kMessage, kSource,
                                   "PThreadLocalStorage::createInstance");
    }
    return storage;
}

void PThreadLocalStorage::destroyInstance(PThreadLocalStorage* storage) { delete storage; }

PThreadLocalStorage::~PThreadLocalStorage() noexcept(false) = default;

PThreadLocalStoragePosix::PThreadLocalStoragePosix() : key_(0), valid_(0) {
    int rc = pthread_key_create(&key_, nullptr);
    if (rc != 0) {
        createError_ = rc;
        dkThrowText<DKSystemError>(DKString("Create TLS failed, system error RC = ") + DKString(rc), kMessage, kSource,
                                   "PThreadLocalStoragePosix::PThreadLocalStoragePosix");
    }
    valid_ = 1;
}

PThreadLocalStoragePosix::PThreadLocalStoragePosix(NoThrow) : key_(0), valid_(0) {
    int rc = pthread_key_create(&key_, nullptr);
    if (rc != 0)
        createError_ = rc;
    else
        valid_ = 1;
}

PThreadLocalStoragePosix::~PThreadLocalStoragePosix() noexcept(false) {
    if (!valid_) return;
    valid_ = 0;
    int rc = pthread_key_delete(key_);
    // Throwing while another exception unwinds would end the process; the key is gone either way.
    if (rc != 0 && std::uncaught_exceptions() == 0)
        dkThrowText<DKSystemError>(DKString("Destroy TLS failed, system error RC = ") + DKString(rc), kMessage, kSource,
                                   "PThreadLocalStoragePosix::~PThreadLocalStoragePosix");
}

void PThreadLocalStoragePosix::set(void* value) {
    if (!valid_)
        dkThrowText<DKSystemError>(DKString("Invalid TLS object"), kMessage, kSource, "PThreadLocalStoragePosix::set");
    int rc = pthread_setspecific(key_, value);
    if (rc != 0)
        dkThrowText<DKSystemError>(DKString("Set TLS failed, system error RC = ") + DKString(rc), kMessage, kSource,
                                   "PThreadLocalStoragePosix::set");
}

void* PThreadLocalStoragePosix::get() const {
    // Reading a valid key cannot fail on this system; only a key that never came to be can.
    if (!valid_)
        dkThrowText<DKSystemError>(DKString("Get TLS failed"), kMessage, kSource, "PThreadLocalStoragePosix::get");
    return pthread_getspecific(key_);
}
