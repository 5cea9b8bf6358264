#include "zelt/error.h"

#include "platform/log.h"

namespace tavrix {
namespace {

thread_local std::string t_lastError;

}  // namespace

HRESULT ZeltFail(HRESULT hr, std::string_view description) {
  t_lastError.assign(description);
  const uint32_t level = hr == TVX_E_ZELT_ALREADY_EXISTS ? 0 : 2;
  Log(level, "Zelt : %s %s\n", description, ResultText(hr));
  return hr;
}

std::string ZeltLastError() { return t_lastError; }

}  // namespace tavrix
