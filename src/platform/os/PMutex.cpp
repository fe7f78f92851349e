// src/platform/os/PMutex.cpp
//
// The library's own mutex and its scoped lock, on a recursive POSIX mutex: the log manager and
// other owners take it again while holding it, and the wrapper counts so that it releases exactly
// what it took. Errors are printed with the system's return code, never thrown: these locks are
// used while exceptions are being reported.

#include <dk/PMutex.hpp>

#include <pthread.h>

#include <cstdio>

namespace {
void report(const char* what, int rc) {
    std::printf("%s%d\n", what, rc);
    std::fflush(stdout);
}
}  // namespace

PMutex::PMutex() : handle_(new pthread_mutex_t) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(static_cast<pthread_mutex_t*>(handle_), &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) report("error creating mutex. rc: ", rc);
}

PMutex::~PMutex() {
    auto* m = static_cast<pthread_mutex_t*>(handle_);
    pthread_mutex_destroy(m);
    delete m;
}

void PMutex::lock() {
    int rc = pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle_));
    if (rc != 0) report("error locking mutex. rc: ", rc);
}

void PMutex::unlock() {
    int rc = pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle_));
    if (rc != 0) report("error unlocking mutex. rc: ", rc);
}

PMutexWrapper::PMutexWrapper(PMutex* mutex, int lockNow) : mutex_(mutex) {
    if (!mutex_) {
        std::printf("ERROR: invalid mutex passed to PMutexWrapper");
        std::fflush(stdout);
        return;
    }
    if (lockNow != 0) lock();
}

PMutexWrapper::~PMutexWrapper() {
    while (count_ > 0) unlock();
}

void PMutexWrapper::lock() {
    if (!mutex_) return;
    mutex_->lock();
    ++count_;
}

void PMutexWrapper::unlock() {
    if (!mutex_ || count_ == 0) {
        std::printf("ERROR: tried to unlock a mutex that wasn't locked\n");
        std::fflush(stdout);
        return;
    }
    --count_;
    mutex_->unlock();
}
