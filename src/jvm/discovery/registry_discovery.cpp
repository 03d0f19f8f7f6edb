// See the header.
#include "jvm/discovery/registry_discovery.h"
