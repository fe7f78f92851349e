// src/dk/common/model/dkDatastoreAccess.hpp
#pragma once

class DKNVPair;
class dkDataObject;
class dkDatastore;

// What a DDO asks of the datastore it is bound to: the single-object add, retrieve, update and
// delete, in the three forms each takes. The data objects sit below the datastore and cannot
// include its header, so they declare here what they call and src/dk/common/datastore/
// dkDatastore.cpp defines it; a declaration and a definition that drift apart fail to link.
// Each call is the datastore's virtual operation of the same name and form, so a connector's
// override answers it.
enum class dkObjectCall { add, retrieve, update, del };

void dkCallDatastore(dkDatastore& datastore, dkObjectCall call, dkDataObject* object, const DKNVPair* parms,
                     long count);
void dkCallDatastore(dkDatastore& datastore, dkObjectCall call, dkDataObject* object, long option);
void dkCallDatastore(dkDatastore& datastore, dkObjectCall call, dkDataObject* object);
