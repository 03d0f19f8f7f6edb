// See the header.
#include "jvm/discovery/jvm_library.h"

char jvmHome[kJvmHomeCapacity] = "";
CreateJavaVmFunction createJavaVmEntry = nullptr;
