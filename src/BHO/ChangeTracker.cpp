#include "ChangeTracker.h"

#include "BHO/BindingMarks.h"
#include "BHO/MSHTMLEvents.h"
#include "Common/Trace.h"

namespace pel {

namespace {
WideString LowerTag(const TElementRef& E) { return AsciiLowerCase(E->TagName()); }

WideString ValueOf(const TElementRef& E) {
  if (auto Input = Supports<IHTMLInputElement>(E)) return Input->Value();
  if (auto Area = Supports<IHTMLTextAreaElement>(E)) return Area->Value();
  return {};
}
}  // namespace

TElementChangingSink::TElementChangingSink(TCollectionBase* Collection, int ID) : TCollectionItem(Collection, ID) {}

TElementChangingSink::~TElementChangingSink() {
  // Nothing may leave a destructor; a watcher that cannot disconnect is simply gone.
  try {
    Detach();
  } catch (const Exception&) {
  }
}

TElementRef TElementChangingSink::Element() const {
  return FEventSink ? Supports<IHTMLElement>(FEventSink->Source()) : nullptr;
}

bool TElementChangingSink::Attach(const TElementRef& E, int32_t& NextSinkID) {
  return Traced(1192, [&] {
    try {
      Detach();
      const WideString Tag = LowerTag(E);
      if (Tag == u"input") {
        FInitialValue = ValueOf(E);
        auto Sink = std::make_unique<TMSHTMLHTMLInputTextElementEvents>();
        Sink->Onpropertychange = [this](TEventSink*) { InputChanged(); };
        FEventSink = std::move(Sink);
      } else if (Tag == u"select") {
        auto Sink = std::make_unique<TMSHTMLHTMLSelectElementEvents>();
        Sink->Onchange = [this](TEventSink*) { Changed(); };
        FEventSink = std::move(Sink);
      } else if (Tag == u"textarea") {
        FInitialValue = ValueOf(E);
        auto Sink = std::make_unique<TMSHTMLHTMLTextContainerEvents>();
        Sink->Onpropertychange = [this](TEventSink*) { TextAreaChanged(); };
        FEventSink = std::move(Sink);
      } else {
        return false;
      }
      FEventSink->Connect(E);
      ++NextSinkID;
      E->SetAttribute(u"SinkID", TVariant(NextSinkID), AttributeIgnoreCase);
      return true;
    } catch (const Exception&) {
      return Connected();
    }
  });
}

void TElementChangingSink::Detach() {
  Traced(1195, [&] {
    if (FEventSink) FEventSink->Disconnect();
  });
}

int32_t TElementChangingSink::GetSinkID() {
  return Traced(1211, [&]() -> int32_t {
    const TElementRef E = Connected() ? Element() : nullptr;
    if (!E) return -1;
    const TVariant ID = E->GetAttribute(u"SinkID", AttributeIgnoreCase);
    return ID.IsEmptyOrNull() ? -1 : ID.AsInteger();
  });
}

void TElementChangingSink::InputChanged() {
  Traced(1201, [&] {
    const TElementRef E = Element();
    if (E && ValueOf(E) != FInitialValue) Changed();
  });
}

void TElementChangingSink::TextAreaChanged() {
  Traced(1200, [&] {
    const TElementRef E = Element();
    if (E && ValueOf(E) != FInitialValue) Changed();
  });
}

void TElementChangingSink::Changed() {
  Traced(1196, [&] {
    const TElementRef E = Connected() ? Element() : nullptr;
    auto* Tracker = dynamic_cast<TElementChangingTracker*>(Collection());
    if (E && Tracker) MarkBoundElement(E, u"", *Tracker);
  });
}

TElementChangingTracker::TElementChangingTracker() = default;

void TrackElement(TElementChangingTracker& Tracker, const TElementRef& E) {
  Traced(1199, [&] {
    TElementChangingSink& Watcher = Tracker.Add();
    if (!Watcher.Attach(E, Tracker.FNextSinkID)) Tracker.Delete(Tracker.Count() - 1);
  });
}

void UntrackElement(TElementChangingTracker& Tracker, const TElementRef& E) {
  Traced(1198, [&] {
    if (!E) return;
    const TVariant ID = E->GetAttribute(u"SinkID", AttributeIgnoreCase);
    if (ID.IsEmptyOrNull()) return;
    const int32_t Wanted = ID.AsInteger();
    for (TElementChangingSink& Watcher : Tracker) {
      if (Watcher.GetSinkID() == Wanted) {
        Watcher.Detach();
        return;
      }
    }
  });
}

}  // namespace pel
