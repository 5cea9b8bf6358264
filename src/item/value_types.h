// The value types items deal in: which values an item, a temporary item or a
// calculation may hold, and the type index tables of the project file.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/variant.h"

namespace tavrix {

// True for EMPTY, NULL, BOOL, I1, UI1, I2, UI2, I4, UI4, I8, UI8, R4, R8, BSTR,
// DATE and CY; arrays of BOOL, I1, UI1, I2, UI2, I4, UI4, I8, UI8, R4, R8,
// BSTR, DATE or CY; and arrays of VARIANT whose every element is a supported
// scalar. By-reference values are not supported. Putting another value gives
// TVX_E_UNSUPPORTED_TYPE (0x80520003).
bool IsSupportedValue(const Variant& value);
// Whether values of type `vt` may be supported: IsSupportedValue's test of the
// type alone (the elements of an array of VARIANT are not known here).
bool IsSupportedValueType(VARTYPE vt);

// The requested read and write types (m_vtRequest, m_vtRequestW) by their
// project index 0..14: BOOL, I1, UI1, I2, UI2, I4, UI4, R4, R8, BSTR, DATE, CY,
// VARIANT, I8, UI8. nullopt outside the table.
std::optional<VARTYPE> RequestTypeFromIndex(int32_t index);

// The initial-data types (m_vtInitDataType) by their project index 0..28:
// 0..11 as the requested types (BOOL .. CY), 12 I8, 13 UI8, then arrays: 14
// BOOL, 15 I1, 16 UI1, 17 I2, 18 UI2, 19 I4, 20 UI4, 21 I8, 22 UI8, 23 R4,
// 24 R8, 25 BSTR, 26 DATE, 27 CY, 28 VARIANT. nullopt outside the table.
std::optional<VARTYPE> InitDataTypeFromIndex(int32_t index);

}  // namespace tavrix
