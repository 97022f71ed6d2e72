// Building a document from HTML: tag names and what they mean, the element objects a tag makes,
// and the load from the HTML5 parser's tree, with the form owners the parser decides and gumbo does not
// report.

#include "HtmlDom.h"

#include <gumbo.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "HtmlDomInternal.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

namespace {

// ---- Form owners as the parser decides them.

// Elements whose content the tokenizer reads as text, where "</form>" is only text.
bool IsRawTextParent(GumboTag Tag) {
  return Tag == GUMBO_TAG_SCRIPT || Tag == GUMBO_TAG_STYLE || Tag == GUMBO_TAG_TEXTAREA || Tag == GUMBO_TAG_TITLE ||
         Tag == GUMBO_TAG_XMP || Tag == GUMBO_TAG_IFRAME || Tag == GUMBO_TAG_NOEMBED || Tag == GUMBO_TAG_NOFRAMES ||
         Tag == GUMBO_TAG_PLAINTEXT;
}

bool StartsWithNoCase(const std::string& Text, size_t At, const char* Lower) {
  const size_t N = std::strlen(Lower);
  if (At + N > Text.size()) return false;
  for (size_t I = 0; I < N; ++I) {
    char C = Text[At + I];
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
    if (C != Lower[I]) return false;
  }
  return true;
}

// Where an end tag of this name starts: "</name" followed by a blank, "/" or ">".
bool IsEndTagAt(const std::string& Text, size_t At, const char* LowerName) {
  if (!StartsWithNoCase(Text, At, "</") || !StartsWithNoCase(Text, At + 2, LowerName)) return false;
  const size_t After = At + 2 + std::strlen(LowerName);
  if (After >= Text.size()) return false;
  const char C = Text[After];
  return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '/' || C == '>';
}

std::vector<size_t> EndTagsIn(const std::string& Text, const char* LowerName) {
  std::vector<size_t> Found;
  for (size_t P = Text.find("</"); P != std::string::npos; P = Text.find("</", P + 2))
    if (IsEndTagAt(Text, P, LowerName)) Found.push_back(P);
  return Found;
}

bool InRanges(const std::vector<std::pair<size_t, size_t>>& Ranges, size_t At) {
  auto It = std::upper_bound(Ranges.begin(), Ranges.end(), std::make_pair(At, SIZE_MAX));
  return It != Ranges.begin() && At < std::prev(It)->second;
}

// The source of each noscript element's content, in source order: from the end of its start tag
// to its end tag or the end of the page. One inside another's content is text of the outer one.
std::vector<std::pair<size_t, size_t>> NoscriptRanges(const std::string& Html, const GumboNode* Root) {
  std::vector<std::pair<size_t, size_t>> Ranges;
  bool Any = false;
  for (size_t P = Html.find('<'); P != std::string::npos && !Any; P = Html.find('<', P + 1))
    Any = StartsWithNoCase(Html, P + 1, "noscript");
  if (!Any) return Ranges;
  std::vector<size_t> Starts;
  std::vector<const GumboNode*> Stack{Root};
  while (!Stack.empty()) {
    const GumboNode* N = Stack.back();
    Stack.pop_back();
    if (N->type != GUMBO_NODE_ELEMENT && N->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& E = N->v.element;
    if (E.tag == GUMBO_TAG_NOSCRIPT && E.original_tag.length > 0)
      Starts.push_back(E.start_pos.offset + E.original_tag.length);
    for (unsigned I = 0; I < E.children.length; ++I) Stack.push_back(static_cast<const GumboNode*>(E.children.data[I]));
  }
  std::sort(Starts.begin(), Starts.end());
  for (size_t From : Starts) {
    if (!Ranges.empty() && From < Ranges.back().second) continue;
    size_t End = Html.size();
    for (size_t P = Html.find("</", From); P != std::string::npos; P = Html.find("</", P + 2))
      if (IsEndTagAt(Html, P, "noscript")) {
        End = P;
        break;
      }
    Ranges.emplace_back(From, End);
  }
  return Ranges;
}

}  // namespace

// ---- Documents and windows

std::vector<TGUID> ElementEventInterfaces(const WideString& LowerTag) {
  if (LowerTag == u"form") return {DIID_HTMLFormElementEvents};
  if (LowerTag == u"input") return {DIID_HTMLInputTextElementEvents};
  if (LowerTag == u"textarea") return {DIID_HTMLTextContainerEvents};
  if (LowerTag == u"select") return {DIID_HTMLSelectElementEvents};
  return {};
}

const TTagInfo& InternTag(const WideString& LowerTag) {
  // Scripts of several pages may make elements at once; the table only grows and its entries never
  // move, so a reference handed out stays good.
  static std::mutex Lock;
  static std::unordered_map<WideString, std::unique_ptr<TTagInfo>> Tags;
  std::lock_guard<std::mutex> Guard(Lock);
  auto& Info = Tags[LowerTag];
  if (!Info) {
    using C = TTagInfo::TClass;
    static const std::pair<const char16_t*, C> Classes[] = {
        {u"form", C::Form},         {u"input", C::Input},   {u"select", C::Select}, {u"option", C::Option},
        {u"textarea", C::TextArea}, {u"button", C::Button}, {u"a", C::Anchor},      {u"area", C::Area},
        {u"meta", C::Meta},         {u"body", C::Body}};
    Info = std::make_unique<TTagInfo>(TTagInfo{LowerTag, TagFlags(LowerTag), C::Plain, AsciiUpper(LowerTag)});
    for (const auto& [Name, Class] : Classes)
      if (LowerTag == Name) Info->Class = Class;
  }
  return *Info;
}

uint8_t TagFlags(const WideString& LowerTag) {
  static const std::unordered_map<WideString, uint8_t> Flags = [] {
    std::unordered_map<WideString, uint8_t> M;
    for (const char16_t* T :
         {u"address", u"article",  u"aside",  u"blockquote", u"body",    u"center", u"dd",    u"div",   u"dl",
          u"dt",      u"fieldset", u"footer", u"form",       u"h1",      u"h2",     u"h3",    u"h4",    u"h5",
          u"h6",      u"header",   u"hr",     u"html",       u"li",      u"main",   u"nav",   u"ol",    u"p",
          u"section", u"table",    u"tr",     u"ul",         u"caption", u"tbody",  u"thead", u"tfoot", u"frameset"})
      M[T] |= TagBlock;
    M[u"pre"] |= TagBlock | TagPre;
    for (const char16_t* T : {u"head", u"script", u"style", u"title", u"template", u"noscript", u"input", u"textarea",
                              u"iframe", u"frame", u"option", u"select", u"img", u"meta", u"link"})
      M[T] |= TagTextHidden;
    M[u"br"] |= TagLineBreak;
    M[u"td"] |= TagCell;
    M[u"th"] |= TagCell;
    M[u"select"] |= TagSelect;
    for (const char16_t* T : {u"input", u"select", u"textarea", u"button"}) M[T] |= TagControl;
    return M;
  }();
  auto It = Flags.find(LowerTag);
  return It == Flags.end() ? 0 : It->second;
}

std::shared_ptr<THtmlElement> CreateElement(const WideString& LowerTag) { return CreateElement(InternTag(LowerTag)); }

std::shared_ptr<THtmlElement> CreateElement(const TTagInfo& Tag) { return MakeElement(Tag, nullptr); }

std::shared_ptr<THtmlDocument> THtmlDocument::Parse(const std::string& Utf8Html, const WideString& URL) {
  std::shared_ptr<THtmlDocument> Doc(new THtmlDocument());
  Doc->FURL = URL;
  Doc->FSourceSize = Utf8Html.size();
  Doc->FEvents.AddConnectionPoint(DIID_HTMLDocumentEvents);

  GumboOutput* Output = gumbo_parse_with_options(&kGumboDefaultOptions, Utf8Html.data(), Utf8Html.size());
  struct TGuard {
    GumboOutput* Output;
    TNodeArena* Arena = TNodeArena::Create();
    // Texts parsed apart (see KeepWhatFollows) and their sources, kept until the tree is built.
    std::vector<GumboOutput*> Pieces;
    std::deque<std::string> PieceSources;
    ~TGuard() {
      for (GumboOutput* Piece : Pieces) gumbo_destroy_output(&kGumboDefaultOptions, Piece);
      gumbo_destroy_output(&kGumboDefaultOptions, Output);
      Arena->Release();
    }
  } Guard{Output};
  TNodeArena* const Arena = Guard.Arena;

  // The known tags' entries, looked up once per tag a page uses rather than once per element.
  std::vector<const TTagInfo*> KnownTags(GUMBO_TAG_LAST + 1, nullptr);
  // Every element made, in document order: the state that starts from the markup is set from it
  // once the tree stands, and it is the document's first element list.
  std::vector<std::shared_ptr<THtmlElement>> Elements;
  auto ElementOf = [&KnownTags, &Elements, Arena](const GumboNode* Node) {
    const GumboElement& G = Node->v.element;
    const TTagInfo* Tag;
    if (G.tag == GUMBO_TAG_UNKNOWN || G.tag > GUMBO_TAG_LAST) {
      GumboStringPiece Name = G.original_tag;
      gumbo_tag_from_original_text(&Name);
      Tag = &InternTag(AsciiLower(FromUtf8(Name.data, Name.length)));
    } else if (!(Tag = KnownTags[G.tag])) {
      const char* Name = gumbo_normalized_tagname(G.tag);
      Tag = KnownTags[G.tag] = &InternTag(AsciiLower(FromUtf8(Name, std::strlen(Name))));
    }
    auto E = MakeElement(*Tag, Arena);
    E->FChildren = TNodeList(TNodeList::allocator_type(Arena));
    E->FAttributes = TAttributeList(TAttributeList::allocator_type(Arena));
    Elements.push_back(E);
    E->FAttributes.reserve(G.attributes.length);
    for (unsigned I = 0; I < G.attributes.length; ++I) {
      const auto* A = static_cast<const GumboAttribute*>(G.attributes.data[I]);
      E->FAttributes.emplace_back(FromUtf8(A->name, std::strlen(A->name)), FromUtf8(A->value, std::strlen(A->value)));
    }
    return E;
  };

  // Where each form and control stood in the source, for their owners below; a control also
  // with the form around it in the tree, known as it is made, so that no control climbs its
  // ancestors to find it (a page may nest as deep as it likes).
  struct TPlacedControl {
    size_t At;
    THtmlElement* Control;
    THtmlElement* Enclosing;
  };
  std::vector<std::pair<size_t, THtmlElement*>> Forms;
  std::vector<TPlacedControl> Controls;
  // Where "</form>" would not be a tag: in comments, raw text and attribute values. Text nodes
  // otherwise never hold one, though gumbo's may span a tag it ignored.
  std::vector<std::pair<size_t, size_t>> NotTags;

  // The browser runs scripts, so its tokenizer reads a noscript element's content as text up to
  // "</noscript>"; gumbo parses it as markup (and from the head lets it spill into the body).
  // What gumbo made of that source is left out and the noscript holds the text.
  const auto Noscripts = NoscriptRanges(Utf8Html, Output->root);
  auto InNoscript = [&](size_t At) { return !Noscripts.empty() && InRanges(Noscripts, At); };

  Doc->FRoot = ElementOf(Output->root);
  Doc->FRoot->FDocument = Doc;
  // Nodes are made in document order: a node's children wait on the stack, first on top.
  struct TPending {
    const GumboNode* Child;
    const GumboNode* Node;
    THtmlElement* Into;
    THtmlElement* Form;  // the nearest form at or above Into
  };
  std::vector<TPending> Stack;
  auto Expand = [&Stack](const GumboNode* Node, THtmlElement* Into, THtmlElement* Form) {
    const GumboVector& Children = Node->v.element.children;
    Into->FChildren.reserve(Children.length);
    for (unsigned I = Children.length; I-- > 0;)
      Stack.push_back({static_cast<const GumboNode*>(Children.data[I]), Node, Into, Form});
  };
  Expand(Output->root, Doc->FRoot.get(), nullptr);
  // What gumbo hung inside an element that a browser running scripts reads as noscript text, but
  // that starts after that text, goes where the element stands, in document order: pushed last,
  // it is made right after the element's place (or in it, when the element is dropped).
  auto KeepWhatFollows = [&](const GumboNode* Inside, const GumboNode* Node, THtmlElement* Into, THtmlElement* Form) {
    std::vector<const GumboNode*> After, Walk;
    auto Push = [&Walk](const GumboNode* N) {
      const GumboVector& Children = N->v.element.children;
      for (unsigned I = Children.length; I-- > 0;) Walk.push_back(static_cast<const GumboNode*>(Children.data[I]));
    };
    Push(Inside);
    while (!Walk.empty()) {
      const GumboNode* N = Walk.back();
      Walk.pop_back();
      const bool IsElement = N->type == GUMBO_NODE_ELEMENT || N->type == GUMBO_NODE_TEMPLATE;
      // An element gumbo made without a tag (implied) has no place of its own: look inside.
      if (IsElement && N->v.element.original_tag.length == 0) {
        Push(N);
        continue;
      }
      const size_t At = IsElement ? N->v.element.start_pos.offset : N->v.text.start_pos.offset;
      if (!InNoscript(At)) {
        After.push_back(N);
      } else if (IsElement) {
        Push(N);
      } else if (N->type == GUMBO_NODE_TEXT || N->type == GUMBO_NODE_WHITESPACE) {
        // Gumbo's text runs on over the end tag it ignored; the browser's text after that tag is
        // the source from there to the text's end, decoded by parsing that piece alone (it holds
        // no tag, or the text would have ended there), in a body so that its blanks stay.
        auto Range = std::upper_bound(Noscripts.begin(), Noscripts.end(), std::make_pair(At, SIZE_MAX));
        if (Range == Noscripts.begin()) continue;
        const size_t TagEnd = Utf8Html.find('>', std::prev(Range)->second);
        const size_t TextEnd = At + N->v.text.original_text.length;
        if (TagEnd == std::string::npos || TagEnd + 1 >= TextEnd) continue;
        static constexpr std::string_view Opening = "<body>";
        const std::string& Source =
            Guard.PieceSources.emplace_back(std::string(Opening) + Utf8Html.substr(TagEnd + 1, TextEnd - TagEnd - 1));
        GumboOutput* Piece = gumbo_parse_with_options(&kGumboDefaultOptions, Source.data(), Source.size());
        Guard.Pieces.push_back(Piece);
        const GumboNode* Body = nullptr;
        const GumboVector& Top = Piece->root->v.element.children;
        for (unsigned I = 0; I < Top.length; ++I)
          if (static_cast<const GumboNode*>(Top.data[I])->v.element.tag == GUMBO_TAG_BODY)
            Body = static_cast<const GumboNode*>(Top.data[I]);
        if (!Body || Body->v.element.children.length == 0) continue;
        auto* Text = static_cast<GumboNode*>(Body->v.element.children.data[0]);
        if (Text->type != GUMBO_NODE_TEXT && Text->type != GUMBO_NODE_WHITESPACE) continue;
        // Where it stands in the page, for what asks later whether it lies in noscript content.
        Text->v.text.start_pos.offset += static_cast<unsigned>(TagEnd + 1 - Opening.size());
        After.push_back(Text);
      }
    }
    for (auto I = After.rbegin(); I != After.rend(); ++I) Stack.push_back({*I, Node, Into, Form});
  };
  while (!Stack.empty()) {
    const auto [Child, Node, Into, Form] = Stack.back();
    Stack.pop_back();
    const bool RawText = IsRawTextParent(Node->v.element.tag);
    std::shared_ptr<THtmlNode> Made;
    if (Child->type == GUMBO_NODE_ELEMENT || Child->type == GUMBO_NODE_TEMPLATE) {
      const GumboElement& G = Child->v.element;
      // An element the parser made without a tag of its own (an implied body) stays. One that
      // starts in noscript content is text to the browser, but gumbo may have opened it again
      // after the noscript (a formatting element it reconstructs): what it holds from there on
      // stays where it stands.
      if (G.original_tag.length > 0 && InNoscript(G.start_pos.offset)) {
        KeepWhatFollows(Child, Node, Into, Form);
        continue;
      }
      auto E = ElementOf(Child);
      if (G.original_tag.length > 2 &&
          std::string_view(G.original_tag.data + 1, G.original_tag.length - 1).find("</") != std::string_view::npos)
        NotTags.emplace_back(G.start_pos.offset, G.start_pos.offset + G.original_tag.length);
      if (G.tag == GUMBO_TAG_NOSCRIPT && G.original_tag.length > 0) {
        const size_t From = G.start_pos.offset + G.original_tag.length;
        auto It = std::lower_bound(Noscripts.begin(), Noscripts.end(), std::make_pair(From, size_t{0}));
        if (It != Noscripts.end() && It->first == From && It->second > From) {
          auto Text = MakeNode<THtmlText>(Arena, FromUtf8(Utf8Html.data() + From, It->second - From));
          Text->FParent = E.get();
          Text->FDocument = Doc;
          E->FChildren.push_back(std::move(Text));
        }
        // An element left open in the content (a paragraph) keeps gumbo from ending the noscript
        // at its end tag, and what follows hangs inside it; a browser that runs scripts ends it
        // there.
        KeepWhatFollows(Child, Node, Into, Form);
        Made = std::move(E);
      } else if (E->Is(TTagInfo::TClass::Form) && G.original_tag.length > 0)
        Forms.emplace_back(G.start_pos.offset, E.get());
      else if (E->Is(TagControl))
        Controls.push_back({G.start_pos.offset, E.get(), Form});
      if (E) {
        THtmlElement* Inner = E->Is(TTagInfo::TClass::Form) ? E.get() : Form;
        Expand(Child, E.get(), Inner);
        Made = std::move(E);
      }
    } else if (Child->type == GUMBO_NODE_TEXT || Child->type == GUMBO_NODE_WHITESPACE ||
               Child->type == GUMBO_NODE_CDATA) {
      if (InNoscript(Child->v.text.start_pos.offset)) continue;
      if (RawText)
        NotTags.emplace_back(Child->v.text.start_pos.offset,
                             Child->v.text.start_pos.offset + Child->v.text.original_text.length);
      Made = MakeNode<THtmlText>(Arena, FromUtf8(Child->v.text.text, std::strlen(Child->v.text.text)));
    } else {
      // Comments are not part of the page a user sees.
      if (Child->type == GUMBO_NODE_COMMENT)
        NotTags.emplace_back(Child->v.text.start_pos.offset,
                             Child->v.text.start_pos.offset + Child->v.text.original_text.length);
      continue;
    }
    Made->FParent = Into;
    Made->FDocument = Doc;
    Into->FChildren.push_back(std::move(Made));
  }
  // The parser keeps a pointer to the form it last opened until a "</form>" tag, even when the
  // form itself was closed earlier (opened between a table and its rows, or closed by the end tag
  // of an enclosing element): controls read meanwhile belong to it, wherever they lie.
  if (!Forms.empty() && !Controls.empty()) {
    std::vector<size_t> Ends = EndTagsIn(Utf8Html, "form");
    NotTags.insert(NotTags.end(), Noscripts.begin(), Noscripts.end());
    std::sort(NotTags.begin(), NotTags.end());
    std::erase_if(Ends, [&](size_t At) { return InRanges(NotTags, At); });
    std::stable_sort(Forms.begin(), Forms.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    std::stable_sort(Controls.begin(), Controls.end(), [](const auto& A, const auto& B) { return A.At < B.At; });
    size_t NextForm = 0, NextEnd = 0;
    THtmlElement* Open = nullptr;
    for (auto [At, Control, Enclosing] : Controls) {
      for (;;) {
        const size_t FormAt = NextForm < Forms.size() ? Forms[NextForm].first : SIZE_MAX;
        const size_t EndAt = NextEnd < Ends.size() ? Ends[NextEnd] : SIZE_MAX;
        if (std::min(FormAt, EndAt) > At) break;
        if (FormAt < EndAt) {
          Open = Forms[NextForm++].second;
        } else {
          Open = nullptr;
          ++NextEnd;
        }
      }
      if (!Open) continue;
      if (Enclosing != Open) Control->Extras().ParserForm = Open->SharedElement();
    }
  }

  // Control state and the inline background colour start from the markup.
  for (const auto& E : Elements) {
    if (E->HasAttribute(u"style")) {
      const WideString Style = E->AttributeText(u"style");
      if (WideString Color = InlineBackgroundColor(Style); !Color.empty()) E->Extras().BackgroundColor = std::move(Color);
      E->SetStyleHiding(InlineStyleHiding(Style));
    }
    using C = TTagInfo::TClass;
    if (E->Is(C::Input))
      static_cast<THtmlInput&>(*E).InitState();
    else if (E->Is(C::Select))
      static_cast<THtmlSelect&>(*E).InitState();
    else if (E->Is(C::TextArea))
      static_cast<THtmlTextArea&>(*E).InitState();
  }
  // The last charset a meta element names wins, as the elements stand in the page.
  for (const auto& E : Elements) {
    if (!E->Is(TTagInfo::TClass::Meta)) continue;
    const WideString Charset = E->AttributeText(u"charset");
    if (!Charset.empty()) Doc->FCharset = AsciiLower(TrimSpaces(Charset));
  }
  Doc->FAll = std::move(Elements);
  Doc->FAllVersion = Doc->FVersion;
  return Doc;
}

}  // namespace pel::headless
