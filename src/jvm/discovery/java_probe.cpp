// See the header.
#include "jvm/discovery/java_probe.h"
