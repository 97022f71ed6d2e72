#include "CaptionFinder.h"

#include <algorithm>
#include <vector>

#include "BHO/ElementAccess.h"
#include "platform/Exceptions.h"

namespace pel {

namespace {

bool IsSelect(const TElementRef& E) { return AsciiLowerCase(E->TagName()) == u"select"; }

std::shared_ptr<IHTMLTxtRange> BodyRange(const TElementRef& E) {
  auto Doc = E->Document();
  if (!Doc) throw Exception("The element is not in a document");
  auto Body = Supports<IHTMLBodyElement>(Doc->Body());
  if (!Body) throw Exception("The document has no body");
  return Body->CreateTextRange();
}

// A browser may place a select's range beside the option texts it shows rather than over them,
// so the range is slid back until it holds the select's text. The slide is bounded: it stops when
// the range can no longer move (the start of the page) or after MaxSelectSlide characters, more
// than the option texts of any real list add up to. When the text is not found by then, or the
// select has no text that could be found, the range stays where the browser put it (its start
// moved back by one) rather than where the slide ended: a range slid thousands of characters back
// would give the caller unrelated page text from before the select as the text after it, or cut
// off the very label the caller is looking for.
constexpr int32_t MaxSelectSlide = 4096;

void MoveToElementText(const std::shared_ptr<IHTMLTxtRange>& Range, const TElementRef& E) {
  Range->MoveToElementText(E);
  if (!IsSelect(E)) return;
  Range->MoveStart(u"character", -1);
  const WideString SelectText = E->InnerText();
  if (SelectText.empty()) return;
  if (WidePos(SelectText, Range->Text()) != 0) return;
  auto Slid = Range->Duplicate();
  for (int32_t Step = 0; Step < MaxSelectSlide; ++Step) {
    if (Slid->MoveEnd(u"character", -1) == 0 || Slid->MoveStart(u"character", -1) == 0) return;
    if (WidePos(SelectText, Slid->Text()) != 0) {
      Range->SetEndPoint(u"StartToStart", Slid);
      Range->SetEndPoint(u"EndToEnd", Slid);
      return;
    }
  }
}

// A caption is the few words a page shows beside a control. The text of a whole section after
// it (the rest of a deeply nested page, say) is none, and carried to every lookup it would cost
// each control as much as the section: what is taken keeps the words nearest the control.
constexpr size_t MaxCaptionLength = 1000;

// A copy, not the text cut in place: a caption is kept, and must not keep the section's storage.
WideString NearestBefore(WideString Text) {
  if (Text.size() > MaxCaptionLength) return Text.substr(Text.size() - MaxCaptionLength);
  return Text;
}

WideString NearestAfter(WideString Text) {
  if (Text.size() > MaxCaptionLength) return Text.substr(0, MaxCaptionLength);
  return Text;
}

// Elements whose content a page never shows: their source is no caption, and a browser gives them
// no place in the page's text to measure from.
bool ShowsNoText(const TElementRef& E) {
  const WideString Tag = AsciiLowerCase(E->TagName());
  return Tag == u"script" || Tag == u"style" || Tag == u"noscript" || Tag == u"template";
}

// A control the page does not render (inside noscript, or hidden) has no place in the page's text.
bool IsInPageText(const TElementRef& E) {
  try {
    BodyRange(E)->Duplicate()->MoveToElementText(E);
    return true;
  } catch (const EOleSysError&) {
    return false;
  }
}

}  // namespace

bool IsFieldElement(const TElementRef& E) {
  const WideString Tag = AsciiLowerCase(E->TagName());
  if (Tag == u"select" || Tag == u"textarea") return true;
  if (Tag != u"input") return false;
  // An input that does not say what type it is counts as the text box a browser shows for it.
  auto Input = Supports<IHTMLInputElement>(E);
  return !Input || AsciiLowerCase(Input->Type()) != u"hidden";
}

bool ContainsField(const TElementsRef& C, int32_t From) {
  // A worklist instead of recursion: forms nest as deep as the page's markup does.
  struct TPending {
    TElementsRef Items;
    int32_t From;
  };
  std::vector<TPending> Pending;
  if (C) Pending.push_back({C, std::max<int32_t>(From, 0)});
  while (!Pending.empty()) {
    const TPending P = std::move(Pending.back());
    Pending.pop_back();
    const int32_t Length = P.Items->Length();
    for (int32_t I = P.From; I < Length; ++I) {
      TElementRef E = P.Items->Item(I);
      if (!E) continue;
      if (IsFieldElement(E)) return true;
      if (TElementsRef Children = E->Children()) Pending.push_back({std::move(Children), 0});
    }
  }
  return false;
}

int32_t FindBySourceIndex(const TElementsRef& C, const TElementRef& E) {
  int32_t Lo = 0, Hi = C->Length() - 1;
  const int32_t Target = E->SourceIndex();
  while (Lo <= Hi) {
    const int32_t Mid = Lo + (Hi - Lo) / 2;
    TElementRef Item = C->Item(Mid);
    if (!Item) return -1;
    const int32_t At = Item->SourceIndex();
    if (At == Target) return Mid;
    if (Target < At)
      Hi = Mid - 1;
    else
      Lo = Mid + 1;
  }
  return -1;
}

void TextBetween(const TElementRef& A, bool AfterA, const TElementRef& B, bool ThroughB, WideString& Text) {
  auto R = BodyRange(A);
  auto RA = R->Duplicate();
  MoveToElementText(RA, A);
  R->SetEndPoint(AfterA ? u"StartToEnd" : u"StartToStart", RA);
  auto RB = R->Duplicate();
  MoveToElementText(RB, B);
  R->SetEndPoint(ThroughB ? u"EndToEnd" : u"EndToStart", RB);
  Text = TrimBlanksAndControls(R->Text());
}

void GetElementCaption(const TElementRef& Element, bool SearchBefore, bool SearchAfter, WideString& Caption) {
  Caption.clear();
  // A control outside any page has nothing around it to search; one the page does not render
  // (inside noscript, hidden) has no place in its text to measure from: no caption either way.
  if (!Element || !Element->ParentElement() || !IsInPageText(Element)) return;
  // One level per turn, up to the body: the walk climbs as deep as the page nests, so it does not
  // recurse.
  TElementRef E = Element;
  while (E && (SearchBefore || SearchAfter)) {
    if (AsciiLowerCase(E->TagName()) == u"body") return;
    TElementRef P = E->ParentElement();
    if (!P) return;
    TElementsRef C = P->Children();
    if (!C) return;
    const int32_t I = FindBySourceIndex(C, E);

    if (SearchBefore) {
      for (int32_t J = std::max(I - 1, -1); J >= -1; --J) {
        if (J == -1) {
          TextBetween(P, false, E, false, Caption);
          Caption = NearestBefore(std::move(Caption));
          if (!Caption.empty()) return;
          break;
        }
        TElementRef S = C->Item(J);
        if (!S || ShowsNoText(S)) continue;
        TextBetween(S, true, E, false, Caption);
        Caption = NearestBefore(std::move(Caption));
        if (!Caption.empty()) return;
        // Text further back belongs to that field.
        if (IsFieldElement(S)) {
          SearchBefore = false;
          break;
        }
        // A spacer (a cell holding only a no-break space) labels nothing.
        Caption = S->InnerText();
        if (!IsBlankText(Caption)) {
          Caption = NearestBefore(std::move(Caption));
          return;
        }
      }
    }

    if (SearchAfter) {
      const int32_t Length = C->Length();
      for (int32_t J = I + 1; J <= Length; ++J) {
        if (J == Length) {
          TextBetween(E, true, P, true, Caption);
          Caption = NearestAfter(std::move(Caption));
          if (!Caption.empty()) return;
          break;
        }
        TElementRef S = C->Item(J);
        if (!S || ShowsNoText(S)) continue;
        WideString Text;
        TextBetween(E, true, S, false, Text);
        if (!Text.empty()) {
          // Text followed by another field is that field's label.
          if (ContainsField(C, J)) {
            SearchAfter = false;
            break;
          }
          Caption = NearestAfter(std::move(Text));
          return;
        }
        if (IsFieldElement(S)) {
          SearchAfter = false;
          break;
        }
        // A spacer (a cell holding only a no-break space) labels nothing.
        Caption = S->InnerText();
        if (!IsBlankText(Caption)) {
          Caption = NearestAfter(std::move(Caption));
          return;
        }
      }
    }

    Caption.clear();
    E = P;
  }
}

}  // namespace pel
