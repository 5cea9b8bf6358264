// The values a trigger tree reads from a controller by name
// ("$Controller.<name>$") and the fields of a controller message
// ("$Message.<name>$"), numbered in the order below.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"
#include "platform/variant.h"
#include "usertable/db_column_info.h"

namespace tavrix {

class CTavrixController;
class IZeltMessage;

// Controller values: Index 0, Name 1, Description 2, State 3, Count 4,
// ScanTimes0..2 5..7, Tag 8, SettingData0..20 9..29, TriggerInitState 30,
// TriggerErrorActions 31, ExternalFunctionsStatus 32.
inline constexpr int32_t kControllerValueCount = 33;
// The number of a controller value name (matched without regard to case),
// or -1.
int32_t ControllerValueNumber(std::string_view name);
// Reads value `number` of `controller` as its automation property of that
// name does; E_INVALIDARG for a number out of range. Takes none of the
// controller's outer locks, so any controller's tree may read any controller.
HRESULT ReadControllerValue(CTavrixController& controller, int32_t number, Variant* out);

// The two functions above, for the columns of user-defined tables.
ColumnReaders ControllerColumnReaders();

// Message fields: DATETIME 0, DESCRIPTION 1, DESTINATION 2, NUMBER 3,
// SOURCE 4, VALUE 5.
int32_t MessageFieldNumber(std::string_view name);
HRESULT ReadMessageField(IZeltMessage& message, int32_t number, Variant* out);

}  // namespace tavrix
