// Controller messages: the message object a controller hands to its sinks,
// the handler that makes and fires them, and the reading side a sink uses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/connection_point.h"
#include "platform/dispatch.h"
#include "zelt/interfaces.h"
#include "zelt/provider.h"

namespace tavrix {

// An immutable message. Dispatch ids as in IZeltMessage.
class ZeltMessage final : public DispatchObject<ZeltMessage, IZeltMessage> {
 public:
  explicit ZeltMessage(ZeltMessageData data) : data_(std::move(data)) {}

  HRESULT get_DateTime(Variant* out) override;
  HRESULT get_Description(std::string* out) override;
  HRESULT get_Destination(std::string* out) override;
  HRESULT get_Number(int32_t* out) override;
  HRESULT get_SerialNumber(int32_t* out) override;
  HRESULT get_Source(std::string* out) override;
  HRESULT get_Value(Variant* out) override;

  static const DispatchTable<ZeltMessage>& DispatchMembers();

 private:
  const ZeltMessageData data_;
};

// The provider's message handler for a controller: makes a ZeltMessage of
// each message and fires OnMessage with it to the sinks connected on `events`
// (ConnectionPoint::Fire: on the calling thread, no lock held during a sink).
IZeltProvider::MessageHandler MakeZeltMessageHandler(Ref<ConnectionPoint> events);

// A message's fields as a sink copies them.
struct ZeltMessageFields {
  Variant dateTime;
  std::string description;
  std::string destination;
  int32_t number = 0;
  int32_t serialNumber = 0;
  std::string source;
  Variant value;
};

// Reads every field of `message` in this order: DateTime, Description,
// Destination, Number, SerialNumber, Source, Value. A field whose read fails
// is left empty (texts ""), 0 or Empty, and the reading goes on. Returns
// S_OK, or the failure of the last field that failed.
HRESULT ReadZeltMessage(IZeltMessage& message, ZeltMessageFields* out);

}  // namespace tavrix
