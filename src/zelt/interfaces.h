// The Zelt engine's object model: the typed interfaces of the engine, its
// workspaces, controllers, class objects, variables and messages, and the event
// sink a client connects to a controller.
//
// Every interface derives from IDispatch, so scripts reach the same members
// late-bound; the dispatch ids are listed beside each member. Objects are
// reference counted and free-threaded: any thread may call any member at any
// time. Names (controllers, class objects, variables, providers) compare
// without regard to case. Every call returns a result code; negative means
// failure, and TVX_E_ZELT_ALREADY_EXISTS (0x80000205, negative too) means that
// the named object is already there: the caller then takes the existing one
// with Item(name). On failure an out parameter is left null or unchanged and a
// description of the failure is kept for the calling thread (zelt/error.h).
//
// Collections answer Count (id 1), Item (DISPID_VALUE) and _NewEnum
// (DISPID_NEWENUM). Item takes a 0-based position (a number) or a name (a text);
// DISP_E_BADINDEX when there is no such item. _NewEnum enumerates a snapshot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/connection_point.h"
#include "platform/dispatch.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

// Class-object kinds, as the type library numbers them.
enum ZeltVarClass : int32_t {
  tvVarClassController = 0,
  tvVarClassTask = 1,
  tvVarClassRobot = 2,
  tvVarClassExtension = 3,
  tvVarClassFile = 4,
};

// The Zelt interface ids differ only in their numbers.
constexpr IID ZeltIid(uint8_t n) {
  return IID{0x5A3E1000u + n, 0x7A11, 0x4C0B, {0x9E, 0x2D, 'Z', 'E', 'L', 'T', 0, n}};
}
inline constexpr IID IID_IZeltEngine = ZeltIid(1);
inline constexpr IID IID_IZeltWorkspaces = ZeltIid(2);
inline constexpr IID IID_IZeltWorkspace = ZeltIid(3);
inline constexpr IID IID_IZeltControllers = ZeltIid(4);
inline constexpr IID IID_IZeltController = ZeltIid(5);
inline constexpr IID IID_IZeltClassObjects = ZeltIid(6);
inline constexpr IID IID_IZeltClassObject = ZeltIid(7);
inline constexpr IID IID_IZeltVariables = ZeltIid(8);
inline constexpr IID IID_IZeltVariable = ZeltIid(9);
inline constexpr IID IID_IZeltMessage = ZeltIid(10);
inline constexpr IID IID_IZeltControllerEventSink = ZeltIid(11);

class IZeltWorkspace;
class IZeltController;
class IZeltClassObject;
class IZeltVariable;
class IZeltClassObjects;

// A variable of a controller or class object: one value on the device.
class IZeltVariable : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltVariable;

  // 1: the name given to Add.
  virtual HRESULT get_Name(std::string* out) = 0;
  // DISPID_VALUE: reads the value from the device and stamps the variable with
  // the device's time of the read. A failed read leaves *out and the stamp.
  virtual HRESULT get_Value(Variant* out) = 0;
  // DISPID_VALUE (put): writes the value to the device and stamps the variable.
  virtual HRESULT put_Value(const Variant& value) = 0;
  // 2: the stamp's whole seconds as a date (UTC of the device clock); 0 before
  // the first successful read or write.
  virtual HRESULT get_DateTime(double* out) = 0;
  // 3: the stamp's microseconds, 0 .. 999999.
  virtual HRESULT get_Microsecond(int32_t* out) = 0;
  // 4: a number the client keeps with the variable (0 at first).
  virtual HRESULT get_ID(int32_t* out) = 0;
  virtual HRESULT put_ID(int32_t id) = 0;
  // 5: what the provider says the variable is.
  virtual HRESULT get_Description(std::string* out) = 0;

 protected:
  ~IZeltVariable() = default;
};

// The variables of one controller or class object.
class IZeltVariables : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltVariables;

  virtual HRESULT get_Count(int32_t* out) = 0;
  virtual HRESULT Item(const Variant& index, Ref<IZeltVariable>* out) = 0;
  virtual HRESULT get__NewEnum(Variant* out) = 0;
  // 2: declares the variable `name` with a provider-defined option text.
  // TVX_E_ZELT_ALREADY_EXISTS when the collection has it (take it with Item);
  // E_INVALIDARG for an empty name or one the provider refuses.
  virtual HRESULT Add(std::string_view name, std::string_view option, Ref<IZeltVariable>* out) = 0;

 protected:
  ~IZeltVariables() = default;
};

// A task, robot, extension or file of a controller. Its variables are a
// namespace of their own on the same device.
class IZeltClassObject : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltClassObject;

  // 1: the name given when it was added.
  virtual HRESULT get_Name(std::string* out) = 0;
  // 2: the ZeltVarClass of the object.
  virtual HRESULT get_Kind(int32_t* out) = 0;
  // 4: runs a provider command in the scope of this object (see IZeltController).
  virtual HRESULT Execute(const Variant& command, const Variant& param, Variant* result) = 0;
  // 8: a nested file (file objects only; E_NOTIMPL for the other kinds).
  virtual HRESULT AddFile(std::string_view name, std::string_view option,
                          Ref<IZeltClassObject>* out) = 0;
  // 12: the nested files (file objects only; E_NOTIMPL for the other kinds).
  virtual HRESULT get_Files(Ref<IZeltClassObjects>* out) = 0;
  // 13
  virtual HRESULT get_Variables(Ref<IZeltVariables>* out) = 0;

 protected:
  ~IZeltClassObject() = default;
};

class IZeltClassObjects : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltClassObjects;

  virtual HRESULT get_Count(int32_t* out) = 0;
  virtual HRESULT Item(const Variant& index, Ref<IZeltClassObject>* out) = 0;
  virtual HRESULT get__NewEnum(Variant* out) = 0;

 protected:
  ~IZeltClassObjects() = default;
};

// A connection to one device through a provider.
class IZeltController : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltController;

  // 1: the Zelt controller name.
  virtual HRESULT get_Name(std::string* out) = 0;
  // 2: the number Remove takes; unique in the workspace and never reused there.
  virtual HRESULT get_Index(int32_t* out) = 0;
  // 3: what the provider says the connection is.
  virtual HRESULT get_Description(std::string* out) = 0;
  // 4: runs a provider command (a null or empty command is allowed and does
  // nothing); the provider's result code and value are passed through.
  virtual HRESULT Execute(const Variant& command, const Variant& param, Variant* result) = 0;
  // 5..8: add a class object; TVX_E_ZELT_ALREADY_EXISTS when the kind's
  // collection has the name (take it with Item), E_INVALIDARG for an empty name.
  virtual HRESULT AddExtension(std::string_view name, std::string_view option,
                               Ref<IZeltClassObject>* out) = 0;
  virtual HRESULT AddTask(std::string_view name, std::string_view option,
                          Ref<IZeltClassObject>* out) = 0;
  virtual HRESULT AddRobot(std::string_view name, std::string_view option,
                           Ref<IZeltClassObject>* out) = 0;
  virtual HRESULT AddFile(std::string_view name, std::string_view option,
                          Ref<IZeltClassObject>* out) = 0;
  // 9..12
  virtual HRESULT get_Extensions(Ref<IZeltClassObjects>* out) = 0;
  virtual HRESULT get_Tasks(Ref<IZeltClassObjects>* out) = 0;
  virtual HRESULT get_Robots(Ref<IZeltClassObjects>* out) = 0;
  virtual HRESULT get_Files(Ref<IZeltClassObjects>* out) = 0;
  // 13
  virtual HRESULT get_Variables(Ref<IZeltVariables>* out) = 0;
  // 14: the event source: Advise an IZeltControllerEventSink on it to receive
  // the controller's messages, Unadvise to stop.
  virtual HRESULT get_EventSource(Ref<IConnectionPoint>* out) = 0;

 protected:
  ~IZeltController() = default;
};

class IZeltControllers : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltControllers;

  virtual HRESULT get_Count(int32_t* out) = 0;
  virtual HRESULT Item(const Variant& index, Ref<IZeltController>* out) = 0;
  virtual HRESULT get__NewEnum(Variant* out) = 0;

 protected:
  ~IZeltControllers() = default;
};

class IZeltWorkspace : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltWorkspace;

  // 1
  virtual HRESULT get_Name(std::string* out) = 0;
  // 2: opens a connection to controller `name` through the provider registered
  // under `provider` (zelt/provider.h). TVX_E_ZELT_ALREADY_EXISTS when the
  // workspace already has a controller of that name (take it with
  // Controllers.Item(name)); REGDB_E_CLASSNOTREG for an unknown provider;
  // E_INVALIDARG for an empty name; otherwise the provider's open result.
  virtual HRESULT AddController(std::string_view name, std::string_view provider,
                                std::string_view machine, std::string_view option,
                                Ref<IZeltController>* out) = 0;
  // 3
  virtual HRESULT get_Controllers(Ref<IZeltControllers>* out) = 0;
  // 4: removes the controller whose Index is `index`; DISP_E_BADINDEX when
  // none has it. The controller object lives on while references to it exist.
  virtual HRESULT Remove(int32_t index) = 0;

 protected:
  ~IZeltWorkspace() = default;
};

class IZeltWorkspaces : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltWorkspaces;

  virtual HRESULT get_Count(int32_t* out) = 0;
  virtual HRESULT Item(const Variant& index, Ref<IZeltWorkspace>* out) = 0;
  virtual HRESULT get__NewEnum(Variant* out) = 0;

 protected:
  ~IZeltWorkspaces() = default;
};

class IZeltEngine : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltEngine;

  // 1: the workspaces; Item(0) is the default workspace.
  virtual HRESULT get_Workspaces(Ref<IZeltWorkspaces>* out) = 0;

 protected:
  ~IZeltEngine() = default;
};

// A controller message. Every field is fixed when the message is made.
class IZeltMessage : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltMessage;

  virtual HRESULT get_DateTime(Variant* out) = 0;         // 1: a date (device clock, UTC)
  virtual HRESULT get_Description(std::string* out) = 0;  // 2
  virtual HRESULT get_Destination(std::string* out) = 0;  // 3
  virtual HRESULT get_Number(int32_t* out) = 0;           // 4
  virtual HRESULT get_SerialNumber(int32_t* out) = 0;     // 5
  virtual HRESULT get_Source(std::string* out) = 0;       // 6
  virtual HRESULT get_Value(Variant* out) = 0;            // 7

 protected:
  ~IZeltMessage() = default;
};

// The events of a controller. The controller calls a connected sink through
// IDispatch::Invoke: member 1 "OnMessage" with the message as one VT_UNKNOWN
// argument (ask it for IZeltMessage). A sink implemented in C++ derives from
// DispatchObject<Sink, IZeltControllerEventSink> and gets that table from here.
// OnMessage runs on the thread that made the controller raise the message,
// with no Zelt lock held: it may call the controller (and Unadvise) freely.
class IZeltControllerEventSink : public IDispatch {
 public:
  static constexpr const IID& kIid = IID_IZeltControllerEventSink;
  static constexpr DISPID kOnMessageId = 1;

  virtual HRESULT OnMessage(IUnknown* message) = 0;

  // The table: 1 "OnMessage".
  static const DispatchTable<IZeltControllerEventSink>& DispatchMembers();

 protected:
  ~IZeltControllerEventSink() = default;

 private:
  HRESULT OnMessageFromDispatch(Ref<IUnknown> message) { return OnMessage(message.get()); }
};

}  // namespace tavrix
