#pragma once
// Connection points: how an event source (the browser, a document, a form, the store) reaches the
// sinks advised to it, one event at a time, by DISPID and arguments, as IDispatch::Invoke does.

#include <cstdint>
#include <memory>
#include <vector>

#include "SysTypes.h"
#include "Variant.h"

namespace pel {

// Results of dispatch calls, numbered as the platform numbers them. (Prefixed so they never meet
// the platform headers' macros of the same names.)
constexpr int32_t HR_S_OK = 0;
constexpr int32_t HR_E_NOTIMPL = static_cast<int32_t>(0x80004001u);
constexpr int32_t HR_E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
constexpr int32_t HR_E_FAIL = static_cast<int32_t>(0x80004005u);
constexpr int32_t HR_E_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu);
constexpr int32_t HR_E_INVALIDARG = static_cast<int32_t>(0x80070057u);
constexpr int32_t HR_E_ACCESSDENIED = static_cast<int32_t>(0x80070005u);
constexpr int32_t HR_DISP_E_MEMBERNOTFOUND = static_cast<int32_t>(0x80020003u);
constexpr int32_t HR_DISP_E_PARAMNOTFOUND = static_cast<int32_t>(0x80020004u);
constexpr int32_t HR_DISP_E_TYPEMISMATCH = static_cast<int32_t>(0x80020005u);
constexpr int32_t HR_DISP_E_EXCEPTION = static_cast<int32_t>(0x80020009u);
constexpr int32_t HR_DISP_E_BADPARAMCOUNT = static_cast<int32_t>(0x8002000Eu);
constexpr int32_t HR_CONNECT_E_NOCONNECTION = static_cast<int32_t>(0x80040200u);
constexpr int32_t HR_CONNECT_E_ADVISELIMIT = static_cast<int32_t>(0x80040201u);

// Kinds of dispatch call.
constexpr uint16_t DispatchMethod = 1;
constexpr uint16_t DispatchPropertyGet = 2;
constexpr uint16_t DispatchPropertyPut = 4;
constexpr uint16_t DispatchPropertyPutRef = 8;

// The arguments of one call as the platform lays them out: the named arguments first (their
// DISPIDs in NamedArgs, in the same order), then the positional ones, the last argument first.
// A by-reference argument is a TVariant::Ref slot; what the callee writes there reaches the caller.
struct TDispParams {
  std::vector<TVariant> Args;
  std::vector<int32_t> NamedArgs;
};

// The receiving end of an event interface: the sink's IDispatch.
class IEventDispatch {
public:
  virtual ~IEventDispatch() = default;
  // Never raises: a failure is a result.
  virtual int32_t Invoke(int32_t DispID, const TGUID& IID, uint32_t LocaleID, uint16_t Flags, TDispParams& Params,
                         TVariant* Result) = 0;
};

// One event interface of a source. Advise and Unadvise raise EOleSysError on failure (an unknown
// cookie: CONNECT_E_NOCONNECTION). The sink is not owned: whoever advised it unadvises it before
// it goes.
class IConnectionPoint : public virtual IInterface {
public:
  virtual TGUID ConnectionInterface() const = 0;
  virtual uint32_t Advise(IEventDispatch* Sink) = 0;
  virtual void Unadvise(uint32_t Cookie) = 0;
};

// An event source: finds its connection point for an event interface, or raises EOleSysError
// (CONNECT_E_NOCONNECTION) when it has none.
class IConnectionPointContainer : public virtual IInterface {
public:
  virtual std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) = 0;
};

}  // namespace pel
