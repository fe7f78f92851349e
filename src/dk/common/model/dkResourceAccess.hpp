// src/dk/common/model/dkResourceAccess.hpp
#pragma once

class dkDataObject;
class dkDataObjectBase;

// What the data-object roots ask of a resource (protocol 13), which lives in the content layer
// above: the dkDataObject of the resource whose DKDDO half ddoHalf is, null for any other object.
// Defined beside dkResource, through its one cast helper dkAsResource.
const dkDataObject* dkResourceDataObject(const dkDataObjectBase* ddoHalf) noexcept;
