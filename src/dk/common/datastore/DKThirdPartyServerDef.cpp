// src/dk/common/datastore/DKThirdPartyServerDef.cpp
//
// The record of a server outside the repository; only its construction lives here, every field
// is read and written inline.

#include <dk/DKThirdPartyServerDef.hpp>

DKThirdPartyServerDef::DKThirdPartyServerDef()
    : port_(0), inputContentLength_(0), retention_(0), asyncOperation_(0) {}

DKThirdPartyServerDef::DKThirdPartyServerDef(const DKThirdPartyServerDef& other) = default;

DKThirdPartyServerDef& DKThirdPartyServerDef::operator=(const DKThirdPartyServerDef& other) = default;

DKThirdPartyServerDef::~DKThirdPartyServerDef() = default;
