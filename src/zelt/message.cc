#include "zelt/message.h"

#include <span>
#include <utility>

namespace tavrix {
namespace {

// Takes a field: on success the read value, on failure the empty one. The
// getter may have written into its out before failing, so it writes a temporary.
template <class T, class Getter>
void Take(Getter get, T* field, HRESULT* last) {
  T value{};
  const HRESULT hr = get(&value);
  if (hr.failed()) {
    *field = T{};
    *last = hr;
    return;
  }
  *field = std::move(value);
}

}  // namespace

HRESULT ZeltMessage::get_DateTime(Variant* out) {
  if (out == nullptr) return E_POINTER;
  *out = Variant::Date(data_.dateTime);
  return S_OK;
}
HRESULT ZeltMessage::get_Description(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = data_.description;
  return S_OK;
}
HRESULT ZeltMessage::get_Destination(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = data_.destination;
  return S_OK;
}
HRESULT ZeltMessage::get_Number(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = data_.number;
  return S_OK;
}
HRESULT ZeltMessage::get_SerialNumber(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = data_.serialNumber;
  return S_OK;
}
HRESULT ZeltMessage::get_Source(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = data_.source;
  return S_OK;
}
HRESULT ZeltMessage::get_Value(Variant* out) {
  if (out == nullptr) return E_POINTER;
  *out = data_.value;
  return S_OK;
}

const DispatchTable<ZeltMessage>& ZeltMessage::DispatchMembers() {
  using D = DispatchTable<ZeltMessage>;
  static const D table("Zelt.Message",
                       {
                           D::Get("DateTime", 1, &ZeltMessage::get_DateTime),
                           D::Get("Description", 2, &ZeltMessage::get_Description),
                           D::Get("Destination", 3, &ZeltMessage::get_Destination),
                           D::Get("Number", 4, &ZeltMessage::get_Number),
                           D::Get("SerialNumber", 5, &ZeltMessage::get_SerialNumber),
                           D::Get("Source", 6, &ZeltMessage::get_Source),
                           D::Get("Value", 7, &ZeltMessage::get_Value),
                       });
  return table;
}

const DispatchTable<IZeltControllerEventSink>& IZeltControllerEventSink::DispatchMembers() {
  using D = DispatchTable<IZeltControllerEventSink>;
  static const D table(
      "Zelt.ControllerEventSink",
      {
          D::Method("OnMessage", kOnMessageId, &IZeltControllerEventSink::OnMessageFromDispatch),
      });
  return table;
}

IZeltProvider::MessageHandler MakeZeltMessageHandler(Ref<ConnectionPoint> events) {
  return [events = std::move(events)](const ZeltMessageData& data) {
    Ref<ZeltMessage> message = MakeRef<ZeltMessage>(data);
    Variant arg = Variant::Unknown(Ref<IUnknown>(static_cast<IZeltMessage*>(message.get())));
    (void)events->Fire(IZeltControllerEventSink::kOnMessageId, std::span<Variant>(&arg, 1));
  };
}

HRESULT ReadZeltMessage(IZeltMessage& m, ZeltMessageFields* out) {
  if (out == nullptr) return E_POINTER;
  HRESULT last = S_OK;
  Take([&](Variant* v) { return m.get_DateTime(v); }, &out->dateTime, &last);
  Take([&](std::string* v) { return m.get_Description(v); }, &out->description, &last);
  Take([&](std::string* v) { return m.get_Destination(v); }, &out->destination, &last);
  Take([&](int32_t* v) { return m.get_Number(v); }, &out->number, &last);
  Take([&](int32_t* v) { return m.get_SerialNumber(v); }, &out->serialNumber, &last);
  Take([&](std::string* v) { return m.get_Source(v); }, &out->source, &last);
  Take([&](Variant* v) { return m.get_Value(v); }, &out->value, &last);
  return last;
}

}  // namespace tavrix
