// The sixteen functions of the proxy library in the order in which a start calls them, each with
// the condition under which the launcher calls it. A name that is not declared in zek_proxy.h
// does not compile, so this list cannot drift from the declarations.
#pragma once

#include "runtime/zek_proxy.h"

// The proxy library's file name, a needed library of the launcher.
inline constexpr char kProxyLibraryName[] = "libqxzekztvrt.so";

enum class ProxyCallWhen {
  kEveryStart,         // on every start that reaches the runtime and whose runtime calls succeed
  kAppendedArchive,    // when the archive is appended to the executable
  kSidecarArchive,     // when the archive lies beside the executable
  kCompleteMessage,    // before the application's main when there is a complete message, and
                       // whenever the application writes text
  kRuntimeCallFailed,  // only after a runtime call has failed
};

struct ProxyCall {
  const char* name;
  ProxyCallWhen when;
};

namespace proxy_calls_detail {
template <typename Function>
constexpr ProxyCall declared(const char* name, ProxyCallWhen when) {
  return {name, when};
}
}  // namespace proxy_calls_detail

#define KORVEL_PROXY_CALL(function, when) \
  proxy_calls_detail::declared<decltype(function)>(#function, ProxyCallWhen::when)

inline constexpr ProxyCall kProxyCalls[] = {
    KORVEL_PROXY_CALL(zekztvInitialize_proxy, kEveryStart),
    KORVEL_PROXY_CALL(getInitOptionsFromQpaFile_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekInitializeApplication_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekFreeStrArray_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekGetLastErrorMessage_proxy, kRuntimeCallFailed),
    KORVEL_PROXY_CALL(zekRunMain_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekGetEmbeddedQpaStream_proxy, kAppendedArchive),
    KORVEL_PROXY_CALL(zekInitializeComponentInstanceEmbedded_proxy, kAppendedArchive),
    KORVEL_PROXY_CALL(zekDestroyStream_proxy, kAppendedArchive),
    KORVEL_PROXY_CALL(zekInitializeComponentInstanceNonEmbeddedStandalone_proxy, kSidecarArchive),
    KORVEL_PROXY_CALL(zekGetID_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekSetCmdLineUserData_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekWrite_proxy, kCompleteMessage),
    KORVEL_PROXY_CALL(zekMain_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekTerminateInstance_proxy, kEveryStart),
    KORVEL_PROXY_CALL(zekTerminateApplication_proxy, kEveryStart),
};

#undef KORVEL_PROXY_CALL
