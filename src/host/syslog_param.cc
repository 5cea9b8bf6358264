#include "host/syslog_param.h"

#include <optional>
#include <string>
#include <vector>

#include "host/ipv4_text.h"
#include "platform/text.h"

namespace tavrix {
namespace {

struct Pair {
  std::string_view key;
  std::string_view value;
};

char CloserOf(char c) {
  switch (c) {
    case '(': return ')';
    case '<': return '>';
    case '[': return ']';
    case '{': return '}';
    default: return 0;
  }
}

bool IsCloser(char c) { return c == ')' || c == '>' || c == ']' || c == '}'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Takes off one bracket pair that encloses the whole value.
std::string_view Unbracket(std::string_view v) {
  if (v.size() < 2 || CloserOf(v.front()) == 0) return v;
  std::string stack;
  for (size_t i = 0; i < v.size(); ++i) {
    if (CloserOf(v[i]) != 0) {
      stack.push_back(CloserOf(v[i]));
    } else if (IsCloser(v[i])) {
      stack.pop_back();  // balanced: checked by Split
      if (stack.empty()) return i == v.size() - 1 ? Trim(v.substr(1, v.size() - 2)) : v;
    }
  }
  return v;
}

// Splits the text into pairs; E_FAIL for unbalanced brackets, a pair with
// two "=" or with none.
HRESULT Split(std::string_view text, std::vector<Pair>* pairs) {
  std::string stack;  // the closers awaited
  size_t start = 0;
  size_t equals = std::string_view::npos;
  int equalsCount = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ',';
    if (CloserOf(c) != 0) {
      stack.push_back(CloserOf(c));
      continue;
    }
    if (IsCloser(c)) {
      if (stack.empty() || stack.back() != c) return E_FAIL;
      stack.pop_back();
      continue;
    }
    if (!stack.empty()) {
      if (i == text.size()) return E_FAIL;  // still open at the end
      continue;
    }
    if (c == '=') {
      if (++equalsCount == 1) equals = i;
      continue;
    }
    if (c != ',') continue;
    const std::string_view item = text.substr(start, i - start);
    if (!Trim(item).empty()) {
      if (equalsCount != 1) return E_FAIL;
      pairs->push_back(Pair{Trim(text.substr(start, equals - start)),
                            Unbracket(Trim(text.substr(equals + 1, i - equals - 1)))});
    }
    start = i + 1;
    equalsCount = 0;
  }
  return S_OK;
}

HRESULT ParsePort(std::string_view text, uint16_t* port) {
  return ParsePortDigits(text, port) == PortParse::kOk ? S_OK : DISP_E_OVERFLOW;
}

HRESULT ParseUnsigned(std::string_view text, uint32_t* value) {
  if (text.empty()) return DISP_E_OVERFLOW;
  uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return DISP_E_OVERFLOW;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > 0xFFFFFFFFu) return DISP_E_OVERFLOW;
  }
  *value = static_cast<uint32_t>(v);
  return S_OK;
}

HRESULT ParseBool(std::string_view text, bool* value) {
  for (std::string_view t : {"true", "yes", "on"}) {
    if (EqualsNoCase(text, t)) {
      *value = true;
      return S_OK;
    }
  }
  for (std::string_view f : {"false", "no", "off"}) {
    if (EqualsNoCase(text, f)) {
      *value = false;
      return S_OK;
    }
  }
  uint32_t n = 0;
  if (ParseUnsigned(text, &n).failed()) return DISP_E_TYPEMISMATCH;
  *value = n != 0;
  return S_OK;
}

// What the keys have given so far; each field may be given once.
class Collector {
 public:
  HRESULT Key(std::string_view key, std::string_view value) {
    if (EqualsNoCase(key, "CodePage")) {
      RETURN_IF_FAILED(Claim(codePageGiven_));
      return ParseUnsigned(value, &param_.codePage);
    }
    if (EqualsNoCase(key, "Conn")) return Destination(value);
    if (EqualsNoCase(key, "Server")) return Destination("ETH:" + std::string(value));
    if (EqualsNoCase(key, "Port")) return SetPort(value, portGiven_, &param_.port);
    if (EqualsNoCase(key, "MyIP")) return SetAddress(value, localAddressGiven_,
                                                     &param_.localAddress);
    if (EqualsNoCase(key, "MyPort")) return SetPort(value, localPortGiven_, &param_.localPort);
    if (EqualsNoCase(key, "UDP")) {
      RETURN_IF_FAILED(Claim(udpGiven_));
      return ParseBool(value, &udp_);
    }
    return S_OK;  // other keys are not ours
  }

  HRESULT Finish(SysLogParam* out) {
    bool formGiven = formGiven_;
    if (udpGiven_) {
      if (!udp_) return E_INVALIDARG;  // the TCP form
      formGiven = true;
    }
    if (!formGiven && portGiven_) return E_INVALIDARG;  // the COM form
    if (!addressGiven_) return TVX_E_SYSLOG_NO_ADDRESS;
    *out = param_;
    return S_OK;
  }

 private:
  static HRESULT Claim(bool& given) {
    if (given) return TVX_E_SYSLOG_DUPLICATE_KEY;
    given = true;
    return S_OK;
  }

  static HRESULT SetPort(std::string_view text, bool& given, uint16_t* port) {
    if (text.empty()) return S_OK;
    RETURN_IF_FAILED(Claim(given));
    return ParsePort(text, port);
  }

  static HRESULT SetAddress(std::string_view text, bool& given, uint32_t* address) {
    if (text.empty()) return S_OK;
    RETURN_IF_FAILED(Claim(given));
    return ParseDottedIpv4(text, address) ? S_OK : E_INVALIDARG;
  }

  // "FORM:address:port:local address:local port".
  HRESULT Destination(std::string_view value) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
      const size_t colon = value.find(':', start);
      fields.push_back(Trim(value.substr(start, colon - start)));
      if (colon == std::string_view::npos) break;
      start = colon + 1;
    }
    const std::string_view form = fields[0];
    if (form.size() < 3 ||
        !(EqualsNoCase(form.substr(0, 3), "eth") || EqualsNoCase(form.substr(0, 3), "udp"))) {
      return E_INVALIDARG;
    }
    if (fields.size() > 5) return E_INVALIDARG;
    RETURN_IF_FAILED(Claim(formGiven_));
    fields.resize(5);
    RETURN_IF_FAILED(SetAddress(fields[1], addressGiven_, &param_.address));
    RETURN_IF_FAILED(SetPort(fields[2], portGiven_, &param_.port));
    RETURN_IF_FAILED(SetAddress(fields[3], localAddressGiven_, &param_.localAddress));
    return SetPort(fields[4], localPortGiven_, &param_.localPort);
  }

  SysLogParam param_;
  bool codePageGiven_ = false;
  bool formGiven_ = false;
  bool addressGiven_ = false;
  bool portGiven_ = false;
  bool localAddressGiven_ = false;
  bool localPortGiven_ = false;
  bool udpGiven_ = false;
  bool udp_ = false;
};

}  // namespace

HRESULT ParseSysLogParam(std::string_view text, SysLogParam* out) {
  if (out == nullptr) return E_INVALIDARG;
  std::vector<Pair> pairs;
  RETURN_IF_FAILED(Split(text, &pairs));
  Collector collector;
  for (const Pair& p : pairs) RETURN_IF_FAILED(collector.Key(p.key, p.value));
  return collector.Finish(out);
}

}  // namespace tavrix
