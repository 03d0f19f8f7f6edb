// The preferred JVM directory: the sub-directory of a runtime's bin directory whose
// jvm.dll the launcher tries before the usual ones (the record preferredJvmDir, the
// descriptor key java.jvm_subdirectory). The launcher reads its name into a buffer of a
// fixed capacity, and the packager refuses a name that would not fit in it. Portable C++.
#pragma once

#include <cstddef>

namespace javaruntime {

// The launcher's buffer for the preferred JVM directory's name, terminator included.
constexpr size_t kPreferredJvmDirCapacity = 200;

} // namespace javaruntime
