#include "config/trigger_records.h"

#include <initializer_list>

#include "platform/text.h"

namespace tavrix {
namespace {

template <typename T>
struct Field {
  std::string_view element;
  std::string T::*member;
};

template <typename T>
std::string* FindField(T& record, std::string_view element,
                       std::initializer_list<Field<T>> fields) {
  for (const Field<T>& f : fields) {
    if (EqualsNoCase(f.element, element)) return &(record.*f.member);
  }
  return nullptr;
}

}  // namespace

void ConditionInfo::Clear() { *this = ConditionInfo(); }

std::string* ConditionInfo::TextField(std::string_view element) {
  using C = ConditionInfo;
  return FindField<C>(*this, element,
                      {{"m_strName", &C::m_strName},
                       {"m_lCondition", &C::m_lCondition},
                       {"m_strThreshold", &C::m_strThreshold},
                       {"m_bPrevValue", &C::m_bPrevValue},
                       {"m_bItemValue", &C::m_bItemValue}});
}

void ArgumentInfo::Clear() { *this = ArgumentInfo(); }

std::string* ArgumentInfo::TextField(std::string_view element) {
  using A = ArgumentInfo;
  return FindField<A>(*this, element,
                      {{"ArgumentID", &A::m_strArgumentID},
                       {"Name", &A::m_strName},
                       {"Comment", &A::m_strComment}});
}

void ArgumentValueInfo::Clear() { *this = ArgumentValueInfo(); }

std::string* ArgumentValueInfo::TextField(std::string_view element) {
  using V = ArgumentValueInfo;
  return FindField<V>(*this, element,
                      {{"m_lArgumentValueType", &V::m_lArgumentValueType},
                       {"m_strArgumentValue", &V::m_strArgumentValue}});
}

void ExecuteParamInfo::Clear() { *this = ExecuteParamInfo(); }

std::string* ExecuteParamInfo::TextField(std::string_view element) {
  using E = ExecuteParamInfo;
  return FindField<E>(*this, element,
                      {{"m_strResultItem", &E::m_strResultItem},
                       {"m_strCommand", &E::m_strCommand},
                       {"m_lArgumentType", &E::m_lArgumentType}});
}

}  // namespace tavrix
