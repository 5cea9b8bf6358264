#include "item/initial_data.h"

#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/safearray.h"

namespace tavrix {

HRESULT ConvertInitialData(std::string_view text, VARTYPE type, LCID lcid, IKivData* kivData,
                           Variant* out) {
  if (!(type & VT_ARRAY)) {
    if (type == VT_BSTR) {
      *out = Variant::Text(text);
      return S_OK;
    }
    return ChangeType(Variant::Text(text), type, out, 0, lcid);
  }
  if (kivData == nullptr) return E_FAIL;
  if (type == (VT_ARRAY | VT_VARIANT)) return kivData->Parse("8204," + std::string(text), out);
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const size_t end = comma == std::string_view::npos ? text.size() : comma;
    parts.push_back(text.substr(start, end - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  Ref<SafeArray> texts = SafeArray::Create1D(VT_BSTR, static_cast<uint32_t>(parts.size()));
  if (!texts) return E_OUTOFMEMORY;
  for (size_t i = 0; i < parts.size(); ++i) (void)texts->Put(i, Variant::Text(parts[i]));
  return kivData->Convert(Variant::Array(std::move(texts)), type, out);
}

}  // namespace tavrix
