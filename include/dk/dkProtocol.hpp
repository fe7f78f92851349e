// include/dk/dkProtocol.hpp
#pragma once

// The codes a data object answers protocol() with, naming its concrete kind (see
// dkDataObjectBase in dkDataObject.hpp). Callers test these instead of the dynamic type; a class
// that derives from one of these kinds without changing its contract keeps its code.
inline constexpr short DKProtocolDataObjectBase = 0;   // dkDataObjectBase, no concrete kind
inline constexpr short DKProtocolDDOBase = 1;          // DKDDOBase
inline constexpr short DKProtocolXDOBase = 2;          // dkXDOBase, the root of the content objects
inline constexpr short DKProtocolDDO = 5;              // DKDDO
inline constexpr short DKProtocolXDO = 12;             // dkXDO
inline constexpr short DKProtocolResource = 13;        // dkResource, a DDO and a content object at once
