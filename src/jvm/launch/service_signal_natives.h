// The natives through which the runtime library's threads signal the service process
// (config/service_signals.h): registered on com.quill.runtime.ServiceSignals before the
// application's main, in a service's child that was given the signals.
#pragma once

#include <jni.h>

// Registers the natives when this process was given the service process's signals and
// the runtime library has the class; otherwise logs why nothing is signalled (the
// deploykit flavour's runtime, or an older runtime library jar) and leaves no exception
// pending. The service process watches a child only once it has signalled.
void registerServiceSignalNatives(JNIEnv* env);

// The class the natives go to, and what channels() answers: 1 when the service process
// watches the alive signal, plus 2 for thread dumps.
constexpr char kServiceSignalsClass[] = "com/quill/runtime/ServiceSignals";
