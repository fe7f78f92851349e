// include/dk/dk.hpp
#pragma once

// The umbrella header: every public header of the library, for programs that want them all.

#include <dk/DKAny.hpp>
#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKEnvironment.hpp>
#include <dk/DKException.hpp>
#include <dk/dkExport.hpp>
#include <dk/DKHandle.hpp>
#include <dk/dkLog.hpp>
#include <dk/DKLogManager.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKQueryException.hpp>
#include <dk/DKString.hpp>
#include <dk/dkThrow.hpp>
#include <dk/DKTrace.hpp>
#include <dk/PBigInteger.hpp>
#include <dk/PCollection.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/PKeyLongCollection.hpp>
#include <dk/PKeyShortCollection.hpp>
#include <dk/PKeyStringCollection.hpp>
#include <dk/PLeadByteTable.hpp>
#include <dk/PMessageText.hpp>
#include <dk/PMutex.hpp>
#include <dk/PParseString.hpp>
#include <dk/PStringId.hpp>
#include <dk/PThreadLocalStorage.hpp>
#include <dk/PVector.hpp>
