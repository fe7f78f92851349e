// include/dk/PMutex.hpp
#pragma once
#include <dk/dkExport.hpp>

// A recursive mutex: its owner may take it again and must release it as often. Failures are not
// thrown but reported on standard output. Shared between threads by design; not copyable.
class DK_API PMutex {
public:
    PMutex();
    virtual ~PMutex();
    PMutex(const PMutex&) = delete;
    PMutex& operator=(const PMutex&) = delete;

    void lock();     // waits without limit
    void unlock();

private:
    void* handle_;   // the system mutex, owned

};

// A scoped lock on a PMutex it does not own. It counts the locks it holds and releases all of
// them when destroyed. Used by one thread; the mutex it wraps is shared.
class DK_API PMutexWrapper {
public:
    PMutexWrapper(PMutex* mutex, int lockNow = 1);
    virtual ~PMutexWrapper();
    PMutexWrapper(const PMutexWrapper&) = delete;
    PMutexWrapper& operator=(const PMutexWrapper&) = delete;

    void lock();
    void unlock();
    int lockCount() const { return count_; }

private:
    PMutex* mutex_;
    int count_ = 0;
};
