#include "runtime/runtime_error.h"

#include "base/diagnostics.h"
#include "runtime/zek_proxy.h"

void reportLastRuntimeError() {
  const char* text = zekGetLastErrorMessage_proxy();
  reportError(text ? text : kNoRuntimeErrorText);
}
