// See the header.
#include "jvm/discovery/java_version.h"
