// CompactText: a text setting that costs one pointer while it is empty.
//
// An item keeps about a dozen texts from its project record, and most items
// leave most of them empty (object names, initial data, calculation operands,
// the holder's name). A plant has hundreds of thousands of items, so those
// texts live on the heap only when they hold something.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tavrix {

class CompactText {
 public:
  CompactText() = default;
  CompactText(std::string_view s) { *this = s; }  // NOLINT: a text setting converts freely
  CompactText(const CompactText& o) { *this = o.str(); }
  CompactText(CompactText&&) noexcept = default;
  CompactText& operator=(const CompactText& o) {
    if (this != &o) *this = o.str();
    return *this;
  }
  CompactText& operator=(CompactText&&) noexcept = default;
  CompactText& operator=(std::string_view s) {
    if (s.empty()) {
      text_.reset();
    } else if (text_) {
      text_->assign(s);
    } else {
      text_ = std::make_unique<std::string>(s);
    }
    return *this;
  }

  const std::string& str() const { return text_ ? *text_ : Empty(); }
  operator const std::string&() const { return str(); }  // NOLINT
  operator std::string_view() const { return str(); }    // NOLINT
  bool empty() const { return !text_; }
  size_t size() const { return str().size(); }
  void clear() { text_.reset(); }

  friend bool operator==(const CompactText& a, std::string_view b) { return a.str() == b; }

 private:
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }
  std::unique_ptr<std::string> text_;  // null while empty
};

}  // namespace tavrix
