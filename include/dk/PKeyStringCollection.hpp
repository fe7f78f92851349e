// include/dk/PKeyStringCollection.hpp
#pragma once

// PKeyStringCollection lives with the other keyed collections.
#include <dk/PKeyLongCollection.hpp>
