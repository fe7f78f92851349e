// include/dk/PKeyShortCollection.hpp
#pragma once

// PKeyShortCollection lives with the other keyed collections.
#include <dk/PKeyLongCollection.hpp>
