// src/dk/common/workflow/dkWorkFlowMgmt.cpp
//
// The base of a datastore's workflow management: it keeps the datastore it manages for, and
// leaves every workflow operation to a connector's subclass.

#include <dk/dkWorkFlowAction.hpp>

dkWorkFlowMgmt::dkWorkFlowMgmt() : dkWorkFlowMgmt(nullptr) {}

dkWorkFlowMgmt::dkWorkFlowMgmt(dkDatastore* datastore) : datastore_(datastore) {}

dkWorkFlowMgmt::~dkWorkFlowMgmt() = default;

dkDatastore* dkWorkFlowMgmt::getDatastore() { return datastore_; }

void dkWorkFlowMgmt::setDatastore(dkDatastore* datastore) { datastore_ = datastore; }
