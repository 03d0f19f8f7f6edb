// See the header.
#include "platform/packed_jre.h"
