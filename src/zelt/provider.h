// Providers: what the Zelt objects ask of the transport behind a controller.
//
// A workspace's AddController looks the provider text up in a process-wide
// registry (compared without regard to case) and asks the factory for a new
// provider instance, which then serves that one controller connection: its
// class objects, variables, commands and messages. "ZeltProv.Sim" (the
// simulator, zelt/sim_provider.h) is registered from the start; other providers
// register themselves with RegisterZeltProvider without any change here.
//
// A provider is called from any thread at any time, several calls at once; it
// guards its own state. It may record failure descriptions with ZeltFail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/variant.h"
#include "zelt/interfaces.h"

namespace tavrix {

// Where a variable or command lives: the controller itself (no steps), or a
// class object, or a file nested in files: one step per level, outermost first.
struct ZeltScopeStep {
  ZeltVarClass kind = tvVarClassController;
  std::string name;
};
using ZeltScope = std::vector<ZeltScopeStep>;

// A text key of a scope, the same for names that differ only in case.
std::string ZeltScopeKey(const ZeltScope& scope);

// The fields of a controller message, as the provider raises it.
struct ZeltMessageData {
  double dateTime = 0;  // a date
  std::string description;
  std::string destination;
  int32_t number = 0;
  int32_t serialNumber = 0;
  std::string source;
  Variant value;
};

// One variable on the device, made by IZeltProvider::AddVariable and owned by
// the variable object.
class IZeltPoint {
 public:
  virtual ~IZeltPoint() = default;
  // Reads the value; on success also the device's time of the read
  // (microseconds since 1970-01-01 UTC). Nothing is changed on failure.
  virtual HRESULT Read(Variant* value, int64_t* utcMicros) = 0;
  // Writes the value; on success sets the device's time of the write.
  virtual HRESULT Write(const Variant& value, int64_t* utcMicros) = 0;
  // What the variable is, for IZeltVariable::get_Description.
  virtual std::string Description() const = 0;
};

class IZeltProvider {
 public:
  // Takes each message the device raises. Called on the thread that made the
  // provider raise it, with none of the provider's locks held.
  using MessageHandler = std::function<void(const ZeltMessageData&)>;

  virtual ~IZeltProvider() = default;

  // Connects to controller `name` on `machine` with the provider's option
  // text. Called once, before any other member; a failure discards the
  // provider. `onMessage` stays in use until the provider is destroyed; a
  // provider raising messages from threads of its own waits for them in its
  // destructor.
  virtual HRESULT Open(std::string_view name, std::string_view machine, std::string_view option,
                       MessageHandler onMessage) = 0;
  // What the connection is, for IZeltController::get_Description.
  virtual std::string Description() const = 0;
  // A class object (the last step of `scope`) is being added with `option`.
  virtual HRESULT AddClassObject(const ZeltScope& scope, std::string_view option) = 0;
  // Declares variable `name` in `scope`; on success *out owns the new point.
  virtual HRESULT AddVariable(const ZeltScope& scope, std::string_view name,
                              std::string_view option, std::unique_ptr<IZeltPoint>* out) = 0;
  // Runs a command in `scope`. `command` may be Empty or Null.
  virtual HRESULT Execute(const ZeltScope& scope, const Variant& command, const Variant& param,
                          Variant* result) = 0;
};

using ZeltProviderFactory = std::function<std::unique_ptr<IZeltProvider>()>;

// Registers `factory` under provider text `name` (replacing an earlier one of
// the same name, compared without regard to case). Thread-safe.
void RegisterZeltProvider(std::string_view name, ZeltProviderFactory factory);

// A new provider instance for `name`, or null when none is registered.
std::unique_ptr<IZeltProvider> CreateZeltProvider(std::string_view name);

}  // namespace tavrix
