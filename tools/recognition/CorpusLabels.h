#pragma once
// What the two benchmarks share about a labelled corpus (the layout of the formasaurus corpus:
// pages/, fields.tsv): which corpus classes a profile field answers, how a row is split, which
// controls the corpus counts, and the processor time of the calling thread.

#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Dom.h"
#include "platform/Services.h"

namespace pel::bench {

// What a profile field counts as: the corpus' classes it is the right answer for.
inline const std::map<std::string, std::set<std::string>> RightFor = {
    {"First name", {"name.first"}},
    {"Middle name", {"name.middle"}},
    {"Last name", {"name.last"}},
    {"Full name", {"name.full"}},
    {"E-mail", {"email", "email.confirm", "username_or_email"}},
    {"Username", {"username", "username_or_email"}},
    {"Password", {"password", "password.confirm"}},
    {"Phone", {"phone"}},
    {"Mobile", {"phone"}},
    {"Fax", {"fax"}},
    {"Website", {"url"}},
    {"Company", {"organization"}},
    {"Gender", {"gender"}},
    {"Address line 1", {"address", "address.line1", "address.street_name"}},
    {"Address line 2", {"address.line2", "address.apartment"}},
    {"City", {"address.city"}},
    {"State", {"address.state"}},
    {"Postcode", {"address.postal_code"}},
    {"Country", {"address.country"}},
    {"Birth date", {"birth.date"}},
    {"Birth day", {"birth.day"}},
    {"Birth month", {"birth.month"}},
    {"Birth year", {"birth.year"}},
    {"Card holder", {"cc.name"}},
    {"Card number", {"cc.number"}},
    {"Card expiry month", {"cc.exp_month"}},
    {"Card expiry year", {"cc.exp_year"}},
    {"Card security code", {"cc.csc"}},
};

inline std::vector<std::string> SplitTabs(const std::string& Line) {
  std::vector<std::string> Cells;
  std::stringstream In(Line);
  for (std::string Cell; std::getline(In, Cell, '\t');) Cells.push_back(Cell);
  if (!Line.empty() && Line.back() == '\t') Cells.emplace_back();
  return Cells;
}

inline std::string Utf8(const WideString& Text) { return WideToUtf8(Text); }

inline double ThreadCpuMs() {
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return static_cast<double>(Now.tv_sec) * 1e3 + static_cast<double>(Now.tv_nsec) / 1e6;
}

// A control as the corpus counts it: input (not hidden), select, textarea and button.
inline bool Counted(const TElementRef& E) {
  const WideString Tag = AsciiLowerCase(E->TagName());
  if (Tag == u"input") return AsciiLowerCase(E->GetAttribute(u"type", 0).AsWideString()) != u"hidden";
  return Tag == u"select" || Tag == u"textarea" || Tag == u"button";
}

// The form's counted controls, in document order.
inline std::vector<TElementRef> CountedControls(const TElementRef& Form) {
  std::vector<TElementRef> Result;
  auto AsForm = Supports<IHTMLFormElement>(Form);
  if (!AsForm) return Result;
  TElementsRef All = AsForm->Elements();
  for (int32_t I = 0; I < All->Length(); ++I)
    if (TElementRef E = All->Item(I); E && Counted(E)) Result.push_back(E);
  return Result;
}

}  // namespace pel::bench
