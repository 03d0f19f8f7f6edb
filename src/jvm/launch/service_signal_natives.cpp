// The runtime library's natives for the service process's signals.
#include "jvm/launch/service_signal_natives.h"

#include "config/run_settings.h"
#include "config/service_signals.h"
#include "platform/diagnostic_log.h"

#include <windows.h>

namespace {

jint JNICALL channels(JNIEnv*, jclass)
{
    const ServiceSignalHandles& signals = serviceSignals();
    return (signals.alive != nullptr ? 1 : 0) | (signals.dumpRequest != nullptr ? 2 : 0);
}

void JNICALL signalAlive(JNIEnv*, jclass)
{
    if (serviceSignals().alive != nullptr) {
        SetEvent(serviceSignals().alive);
    }
}

// Blocks the runtime library's dump thread in native code, where it holds up no safepoint.
jboolean JNICALL awaitDumpRequest(JNIEnv*, jclass)
{
    const HANDLE request = serviceSignals().dumpRequest;
    return request != nullptr && WaitForSingleObject(request, INFINITE) == WAIT_OBJECT_0 ? JNI_TRUE : JNI_FALSE;
}

void JNICALL dumpTaken(JNIEnv*, jclass)
{
    if (serviceSignals().dumpDone != nullptr) {
        SetEvent(serviceSignals().dumpDone);
    }
}

} // namespace

void registerServiceSignalNatives(JNIEnv* env)
{
    if (serviceSignals().dumpRequest == nullptr) {
        return;
    }
    if (flavour == 'd') {
        logMessage("the deploykit runtime signals nothing: the service process neither watches nor dumps it");
        return;
    }
    jclass signalsClass = env->FindClass(kServiceSignalsClass);
    if (signalsClass == nullptr) {
        env->ExceptionClear();
        logMessage("the runtime library has no %s (an older one): the service process neither watches nor dumps it",
                   kServiceSignalsClass);
        return;
    }
    JNINativeMethod methods[] = {
        {const_cast<char*>("channels"), const_cast<char*>("()I"), reinterpret_cast<void*>(&channels)},
        {const_cast<char*>("signalAlive"), const_cast<char*>("()V"), reinterpret_cast<void*>(&signalAlive)},
        {const_cast<char*>("awaitDumpRequestNative"), const_cast<char*>("()Z"),
         reinterpret_cast<void*>(&awaitDumpRequest)},
        {const_cast<char*>("dumpTakenNative"), const_cast<char*>("()V"), reinterpret_cast<void*>(&dumpTaken)},
    };
    if (env->RegisterNatives(signalsClass, methods, sizeof methods / sizeof methods[0]) != JNI_OK) {
        env->ExceptionClear();
        logMessage("the service signals' natives could not be registered: the service process neither watches "
                   "nor dumps the application");
    } else {
        logMessage("service signals' natives registered");
    }
    env->DeleteLocalRef(signalsClass);
}
