#pragma once
// What every event sink shares: connecting itself to a source's connection point, accepting the
// source's calls, and handing each event to its handler with the arguments converted from the
// call's variants. The sink classes themselves are generated; they only map DISPIDs to handlers.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/ConnectionPoints.h"
#include "platform/Exceptions.h"

namespace pel {

class TEventSink;

// Handler of an event that has no arguments.
using TSinkNotifyEvent = std::function<void(TEventSink* Sender)>;

// The arguments of one call, numbered in the event's declared order through the argument index
// table (the call itself holds them named first, then positional last-first).
class TEventArgs {
public:
  TEventArgs(TDispParams& Params, std::vector<int> Index) : FParams(Params), FIndex(std::move(Index)) {}

  // Argument Number as the caller's own variant: a by-reference argument is its target, so what
  // is written here reaches the caller. A missing argument raises EDispatchFault.
  TVariant& Variant(int Number);
  const std::vector<int>& Index() const { return FIndex; }

private:
  TDispParams& FParams;
  std::vector<int> FIndex;
};

// A call the sink cannot take as it came; carries the dispatch result it is answered with.
class EDispatchFault : public Exception {
public:
  EDispatchFault(AnsiString Message, int32_t Result) : Exception(std::move(Message)), Result(Result) {}
  int32_t Result;
};

// One argument of a handler, taken from the call by the handler's parameter type. By-reference
// parameters of plain types work on a copy that is written back after the handler ran; a
// TVariant& parameter is the caller's variant itself.
template <class T>
class TSinkArg;

template <>
class TSinkArg<const WideString&> {
public:
  TSinkArg(TEventArgs& Args, int Number) : FValue(Args.Variant(Number).AsWideString()) {}
  const WideString& Get() { return FValue; }
  void WriteBack() {}

private:
  WideString FValue;
};

template <>
class TSinkArg<int32_t> {
public:
  TSinkArg(TEventArgs& Args, int Number) : FValue(Args.Variant(Number).AsInteger()) {}
  int32_t Get() { return FValue; }
  void WriteBack() {}

private:
  int32_t FValue;
};

template <>
class TSinkArg<uint32_t> {
public:
  TSinkArg(TEventArgs& Args, int Number) : FValue(Args.Variant(Number).AsCardinal()) {}
  uint32_t Get() { return FValue; }
  void WriteBack() {}

private:
  uint32_t FValue;
};

template <>
class TSinkArg<bool> {
public:
  TSinkArg(TEventArgs& Args, int Number) : FValue(Args.Variant(Number).AsBoolean()) {}
  bool Get() { return FValue; }
  void WriteBack() {}

private:
  bool FValue;
};

// An object argument; empty and null both arrive as no object.
std::shared_ptr<IInterface> SinkObjectOf(const TVariant& Value);

template <>
class TSinkArg<const std::shared_ptr<IInterface>&> {
public:
  TSinkArg(TEventArgs& Args, int Number) : FValue(SinkObjectOf(Args.Variant(Number))) {}
  const std::shared_ptr<IInterface>& Get() { return FValue; }
  void WriteBack() {}

private:
  std::shared_ptr<IInterface> FValue;
};

template <>
class TSinkArg<TVariant&> {
public:
  TSinkArg(TEventArgs& Args, int Number) : FTarget(&Args.Variant(Number)) {}
  TVariant& Get() { return *FTarget; }
  void WriteBack() {}

private:
  TVariant* FTarget;
};

template <class T, class TConvert>
class TSinkRefArg {
public:
  TSinkRefArg(TEventArgs& Args, int Number) : FTarget(&Args.Variant(Number)), FValue(TConvert()(*FTarget)) {}
  T& Get() { return FValue; }
  void WriteBack() { *FTarget = TVariant(FValue); }

private:
  TVariant* FTarget;
  T FValue;
};

struct TAsBoolean {
  bool operator()(const TVariant& V) const { return V.AsBoolean(); }
};
struct TAsInteger {
  int32_t operator()(const TVariant& V) const { return V.AsInteger(); }
};
struct TAsObject {
  std::shared_ptr<IInterface> operator()(const TVariant& V) const { return SinkObjectOf(V); }
};

template <>
class TSinkArg<bool&> : public TSinkRefArg<bool, TAsBoolean> {
public:
  using TSinkRefArg::TSinkRefArg;
};

template <>
class TSinkArg<int32_t&> : public TSinkRefArg<int32_t, TAsInteger> {
public:
  using TSinkRefArg::TSinkRefArg;
};

template <>
class TSinkArg<std::shared_ptr<IInterface>&> : public TSinkRefArg<std::shared_ptr<IInterface>, TAsObject> {
public:
  using TSinkRefArg::TSinkRefArg;
};

// The common base of the three sink groups. A sink is advised to at most one source at a time and
// belongs to its creator, which disconnects it before freeing it (freeing disconnects too, so that
// no source keeps calling a sink that is gone).
class TEventSink : public IEventDispatch {
public:
  TEventSink(const TEventSink&) = delete;
  TEventSink& operator=(const TEventSink&) = delete;
  ~TEventSink() override;

  // Disconnects first, then advises this sink to Source's connection point for EventIID().
  // Raises "Unable to connect <Name>.\r<reason>" when that fails; a nil Source is a caller's
  // fault and raises as an assertion does.
  void Connect(std::shared_ptr<IInterface> Source);
  // Unadvises when connected; a failing Unadvise still leaves the sink disconnected.
  void Disconnect();

  // Never raises. Calls other than method calls are refused; a handler's failure, a missing
  // argument or one of the wrong kind become failure results.
  int32_t Invoke(int32_t DispID, const TGUID& IID, uint32_t LocaleID, uint16_t Flags, TDispParams& Params,
                 TVariant* Result) final;

  const TGUID& EventIID() const { return FEventIID; }
  const std::shared_ptr<IInterface>& Source() const { return FSource; }
  bool Connected() const { return FSource != nullptr; }
  // The component name; it appears in the connection failure message.
  const AnsiString& Name() const { return FName; }
  void SetName(AnsiString Name) { FName = std::move(Name); }
  const char* ClassName() const { return FClassName; }
  // Why the latest Invoke answered a failure; empty after one that succeeded.
  const AnsiString& LastFailure() const { return FLastFailure; }

protected:
  // What a known event answers when nobody assigned its handler.
  enum class TUnassignedAnswer { Handled, MemberNotFound };

  TEventSink(const TGUID& EventIID, const char* ClassName, TUnassignedAnswer Unassigned);

  // Selects the event by DispID and forwards it; an unknown DispID answers DISP_E_MEMBERNOTFOUND.
  virtual int32_t InvokeEvent(int32_t DispID, const TGUID& IID, uint32_t LocaleID, uint16_t Flags, TVariant* Result,
                              TEventArgs& Args) = 0;

  // Calls Handler, when assigned, with this sink as Sender and the call's arguments converted to
  // the handler's parameter types. Declared event results are not passed back to the source.
  template <class... TParams>
  int32_t Forward(const std::function<void(TEventSink*, TParams...)>& Handler, TEventArgs& Args) {
    if (!Handler) return UnassignedResult();
    return ForwardArgs(Handler, Args, std::index_sequence_for<TParams...>{});
  }

  uint32_t FCookie = 0;
  std::shared_ptr<IConnectionPoint> FConnectionPoint;
  TGUID FEventIID;
  std::shared_ptr<IInterface> FSource;

private:
  template <class... TParams, size_t... I>
  int32_t ForwardArgs(const std::function<void(TEventSink*, TParams...)>& Handler, TEventArgs& Args,
                      std::index_sequence<I...>) {
    std::optional<std::tuple<TSinkArg<TParams>...>> Values;
    const int32_t Taken = TakeArguments([&] { Values.emplace(TSinkArg<TParams>(Args, static_cast<int>(I))...); });
    if (Taken != HR_S_OK) return Taken;
    return CallHandler([&] { Handler(this, std::get<I>(*Values).Get()...); },
                       [&] { (std::get<I>(*Values).WriteBack(), ...); });
  }

  int32_t UnassignedResult() const;
  // Runs the conversion of the arguments; a failure answers its dispatch result.
  int32_t TakeArguments(const std::function<void()>& Take);
  // Runs the handler; whatever it raises becomes E_UNEXPECTED and goes no further. By-reference
  // values are written back either way, as the handler may have set them before it failed.
  int32_t CallHandler(const std::function<void()>& Call, const std::function<void()>& WriteBack);
  int32_t Fail(int32_t Result, AnsiString Message);

  const char* FClassName;
  TUnassignedAnswer FUnassigned;
  AnsiString FName;
  AnsiString FLastFailure;
};

}  // namespace pel
