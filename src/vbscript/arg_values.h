// ArgValues: the argument values of one call through IDispatch.
//
// Member calls on objects happen in scripts' inner loops; their arguments
// live in the caller's frame rather than on the heap unless there are many.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "platform/variant.h"

namespace tavrix::vbs {

class ArgValues {
 public:
  ArgValues() = default;
  ArgValues(const ArgValues&) = delete;
  ArgValues& operator=(const ArgValues&) = delete;

  // Makes room for n values, all Empty; earlier values are dropped.
  void Reset(size_t n) {
    for (size_t i = 0; i < size_ && i < inline_.size(); ++i) inline_[i] = Variant();
    heap_.clear();
    size_ = n;
    if (n > inline_.size()) heap_.resize(n);
  }
  // Appends a value (the value of a property put).
  void push_back(Variant v) {
    if (size_ < inline_.size() && heap_.empty()) {
      inline_[size_++] = std::move(v);
      return;
    }
    if (heap_.empty()) {
      heap_.reserve(size_ + 1);
      for (size_t i = 0; i < size_; ++i) heap_.push_back(std::move(inline_[i]));
    }
    heap_.push_back(std::move(v));
    ++size_;
  }
  // Drops the last value.
  void pop_back() {
    if (heap_.empty()) {
      inline_[--size_] = Variant();
    } else {
      heap_.pop_back();
      --size_;
    }
  }
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  Variant& operator[](size_t i) { return heap_.empty() ? inline_[i] : heap_[i]; }
  std::span<Variant> span() {
    return heap_.empty() ? std::span<Variant>(inline_.data(), size_)
                         : std::span<Variant>(heap_.data(), size_);
  }
  operator std::span<Variant>() { return span(); }  // NOLINT: passes as the span it is

 private:
  std::array<Variant, 6> inline_;
  std::vector<Variant> heap_;  // all the values once there are more than fit inline
  size_t size_ = 0;
};

}  // namespace tavrix::vbs
