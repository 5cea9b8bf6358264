// Code page conversion through glibc's iconv. Every call opens its own
// handle and closes it before returning: an iconv_t keeps shift state and
// must not be shared between threads, and glibc caches the loaded converter
// modules itself, so a per-call handle costs little.
#include <iconv.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/text.h"

namespace tavrix {
namespace {

// The iconv name of a code page number.
std::string IconvName(uint32_t page) {
  switch (page) {
    case 65001: return "UTF-8";
    case 932: return "CP932";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 20932: return "EUC-JP";
    case 51932: return "EUC-JP";
    case 54936: return "GB18030";
    default: break;
  }
  if (page >= 28591 && page <= 28599) return "ISO-8859-" + std::to_string(page - 28590);
  return "CP" + std::to_string(page);
}

class IconvHandle {
 public:
  explicit IconvHandle(iconv_t cd) : cd_(cd) {}
  ~IconvHandle() {
    if (valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

HRESULT ConvertCodePage(std::string_view in, uint32_t from, uint32_t to, std::string* out) {
  if (out == nullptr) return E_INVALIDARG;
  IconvHandle cd(iconv_open(IconvName(to).c_str(), IconvName(from).c_str()));
  if (!cd.valid()) return E_INVALIDARG;

  std::string result;
  result.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());  // iconv's signature is not const-correct
  size_t srcLeft = in.size();
  size_t used = 0;
  // Converts the input (flushing: null input), growing the output on E2BIG.
  for (bool flushing = false;;) {
    char* dst = result.data() + used;
    size_t dstLeft = result.size() - used;
    const size_t rc = flushing ? iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft)
                               : iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    used = result.size() - dstLeft;
    if (rc != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;  // writes the closing shift sequence of stateful pages
      continue;
    }
    if (errno != E2BIG) return E_FAIL;  // EILSEQ or EINVAL: bad or truncated input
    result.resize(result.size() * 2);
  }
  result.resize(used);
  *out = std::move(result);
  return S_OK;
}

}  // namespace tavrix
