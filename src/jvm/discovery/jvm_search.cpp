// See the header.
#include "jvm/discovery/jvm_search.h"
