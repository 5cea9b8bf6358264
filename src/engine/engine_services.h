// The services the engine manager starts and stops but other subsystems
// build: the message servers (DDE, Kiv, CoAP), the history object and
// manager, the plug-in bridges (external trigger, external function,
// formatter, password decoding), the manager's own automation engine object,
// the item wiring of the start (sub-items, links) and the network folders.
//
// Each is one small interface. EngineServices collects them; the manager owns
// it for its lifetime. Every slot left empty gets its default, which answers
// "not available" in the way the engine start treats as harmless:
//
//   message servers      Start fails with E_NOTIMPL (logged, flag cleared);
//                        they are only started when the settings enable them
//   history              manager and object made, ITavrixHistory given
//   external trigger     Init fails with E_NOTIMPL (logged, start goes on)
//   external function    Init fails with E_NOTIMPL (logged, start goes on)
//   formatter            Start does nothing and succeeds
//   password decoder     Decode fails with E_NOTIMPL
//   engine object        S_FALSE, no object (nothing to keep)
//   item wiring          sub-items, links and the link check of every item;
//                        owns the engine's link writer
//   network folders      LinuxNetworkFolders (the share must be mounted)
//
// The manager calls every service from the thread running its start or its
// terminate, except IPasswordDecoder (also the network-folder thread and the
// project reader) and IExternalTriggerBridge::QueuedExecutions (any thread).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/project_records.h"
#include "engine/network_folders.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/unknown.h"

namespace tavrix {

class CTavrixController;
class CTavrixEngineMan;

// A message server (DDE, Kiv or CoAP).
class IMessageServer {
 public:
  virtual ~IMessageServer() = default;
  // Starts serving; a failure leaves nothing running.
  virtual HRESULT Start() = 0;
  // Stops serving; harmless when not started.
  virtual void Stop() = 0;
};

// The history manager (database side) and the history object clients see.
class IHistoryService {
 public:
  virtual ~IHistoryService() = default;
  // The reader's first call at the end of the workspace record: prepares the
  // history manager for the project at `projectPath`. A failure makes the
  // reader ignore the rest of the file.
  virtual HRESULT InitializeManager(const WorkspaceRecord& workspace,
                                    std::string_view projectPath) = 0;
  // Makes the history object; a failure when it cannot be made.
  virtual HRESULT CreateObject() = 0;
  // Takes the object's ITavrixHistory interface; a failure when it has none.
  virtual HRESULT QueryHistory() = 0;
  // Drops the object and its interface; harmless when there is none.
  virtual void ReleaseObject() = 0;
  // Stops the history manager; harmless when not prepared.
  virtual void StopManager() = 0;
};

// What the automatic database rewrite is handed: three of the workspace's
// backup and recovery settings and the controllers it covers.
struct AutoRewriteInfo {
  bool autoRecovery = false;
  int32_t autoRecoveryInterval = 0;
  int32_t maxBackupCount = 0;
  std::vector<std::string> controllers;  // names, in index order
};

// The external trigger plug-in bridge and its asynchronous execution queue.
class IExternalTriggerBridge {
 public:
  virtual ~IExternalTriggerBridge() = default;
  // Loads and starts the plug-in for the project at `projectPath`.
  virtual HRESULT Init(std::string_view projectPath, const WorkspaceRecord& settings) = 0;
  // Starts (or restarts) the automatic database rewrite.
  virtual HRESULT StartAutoRewrite(const AutoRewriteInfo& info) = 0;
  // Asynchronous executions still queued.
  virtual int32_t QueuedExecutions() const = 0;
  // Ends the plug-in; harmless when not started.
  virtual void Terminate() = 0;
};

// The external-function plug-in bridge.
class IExternalFunctionBridge {
 public:
  virtual ~IExternalFunctionBridge() = default;
  virtual HRESULT Init() = 0;
  // Gives the controllers (index order) their external functions.
  virtual HRESULT Bind(std::span<const Ref<CTavrixController>> controllers) = 0;
  // Unloads the plug-in; harmless when not started.
  virtual void Stop() = 0;
};

// The formatter plug-in bridge.
class IFormatterBridge {
 public:
  virtual ~IFormatterBridge() = default;
  virtual HRESULT Start() = 0;
};

// The password-decoding plug-in: loaded on the first Decode, unloaded at
// terminate.
class IPasswordDecoder {
 public:
  virtual ~IPasswordDecoder() = default;
  // The plain text of an encoded password; thread-safe.
  virtual HRESULT Decode(std::string_view encoded, std::string* plain) = 0;
  virtual void Unload() = 0;
};

// Makes the manager's own automation engine object.
class IEngineObjectFactory {
 public:
  virtual ~IEngineObjectFactory() = default;
  // S_OK with the object in *out, S_FALSE with none, or a failure. Like every
  // engine object, the object takes a manager reference (AddRef) when made and
  // gives one back (Release) when destroyed; the manager returns the first at
  // once, as it is still starting, so its own object never keeps it alive.
  virtual HRESULT Create(CTavrixEngineMan& manager, Ref<IUnknown>* out) = 0;
};

// What the start does with the registered controllers' items and triggers.
class IItemWiring {
 public:
  virtual ~IItemWiring() = default;
  virtual HRESULT InitializeSubItems(CTavrixController& controller) = 0;
  virtual HRESULT InitializeLinks(CTavrixController& controller) = 0;
  virtual HRESULT CheckLinkCycles(CTavrixController& controller) = 0;
  // The asynchronous triggers of the controller's trigger tree.
  virtual int32_t AsyncTriggerCount(CTavrixController& controller) = 0;
};

struct EngineServices {
  std::unique_ptr<IMessageServer> dde;
  std::unique_ptr<IMessageServer> kiv;
  std::unique_ptr<IMessageServer> coap;
  std::unique_ptr<IHistoryService> history;
  std::unique_ptr<IExternalTriggerBridge> externalTrigger;
  std::unique_ptr<IExternalFunctionBridge> externalFunctions;
  std::unique_ptr<IFormatterBridge> formatter;
  std::unique_ptr<IPasswordDecoder> passwordDecoder;
  std::unique_ptr<IEngineObjectFactory> engineObject;
  std::unique_ptr<IItemWiring> itemWiring;
  std::unique_ptr<INetworkFolders> networkFolders;

  // Gives every empty slot its default.
  void FillDefaults();
};

}  // namespace tavrix
