#include "EventSink.h"

#include <algorithm>

#include "platform/Store.h"

namespace pel {

TVariant& TEventArgs::Variant(int Number) {
  if (Number < 0 || Number >= static_cast<int>(FIndex.size()) || FIndex[Number] < 0)
    throw EDispatchFault("Invalid number of parameters", HR_DISP_E_BADPARAMCOUNT);
  TVariant& Arg = FParams.Args[FIndex[Number]];
  return Arg.VarType() == TVarType::ByRef ? Arg.Target() : Arg;
}

std::shared_ptr<IInterface> SinkObjectOf(const TVariant& Value) {
  if (Value.IsNull()) return nullptr;
  return Value.AsObject();
}

TEventSink::TEventSink(const TGUID& EventIID, const char* ClassName, TUnassignedAnswer Unassigned)
    : FEventIID(EventIID), FClassName(ClassName), FUnassigned(Unassigned) {}

TEventSink::~TEventSink() { Disconnect(); }

void TEventSink::Connect(std::shared_ptr<IInterface> Source) {
  if (!Source) throw Exception(AnsiString("Assertion failed: ") + FClassName + " cannot connect to a nil source");
  Disconnect();
  try {
    auto Container = Supports<IConnectionPointContainer>(Source);
    if (!Container) throw Exception("Interface not supported");
    std::shared_ptr<IConnectionPoint> Point = Container->FindConnectionPoint(FEventIID);
    if (!Point) throw EOleSysError("No connection point for " + GUIDToString(FEventIID), HR_CONNECT_E_NOCONNECTION);
    // The fields change only once the source has taken the sink, so a failure leaves it unconnected.
    const uint32_t Cookie = Point->Advise(this);
    FCookie = Cookie;
    FConnectionPoint = std::move(Point);
    FSource = std::move(Source);
  } catch (const Exception& E) {
    throw Exception("Unable to connect " + FName + ".\r" + E.Message());
  }
}

void TEventSink::Disconnect() {
  if (!FSource) return;
  // Cleared before unadvising: whatever the source does meanwhile, the sink counts as disconnected.
  std::shared_ptr<IConnectionPoint> Point = std::move(FConnectionPoint);
  FConnectionPoint = nullptr;
  FSource = nullptr;
  try {
    Point->Unadvise(FCookie);
  } catch (const Exception&) {
    // The source may already have dropped us (it quit, or its page went); nothing left to undo.
  }
  FCookie = 0;
}

int32_t TEventSink::Invoke(int32_t DispID, const TGUID& IID, uint32_t LocaleID, uint16_t Flags, TDispParams& Params,
                           TVariant* Result) {
  FLastFailure.clear();
  try {
    // Callers that cannot tell a method from a property ask for both; that is still a method call.
    if ((Flags & DispatchMethod) == 0)
      return Fail(HR_E_UNEXPECTED, AnsiString(FClassName) + " only supports sinking of method calls!");

    // Argument i of the event: positional arguments come last-first after the named ones; a named
    // argument's DISPID is the number of the parameter it stands for.
    const int Count = static_cast<int>(Params.Args.size());
    const int Named = static_cast<int>(Params.NamedArgs.size());
    if (Named > Count) return Fail(HR_E_INVALIDARG, "More named arguments than arguments");
    std::vector<int> Index(Count, -1);
    for (int I = 0; I < Count - Named; ++I) Index[I] = Count - 1 - I;
    for (int K = 0; K < Named; ++K) {
      const int32_t Number = Params.NamedArgs[K];
      if (Number < 0 || Number >= Count) return Fail(HR_DISP_E_PARAMNOTFOUND, "Parameter not found");
      Index[Number] = K;
    }
    TEventArgs Args(Params, std::move(Index));
    return InvokeEvent(DispID, IID, LocaleID, Flags, Result, Args);
  } catch (const Exception& E) {
    return Fail(HR_E_UNEXPECTED, E.Message());
  } catch (...) {
    return Fail(HR_E_UNEXPECTED, "Unexpected failure in an event sink");
  }
}

int32_t TEventSink::UnassignedResult() const {
  return FUnassigned == TUnassignedAnswer::Handled ? HR_S_OK : HR_DISP_E_MEMBERNOTFOUND;
}

int32_t TEventSink::TakeArguments(const std::function<void()>& Take) {
  try {
    Take();
    return HR_S_OK;
  } catch (const EDispatchFault& E) {
    return Fail(E.Result, E.Message());
  } catch (const Exception& E) {
    // The variant conversions are what raises here: an argument of a kind the event cannot take.
    return Fail(HR_DISP_E_TYPEMISMATCH, E.Message());
  }
}

int32_t TEventSink::CallHandler(const std::function<void()>& Call, const std::function<void()>& WriteBack) {
  int32_t Result = HR_S_OK;
  try {
    Call();
  } catch (const Exception& E) {
    Result = Fail(HR_E_UNEXPECTED, E.Message());
  } catch (...) {
    Result = Fail(HR_E_UNEXPECTED, "Unexpected failure in an event handler");
  }
  WriteBack();
  return Result;
}

int32_t TEventSink::Fail(int32_t Result, AnsiString Message) {
  FLastFailure = std::move(Message);
  return Result;
}

}  // namespace pel
