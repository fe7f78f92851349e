// src/dk/common/datastore/dkCallback.cpp
//
// The base bodies of the asynchronous result callback and of the user exit: a callback that
// accepts every batch and frees every exception it is given, an exit that changes nothing.

#include <dk/dkCallback.hpp>

#include <dk/DKException.hpp>

dkCallback::dkCallback() = default;
dkCallback::~dkCallback() = default;

void dkCallback::setThreshold(long) {}

long dkCallback::getThreshold() {
    return 0;
}

void dkCallback::cancelQuery() {}

int dkCallback::dataCallback(dkCollection*, int) {
    return 1;
}

void dkCallback::reportException(DKException* e) {
    delete e;
}

dkUserExit::dkUserExit() = default;
dkUserExit::~dkUserExit() = default;

DKNVPair* dkUserExit::preCondition(DKNVPair*, long, long& returnCode) {
    returnCode = 0;
    return nullptr;
}

DKNVPair* dkUserExit::postCondition(DKNVPair*, long, long& returnCode) {
    returnCode = 0;
    return nullptr;
}
