// Arbitrary bytes as a page: parsing and walking the document (every element, its text and
// markup, text ranges over the body) must never crash or trip a sanitizer.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "headless/HtmlDom.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

using namespace pel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Installed = (InstallPlatformBinding(), true);
  (void)Installed;
  auto Doc = headless::THtmlDocument::Parse(std::string(reinterpret_cast<const char*>(Data), Size),
                                            u"http://a.com/dir/page.html");
  Doc->Title();
  TElementsRef All = Doc->All();
  for (int32_t I = 0; I < All->Length(); ++I) {
    TElementRef E = All->Item(I);
    if (E->SourceIndex() != I) __builtin_trap();
    E->InnerText();
    E->TagName();
    E->Children()->Length();
    if (auto Select = Supports<IHTMLSelectElement>(std::static_pointer_cast<IInterface>(E))) {
      Select->SelectedIndex();
      Select->Value();
    }
    if (auto Anchor = Supports<IHTMLAnchorElement>(std::static_pointer_cast<IInterface>(E))) Anchor->Href();
  }
  // Every control a form lists belongs to that form, and to no other.
  TElementsRef Forms = Doc->Forms();
  std::set<const IHTMLElement*> Listed;
  for (int32_t F = 0; F < Forms->Length(); ++F) {
    auto* Form = dynamic_cast<headless::THtmlElement*>(Forms->Item(F).get());
    TElementsRef Controls =
        Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Forms->Item(F)))->Elements();
    for (int32_t I = 0; I < Controls->Length(); ++I) {
      if (static_cast<headless::THtmlElement&>(*Controls->Item(I)).OwnerForm() != Form) __builtin_trap();
      if (!Listed.insert(Controls->Item(I).get()).second) __builtin_trap();
    }
  }
  if (TElementRef Body = Doc->Body()) {
    Body->InnerHTML();
    if (auto B = Supports<IHTMLBodyElement>(std::static_pointer_cast<IInterface>(Body))) {
      auto Range = B->CreateTextRange();
      const WideString Text = Range->Text();
      for (int32_t I = 0; I < All->Length(); I += 7) {
        auto R = Range->Duplicate();
        try {
          R->MoveToElementText(All->Item(I));
        } catch (const EOleSysError&) {
          continue;  // elements outside the body have no text there
        }
        R->MoveStart(u"character", -1);
        if (R->Text().size() > Text.size()) __builtin_trap();
      }
    }
  }
  return 0;
}
