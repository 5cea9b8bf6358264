#include "zelt/sim_provider.h"

#include <utility>

#include "platform/convert.h"
#include "platform/date.h"
#include "platform/text.h"
#include "zelt/error.h"
#include "zelt/parse_text.h"
#include "zelt/sim_state.h"

namespace tavrix {
namespace {

class SimPoint final : public IZeltPoint {
 public:
  SimPoint(std::shared_ptr<SimState> state, std::shared_ptr<SimCell> cell)
      : state_(std::move(state)), cell_(std::move(cell)) {}

  HRESULT Read(Variant* value, int64_t* utcMicros) override {
    const HRESULT hr = state_->Read(*cell_, value, utcMicros);
    if (hr.failed())
      return ZeltFail(hr, "ZeltProv.Sim: controller '" + state_->name() + "' is offline");
    return hr;
  }

  HRESULT Write(const Variant& value, int64_t* utcMicros) override {
    std::string error;
    const HRESULT hr = state_->Write(*cell_, value, utcMicros, &error);
    if (hr.failed()) return ZeltFail(hr, error);
    return hr;
  }

  std::string Description() const override { return DescribeSimVariable(cell_->shape); }

 private:
  const std::shared_ptr<SimState> state_;
  const std::shared_ptr<SimCell> cell_;  // its fields are guarded by state_'s lock
};

class SimProvider final : public IZeltProvider {
 public:
  HRESULT Open(std::string_view name, std::string_view machine, std::string_view option,
               MessageHandler onMessage) override {
    SimOptions options;
    std::string error;
    if (ParseSimOptions(option, &options, &error).failed()) {
      return ZeltFail(E_INVALIDARG, "ZeltProv.Sim: " + error);
    }
    std::shared_ptr<SimState> state = SimStateFor(name, options);
    const HRESULT hr = state->CountOpen(&error);
    if (hr.failed()) return ZeltFail(hr, error);
    state_ = std::move(state);
    machine_ = std::string(machine);
    onMessage_ = std::move(onMessage);
    return S_OK;
  }

  std::string Description() const override {
    std::string text = "ZeltProv.Sim simulated controller '" + state_->name() + "'";
    if (!machine_.empty()) text += " on " + machine_;
    return text;
  }

  HRESULT AddClassObject(const ZeltScope&, std::string_view) override { return S_OK; }

  HRESULT AddVariable(const ZeltScope& scope, std::string_view name, std::string_view,
                      std::unique_ptr<IZeltPoint>* out) override {
    SimVarShape shape;
    std::string error;
    if (ParseSimVariableName(name, &shape, &error).failed()) {
      return ZeltFail(E_INVALIDARG, "ZeltProv.Sim: " + error);
    }
    *out = std::make_unique<SimPoint>(state_, state_->Cell(ZeltScopeKey(scope), name, shape));
    return S_OK;
  }

  HRESULT Execute(const ZeltScope&, const Variant& command, const Variant&,
                  Variant* result) override {
    const Variant& given = command.Deref();
    if (given.IsEmpty() || given.IsNull() || given.IsMissing()) return Done(result);
    Variant text;
    if (given.IsText()) {
      text = given;
    } else if (ChangeType(given, VT_BSTR, &text).failed()) {
      return ZeltFail(DISP_E_TYPEMISMATCH, "ZeltProv.Sim: a command is a text");
    }
    const std::string_view cmd = zelt_text::Trim(text.text());
    if (cmd.empty()) return Done(result);
    if (EqualsNoCase(cmd, "OFFLINE") || EqualsNoCase(cmd, "ONLINE")) {
      state_->SetOnline(EqualsNoCase(cmd, "ONLINE"));
      return Done(result);
    }
    constexpr std::string_view kMessage = "MESSAGE,";
    if (cmd.size() >= kMessage.size() && EqualsNoCase(cmd.substr(0, kMessage.size()), kMessage)) {
      return RaiseMessage(cmd.substr(kMessage.size()), result);
    }
    return ZeltFail(E_INVALIDARG, "ZeltProv.Sim: unknown command '" + std::string(cmd) +
                                      "' (known: OFFLINE, ONLINE, MESSAGE,<number>,<text>)");
  }

 private:
  static HRESULT Done(Variant* result) {
    if (result != nullptr) result->Clear();
    return S_OK;
  }

  // `rest` is "<number>,<text>"; the text may hold commas of its own.
  HRESULT RaiseMessage(std::string_view rest, Variant* result) {
    const size_t comma = rest.find(',');
    ZeltMessageData m;
    if (comma == std::string_view::npos ||
        !zelt_text::ParseInt32(rest.substr(0, comma), &m.number)) {
      return ZeltFail(E_INVALIDARG, "ZeltProv.Sim: MESSAGE takes ',<number>,<text>' (got '" +
                                        std::string(rest) + "')");
    }
    m.description = std::string(rest.substr(comma + 1));
    m.value = Variant::Text(m.description);
    m.dateTime = DateFromUnixMicros(state_->DeviceUtcMicros());
    m.serialNumber = state_->NextSerial();
    m.source = state_->name();
    // No lock is held here: the handler runs the client's sinks.
    if (onMessage_) onMessage_(m);
    return Done(result);
  }

  // Set by Open, read-only afterwards (Open comes before every other call).
  std::shared_ptr<SimState> state_;
  std::string machine_;
  MessageHandler onMessage_;
};

}  // namespace

std::unique_ptr<IZeltProvider> CreateSimProvider() { return std::make_unique<SimProvider>(); }

}  // namespace tavrix
