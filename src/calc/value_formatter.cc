#include "calc/value_formatter.h"

#include <utility>

#include "platform/mutex.h"

namespace tavrix {
namespace {

struct FormatterSlot {
  Mutex lock;  // guards formatter
  std::shared_ptr<IValueFormatter> formatter GUARDED_BY(lock);
};

FormatterSlot& Slot() {
  static FormatterSlot* slot = new FormatterSlot;  // never destroyed: used until exit
  return *slot;
}

}  // namespace

void SetValueFormatter(std::shared_ptr<IValueFormatter> formatter) {
  FormatterSlot& slot = Slot();
  {
    MutexLock hold(&slot.lock);
    slot.formatter.swap(formatter);
  }
  // The previous formatter is released here, outside the lock: its destructor
  // may take locks of its own.
}

std::shared_ptr<IValueFormatter> CurrentValueFormatter() {
  FormatterSlot& slot = Slot();
  MutexLock hold(&slot.lock);
  return slot.formatter;
}

}  // namespace tavrix
