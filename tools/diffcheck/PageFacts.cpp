// PageFacts: what the headless page model answers for one saved page, as JSON on standard output,
// for the differential check against a real browser engine (diffcheck.py beside it compares).
//
//   PageFacts [--time] PAGE.html
//
// Facts: the forms in document order; every control (input, select, textarea, button) in document
// order with its tag, type as the model reports it, name, the form whose elements hold it, the
// select state, the parent's innerText and the page text between the previous element sibling (or
// the parent's start) and the control, as the caption search measures it. The markup context the
// comparer needs to tell accepted differences from faults comes along: whether a form or control
// lies inside noscript or template, whether a control names a form by attribute, the tag of each
// form's parent.
//
// --time adds the gumbo parse time of the page, the model's load time and the time to answer the
// text near every control (parent text, text before, caption), each from fresh loads, the fastest
// of repeated runs.

#include <gumbo.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "BHO/CaptionFinder.h"
#include "headless/HtmlDom.h"
#include "platform/Exceptions.h"

using namespace pel;
using namespace pel::headless;

namespace {

std::string ToUtf8(const WideString& S) {
  if (S.empty()) return {};
  std::string Out(S.size() * 3, '\0');
  int32_t Written = 0;
  UErrorCode Status = U_ZERO_ERROR;
  u_strToUTF8WithSub(Out.data(), static_cast<int32_t>(Out.size()), &Written, S.data(), static_cast<int32_t>(S.size()),
                     0xFFFD, nullptr, &Status);
  if (U_FAILURE(Status)) return "\xEF\xBF\xBD";
  Out.resize(static_cast<size_t>(Written));
  return Out;
}

class TJson {
public:
  explicit TJson(std::ostream& Out) : FOut(Out) {}
  TJson& Str(const WideString& S) { return Raw(Quote(ToUtf8(S))); }
  TJson& Str(const char* S) { return Raw(Quote(S)); }
  TJson& Num(double V) {
    std::ostringstream S;
    S.precision(9);
    S << V;
    return Raw(S.str());
  }
  TJson& Bool(bool V) { return Raw(V ? "true" : "false"); }
  TJson& Key(const char* K) {
    Comma();
    FOut << Quote(K) << ':';
    FAfterKey = true;
    return *this;
  }
  TJson& Open(char C) {
    Comma();
    FOut << C;
    FFirst.push_back(true);
    return *this;
  }
  TJson& Close(char C) {
    FOut << C;
    FFirst.pop_back();
    return *this;
  }

private:
  static std::string Quote(const std::string& S) {
    std::string Q = "\"";
    for (unsigned char C : S) {
      if (C == '"' || C == '\\') {
        Q += '\\';
        Q += static_cast<char>(C);
      } else if (C < 0x20) {
        char Buf[8];
        std::snprintf(Buf, sizeof Buf, "\\u%04x", C);
        Q += Buf;
      } else {
        Q += static_cast<char>(C);
      }
    }
    return Q + '"';
  }
  void Comma() {
    if (FAfterKey) {
      FAfterKey = false;
      return;
    }
    if (!FFirst.empty()) {
      if (!FFirst.back()) FOut << ',';
      FFirst.back() = false;
    }
  }
  TJson& Raw(const std::string& S) {
    Comma();
    FOut << S;
    return *this;
  }
  std::ostream& FOut;
  std::vector<bool> FFirst;
  bool FAfterKey = false;
};

WideString Lower(const TElementRef& E) { return AsciiLowerCase(E->TagName()); }

bool IsControlTag(const WideString& Tag) {
  return Tag == u"input" || Tag == u"select" || Tag == u"textarea" || Tag == u"button";
}

std::vector<TElementRef> Controls(IHTMLDocument2& Doc) {
  std::vector<TElementRef> Result;
  TElementsRef All = Doc.All();
  for (int32_t I = 0; I < All->Length(); ++I)
    if (TElementRef E = All->Item(I); IsControlTag(Lower(E))) Result.push_back(E);
  return Result;
}

bool HasAncestor(const TElementRef& E, const WideString& Tag) {
  for (TElementRef P = E->ParentElement(); P; P = P->ParentElement())
    if (Lower(P) == Tag) return true;
  return false;
}

// The element before E among its parent's children, or null when E is the first.
TElementRef PreviousSibling(const TElementRef& E, const TElementRef& Parent) {
  TElementsRef C = Parent->Children();
  const int32_t I = FindBySourceIndex(C, E);
  return I > 0 ? C->Item(I - 1) : nullptr;
}

WideString TextBefore(const TElementRef& E) {
  TElementRef P = E->ParentElement();
  if (!P) return {};
  WideString Text;
  if (TElementRef S = PreviousSibling(E, P))
    TextBetween(S, true, E, false, Text);
  else
    TextBetween(P, false, E, false, Text);
  return Text;
}

// Everything a caption of each control asks of the model: the work timed against the parse.
void AnswerNearText(IHTMLDocument2& Doc) {
  for (const TElementRef& E : Controls(Doc)) {
    try {
      if (TElementRef P = E->ParentElement()) (void)P->InnerText();
      (void)TextBefore(E);
      WideString Caption;
      GetElementCaption(E, true, true, Caption);
    } catch (const Exception&) {
      // A control the search cannot place is skipped, as the fill skips it.
    }
  }
}

using TClock = std::chrono::steady_clock;

// The fastest of at least MinRuns runs lasting MinTotal together (at most MaxRuns): the machine
// is shared (the browser of the check runs beside), and interruptions only ever add time.
double Measure(const std::function<double()>& Run) {
  constexpr double MinTotal = 0.05;
  constexpr int MinRuns = 3;
  constexpr int MaxRuns = 20;
  double Total = 0, Fastest = 0;
  int Runs = 0;
  while (Runs < MaxRuns && (Runs < MinRuns || Total < MinTotal)) {
    const double Seconds = Run();
    Fastest = Runs == 0 ? Seconds : std::min(Fastest, Seconds);
    Total += Seconds;
    ++Runs;
  }
  return Fastest;
}

double Seconds(TClock::time_point From) { return std::chrono::duration<double>(TClock::now() - From).count(); }

void WriteFacts(const std::string& Html, const WideString& URL, bool Time) {
  auto Doc = THtmlDocument::Parse(Html, URL);
  TJson J(std::cout);
  J.Open('{');

  // Forms, and which form's elements hold each control.
  TElementsRef Forms = Doc->Forms();
  std::unordered_map<const IHTMLElement*, int32_t> OwnerOf;
  J.Key("forms").Open('[');
  for (int32_t F = 0; F < Forms->Length(); ++F) {
    TElementRef Form = Forms->Item(F);
    TElementRef Parent = Form->ParentElement();
    J.Open('{');
    J.Key("name").Str(Require<IHTMLFormElement>(Form)->Name());
    J.Key("id").Str(Form->GetAttribute(u"id", AttributeIgnoreCase).AsWideString());
    J.Key("action").Str(Require<IHTMLFormElement>(Form)->Action());
    J.Key("parent").Str(Parent ? Lower(Parent) : WideString());
    J.Key("inNoscript").Bool(HasAncestor(Form, u"noscript"));
    J.Key("inTemplate").Bool(HasAncestor(Form, u"template"));
    J.Close('}');
    TElementsRef Elements = Require<IHTMLFormElement>(Form)->Elements();
    for (int32_t I = 0; I < Elements->Length(); ++I) OwnerOf.emplace(Elements->Item(I).get(), F);
  }
  J.Close(']');

  // Parents with a noscript somewhere inside: their text may differ by what noscript holds.
  std::unordered_set<const IHTMLElement*> AroundNoscript;
  {
    TElementsRef Noscripts = Doc->All()->Tags(u"noscript");
    for (int32_t I = 0; I < Noscripts->Length(); ++I)
      for (TElementRef P = Noscripts->Item(I)->ParentElement(); P; P = P->ParentElement())
        if (!AroundNoscript.insert(P.get()).second) break;
  }

  J.Key("controls").Open('[');
  for (const TElementRef& E : Controls(*Doc)) {
    const WideString Tag = Lower(E);
    J.Open('{');
    J.Key("tag").Str(Tag);
    WideString Type, Name;
    if (auto Input = Supports<IHTMLInputElement>(E)) {
      Type = Input->Type();
      Name = Input->Name();
    } else if (auto Select = Supports<IHTMLSelectElement>(E)) {
      Type = Select->Type();
      Name = Select->Name();
    } else if (auto Area = Supports<IHTMLTextAreaElement>(E)) {
      Type = u"textarea";
      Name = Area->Name();
    } else if (auto Button = Supports<IHTMLButtonElement>(E)) {
      Type = Button->Type();
      Name = Button->Name();
    }
    J.Key("type").Str(Type);
    J.Key("typeAttr").Str(E->GetAttribute(u"type", AttributeMatchCase).AsWideString());
    J.Key("name").Str(Name);
    J.Key("id").Str(E->GetAttribute(u"id", AttributeIgnoreCase).AsWideString());
    auto Owner = OwnerOf.find(E.get());
    J.Key("form").Num(Owner == OwnerOf.end() ? -1 : Owner->second);
    J.Key("formAttr").Bool(!E->GetAttribute(u"form", AttributeIgnoreCase).IsEmptyOrNull());
    J.Key("inNoscript").Bool(HasAncestor(E, u"noscript"));
    J.Key("inTemplate").Bool(HasAncestor(E, u"template"));
    if (auto Select = Supports<IHTMLSelectElement>(E)) {
      J.Key("selectedIndex").Num(Select->SelectedIndex());
      J.Key("options").Open('[');
      for (int32_t I = 0; I < Select->Length(); ++I) {
        auto Option = Require<IHTMLOptionElement>(Select->Item(I));
        J.Open('{');
        J.Key("text").Str(Option->Text());
        J.Key("value").Str(Option->Value());
        J.Key("selected").Bool(Option->Selected());
        J.Close('}');
      }
      J.Close(']');
    }
    TElementRef Parent = E->ParentElement();
    J.Key("noscriptNear").Bool(Parent && AroundNoscript.count(Parent.get()) > 0);
    J.Key("parentText").Str(Parent ? Parent->InnerText() : WideString());
    WideString Before;
    try {
      Before = TextBefore(E);
    } catch (const Exception&) {
    }
    J.Key("beforeText").Str(Before);
    J.Close('}');
  }
  J.Close(']');

  if (Time) {
    const double Parse = Measure([&] {
      const auto Start = TClock::now();
      GumboOutput* Output = gumbo_parse_with_options(&kGumboDefaultOptions, Html.data(), Html.size());
      gumbo_destroy_output(&kGumboDefaultOptions, Output);
      return Seconds(Start);
    });
    const double Load = Measure([&] {
      const auto Start = TClock::now();
      auto Fresh = THtmlDocument::Parse(Html, URL);
      return Seconds(Start);
    });
    const double Near = Measure([&] {
      auto Fresh = THtmlDocument::Parse(Html, URL);
      const auto Start = TClock::now();
      AnswerNearText(*Fresh);
      return Seconds(Start);
    });
    J.Key("time").Open('{');
    J.Key("parse").Num(Parse);
    J.Key("load").Num(Load);
    J.Key("near").Num(Near);
    J.Close('}');
  }
  J.Close('}');
  std::cout << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  bool Time = false;
  std::string Path;
  for (int I = 1; I < argc; ++I) {
    const std::string Arg = argv[I];
    if (Arg == "--time")
      Time = true;
    else if (Path.empty())
      Path = Arg;
    else
      Path.clear(), I = argc;  // more than one page: refuse
  }
  if (Path.empty()) {
    std::cerr << "usage: PageFacts [--time] PAGE.html\n";
    return 2;
  }
  std::ifstream In(Path, std::ios::binary);
  if (!In) {
    std::cerr << "PageFacts: cannot read " << Path << '\n';
    return 1;
  }
  const std::string Html((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  try {
    WriteFacts(Html, u"file:///page.html", Time);
  } catch (const Exception& E) {
    std::cerr << "PageFacts: " << E.Message() << '\n';
    return 1;
  }
  return 0;
}
