#include "calc/calc_install.h"

#include "calc/calc_items.h"
#include "controller/controller.h"
#include "item/item.h"

namespace tavrix {

void InstallCalculations() {
  ItemCalcFactory::Instance().setup = [](CTavrixItem& item, const ItemCalcSetting& setting,
                                         std::unique_ptr<IItemCalculation>* out) {
    auto calculation = std::make_unique<CTavrixCalcItem>();
    const HRESULT hr = calculation->Setup(&item, setting.code, setting.operand);
    if (hr == S_OK) *out = std::move(calculation);
    return hr;
  };
  ControllerParts::Instance().createCalculations =
      [](CTavrixController& controller, const std::vector<ControllerCalcInfo>& definitions,
         std::unique_ptr<ICalculationList>* out) {
        auto lines = std::make_unique<CalculationLines>(controller.name());
        const HRESULT hr = BuildCalculations(controller, definitions, lines.get());
        *out = std::move(lines);
        return hr;
      };
}

}  // namespace tavrix
