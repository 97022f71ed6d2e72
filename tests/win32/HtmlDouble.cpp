// The page double in C-style COM: each object is a struct of interface members (each a pointer to
// a table of slots) and a common head; the slots are plain functions. Only the slots the add-on
// calls are filled.
#define CINTERFACE
#define COBJMACROS
#include "HtmlDouble.h"

#include <mshtml.h>
#include <ocidl.h>
#include <olectl.h>
#include <servprov.h>

#include <algorithm>
#include <cstddef>
#include <cwctype>
#include <map>
#include <vector>

namespace pel::test {

namespace {

// The event interfaces, defined here: the system's identifier library lacks them.
constexpr GUID HtmlDocumentEvents = {0x3050F260, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
constexpr GUID HtmlWindowEvents = {0x96A0A4E0, 0xD062, 0x11CF, {0x94, 0xB6, 0x00, 0xAA, 0x00, 0x60, 0x27, 0x5C}};
constexpr GUID HtmlFormElementEvents = {0x3050F364, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
constexpr GUID HtmlInputTextElementEvents = {
    0x3050F2A7, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
constexpr GUID HtmlTextContainerEvents = {0x1FF6AA72, 0x5842, 0x11CF, {0xA7, 0x07, 0x00, 0xAA, 0x00, 0xC0, 0x09, 0x8D}};
constexpr GUID HtmlSelectElementEvents = {0x3050F302, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

struct TObjectHead;

// ---------------------------------------------------------------- the page's tree

struct TAttribute {
  std::wstring Name;
  VARIANT Value;
};

struct TNode {
  std::wstring Tag;   // upper case; empty for text
  std::wstring Text;  // a text node's characters
  std::vector<TAttribute> Attributes;
  std::vector<TNode*> Children;
  TNode* Parent = nullptr;
  // Control state, initialised from the markup.
  std::wstring Value;
  bool Checked = false;
  bool Selected = false;
  bool DefaultSelected = false;
  std::wstring Background;
  long Clicks = 0;
  VARIANT OnClick{}, OnChange{};
  long SourceIndex = -1;
  TObjectHead* Com = nullptr;  // the element's one COM object, made on first use
};

bool IsVoid(const std::wstring& Tag) {
  static const wchar_t* const Void[] = {L"INPUT", L"BR", L"IMG", L"META", L"LINK", L"HR", L"AREA", L"BASE", L"COL"};
  return std::any_of(std::begin(Void), std::end(Void), [&](const wchar_t* V) { return Tag == V; });
}

std::wstring Upper(std::wstring Text) {
  for (wchar_t& C : Text) C = static_cast<wchar_t>(std::towupper(C));
  return Text;
}

std::wstring Lower(std::wstring Text) {
  for (wchar_t& C : Text) C = static_cast<wchar_t>(std::towlower(C));
  return Text;
}

std::wstring Widen(const std::string& Text) {
  std::wstring Result;
  for (unsigned char C : Text) Result += static_cast<wchar_t>(C);
  return Result;
}

std::wstring DecodeEntities(const std::wstring& Text) {
  static const std::pair<const wchar_t*, wchar_t> Entities[] = {
      {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&nbsp;", 0xA0}, {L"&#39;", L'\''}};
  std::wstring Result;
  for (size_t I = 0; I < Text.size();) {
    bool Replaced = false;
    if (Text[I] == L'&')
      for (const auto& [Name, Char] : Entities)
        if (Text.compare(I, wcslen(Name), Name) == 0) {
          Result += Char;
          I += wcslen(Name);
          Replaced = true;
          break;
        }
    if (!Replaced) Result += Text[I++];
  }
  return Result;
}

}  // namespace

// ---------------------------------------------------------------- the page

struct THtmlDoublePage::TImpl {
  std::wstring Url;
  std::vector<std::unique_ptr<TNode>> Nodes;
  TNode* Root = nullptr;
  std::vector<TNode*> Elements;  // document order: the document's all
  long Outside = 0;
  long Calls = 0;
  long Sinks = 0;
  long Submits = 0;
  IUnknown* Browser = nullptr;
  HWND PageWindow = nullptr;
  std::vector<IUnknown*> Frames;
  TObjectHead* DocumentObject = nullptr;
  TObjectHead* WindowObject = nullptr;
  TNode* EventSource = nullptr;
  std::wstring EventType;
  bool InEvent = false;
  std::string FailMethod;
  HRESULT FailResult = S_OK;
  std::function<void(const std::wstring&)> OnSubmit;
  void Submitted(TNode* Form);
  std::vector<TObjectHead*> Cached;

  TNode* NewNode(const std::wstring& Tag) {
    Nodes.push_back(std::make_unique<TNode>());
    Nodes.back()->Tag = Tag;
    return Nodes.back().get();
  }
  void Parse(const std::string& Markup);
  TNode* ById(const std::wstring& Id) const;
  // Counts a call; true when the test asked this method to fail.
  bool Enter(const char* Method) {
    ++Calls;
    return !FailMethod.empty() && FailMethod == Method;
  }
};

namespace {

const VARIANT* FindAttribute(const TNode* Node, const std::wstring& Name) {
  for (const TAttribute& A : Node->Attributes)
    if (_wcsicmp(A.Name.c_str(), Name.c_str()) == 0) return &A.Value;
  return nullptr;
}

std::wstring AttributeText(const TNode* Node, const std::wstring& Name) {
  const VARIANT* Value = FindAttribute(Node, Name);
  if (!Value) return std::wstring();
  if (V_VT(Value) == VT_BSTR) return V_BSTR(Value) ? V_BSTR(Value) : L"";
  if (V_VT(Value) == VT_I4) return std::to_wstring(V_I4(Value));
  return std::wstring();
}

void SetAttributeValue(TNode* Node, const std::wstring& Name, const VARIANT& Value) {
  for (TAttribute& A : Node->Attributes)
    if (_wcsicmp(A.Name.c_str(), Name.c_str()) == 0) {
      VariantCopy(&A.Value, const_cast<VARIANT*>(&Value));
      return;
    }
  Node->Attributes.push_back({Name, {}});
  VariantInit(&Node->Attributes.back().Value);
  VariantCopy(&Node->Attributes.back().Value, const_cast<VARIANT*>(&Value));
}

}  // namespace

void THtmlDoublePage::TImpl::Parse(const std::string& Source) {
  const std::wstring Markup = Widen(Source);
  Root = NewNode(L"HTML");
  TNode* Current = Root;
  auto Close = [&](const std::wstring& Tag) {
    for (TNode* N = Current; N && N != Root; N = N->Parent)
      if (N->Tag == Tag) {
        Current = N->Parent;
        return;
      }
  };
  size_t I = 0;
  while (I < Markup.size()) {
    if (Markup[I] != L'<') {
      const size_t End = Markup.find(L'<', I);
      std::wstring Text = DecodeEntities(Markup.substr(I, End == std::wstring::npos ? std::wstring::npos : End - I));
      I = End == std::wstring::npos ? Markup.size() : End;
      if (Text.find_first_not_of(L" \t\r\n") == std::wstring::npos) continue;
      TNode* Node = NewNode(L"");
      Node->Text = Text;
      Node->Parent = Current;
      Current->Children.push_back(Node);
      continue;
    }
    if (Markup.compare(I, 4, L"<!--") == 0) {
      const size_t End = Markup.find(L"-->", I);
      I = End == std::wstring::npos ? Markup.size() : End + 3;
      continue;
    }
    if (Markup.compare(I, 2, L"<!") == 0) {
      I = Markup.find(L'>', I) + 1;
      continue;
    }
    const bool Closing = Markup[I + 1] == L'/';
    size_t P = I + (Closing ? 2 : 1);
    size_t NameEnd = P;
    while (NameEnd < Markup.size() && !std::iswspace(Markup[NameEnd]) && Markup[NameEnd] != L'>' &&
           Markup[NameEnd] != L'/')
      ++NameEnd;
    const std::wstring Tag = Upper(Markup.substr(P, NameEnd - P));
    P = NameEnd;
    if (Closing) {
      I = Markup.find(L'>', P) + 1;
      if (Tag != L"HTML") Close(Tag);
      continue;
    }
    std::vector<TAttribute> Attributes;
    while (P < Markup.size() && Markup[P] != L'>') {
      if (std::iswspace(Markup[P]) || Markup[P] == L'/') {
        ++P;
        continue;
      }
      size_t NEnd = P;
      while (NEnd < Markup.size() && !std::iswspace(Markup[NEnd]) && Markup[NEnd] != L'=' && Markup[NEnd] != L'>')
        ++NEnd;
      std::wstring Name = Lower(Markup.substr(P, NEnd - P));
      std::wstring Value;
      P = NEnd;
      if (P < Markup.size() && Markup[P] == L'=') {
        ++P;
        if (Markup[P] == L'"' || Markup[P] == L'\'') {
          const wchar_t Quote = Markup[P];
          const size_t VEnd = Markup.find(Quote, P + 1);
          Value = Markup.substr(P + 1, VEnd - P - 1);
          P = VEnd + 1;
        } else {
          size_t VEnd = P;
          while (VEnd < Markup.size() && !std::iswspace(Markup[VEnd]) && Markup[VEnd] != L'>') ++VEnd;
          Value = Markup.substr(P, VEnd - P);
          P = VEnd;
        }
      }
      TAttribute A{Name, {}};
      VariantInit(&A.Value);
      V_VT(&A.Value) = VT_BSTR;
      V_BSTR(&A.Value) = SysAllocString(DecodeEntities(Value).c_str());
      Attributes.push_back(A);
    }
    I = P + 1;
    if (Tag == L"HTML") {
      Root->Attributes = Attributes;
      continue;
    }
    // Implied ends: an option ends the option before it, a block ends an open paragraph.
    if (Tag == L"OPTION") Close(L"OPTION");
    if ((Tag == L"P" || Tag == L"DIV" || Tag == L"FORM" || Tag == L"TABLE") && Current->Tag == L"P") Close(L"P");
    TNode* Node = NewNode(Tag);
    Node->Attributes = Attributes;
    Node->Parent = Current;
    Current->Children.push_back(Node);
    Node->Value = AttributeText(Node, L"value");
    Node->Checked = FindAttribute(Node, L"checked") != nullptr;
    Node->Selected = Node->DefaultSelected = FindAttribute(Node, L"selected") != nullptr;
    if (!IsVoid(Tag)) Current = Node;
  }
  // Document order; an option without a value attribute has its text as value.
  std::vector<TNode*> Stack{Root};
  while (!Stack.empty()) {
    TNode* N = Stack.back();
    Stack.pop_back();
    if (N->Tag.empty()) continue;
    N->SourceIndex = static_cast<long>(Elements.size());
    Elements.push_back(N);
    for (auto It = N->Children.rbegin(); It != N->Children.rend(); ++It) Stack.push_back(*It);
  }
  for (TNode* N : Elements)
    if (N->Tag == L"OPTION" && !FindAttribute(N, L"value")) {
      std::wstring Text;
      for (TNode* C : N->Children) Text += C->Text;
      const size_t First = Text.find_first_not_of(L" \t\r\n"), Last = Text.find_last_not_of(L" \t\r\n");
      N->Value = First == std::wstring::npos ? L"" : Text.substr(First, Last - First + 1);
    } else if (N->Tag == L"TEXTAREA") {
      for (TNode* C : N->Children) N->Value += C->Text;
    }
}

void THtmlDoublePage::TImpl::Submitted(TNode* Form) {
  ++Submits;
  if (OnSubmit) OnSubmit(AttributeText(Form, L"action"));
}

TNode* THtmlDoublePage::TImpl::ById(const std::wstring& Id) const {
  for (TNode* N : Elements)
    if (AttributeText(N, L"id") == Id) return N;
  // Test pages name their controls more often than they give them ids.
  for (TNode* N : Elements)
    if (AttributeText(N, L"name") == Id) return N;
  return nullptr;
}

namespace {

using TPage = THtmlDoublePage::TImpl;

// ---------------------------------------------------------------- objects

enum class TKind { Element, Document, Window, Collection, Style, Event, ConnectionPoint, Enumerator };

struct TSink {
  GUID Interface;
  DWORD Cookie;
  IDispatch* Sink;
};

// The head every object of the page starts with after its interface members.
struct TObjectHead {
  TKind Kind;
  LONG Refs = 1;
  TPage* Page = nullptr;
  bool Cached = false;  // held by the page itself (elements, document, window)
  std::vector<TSink> Sinks;
  DWORD NextCookie = 1;
  virtual ~TObjectHead() {
    for (TSink& S : Sinks) IDispatch_Release(S.Sink);
  }
  virtual HRESULT Query(REFIID Riid, void** Object) = 0;
  virtual bool Supports(REFIID Interface) const = 0;  // event interfaces of its connection points
};

ULONG AddRefHead(TObjectHead* H) {
  ++H->Page->Outside;
  return static_cast<ULONG>(++H->Refs);
}

ULONG ReleaseHead(TObjectHead* H) {
  --H->Page->Outside;
  const LONG Count = --H->Refs;
  if (Count == 0 && !H->Cached) delete H;
  return static_cast<ULONG>(Count);
}

HRESULT QueryHead(TObjectHead* H, REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  const HRESULT Result = H->Query(Riid, Object);
  if (FAILED(Result)) {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRefHead(H);
  return S_OK;
}

// Every interface member of an object is a pointer-sized slot table pointer; the head is found
// from the member through the offset the object registered for it.
template <class TObject, class TInterface>
TObject* From(TInterface* This, TInterface TObject::*Member) {
  const auto Offset = reinterpret_cast<std::ptrdiff_t>(&(static_cast<TObject*>(nullptr)->*Member));
  return reinterpret_cast<TObject*>(reinterpret_cast<char*>(This) - Offset);
}

BSTR Copy(const std::wstring& Text) { return SysAllocStringLen(Text.data(), static_cast<UINT>(Text.size())); }

IDispatch* ElementObject(TPage* Page, TNode* Node);
IDispatch* NewCollection(TPage* Page, std::vector<TNode*> Nodes);

// ---------------------------------------------------------------- connection points

struct TPointObject final : TObjectHead {
  IConnectionPoint Point;
  TObjectHead* Owner;
  GUID Interface;
  TPointObject(TPage* P, TObjectHead* O, const GUID& I) : Owner(O), Interface(I) {
    Kind = TKind::ConnectionPoint;
    Page = P;
    ++P->Outside;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IConnectionPoint)) {
      *Object = &Point;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  bool Supports(REFIID) const override { return false; }
};

TPointObject* PointOf(IConnectionPoint* This) { return From(This, &TPointObject::Point); }

HRESULT STDMETHODCALLTYPE CP_QueryInterface(IConnectionPoint* This, REFIID Riid, void** Object) {
  return QueryHead(PointOf(This), Riid, Object);
}
ULONG STDMETHODCALLTYPE CP_AddRef(IConnectionPoint* This) { return AddRefHead(PointOf(This)); }
ULONG STDMETHODCALLTYPE CP_Release(IConnectionPoint* This) { return ReleaseHead(PointOf(This)); }
HRESULT STDMETHODCALLTYPE CP_GetConnectionInterface(IConnectionPoint* This, IID* Interface) {
  *Interface = PointOf(This)->Interface;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CP_Advise(IConnectionPoint* This, IUnknown* Sink, DWORD* Cookie) {
  TPointObject* P = PointOf(This);
  if (P->Page->Enter("Advise")) return P->Page->FailResult;
  IDispatch* Dispatch = nullptr;
  if (FAILED(IUnknown_QueryInterface(Sink, P->Interface, reinterpret_cast<void**>(&Dispatch))) || !Dispatch)
    return CONNECT_E_CANNOTCONNECT;
  *Cookie = P->Owner->NextCookie++;
  P->Owner->Sinks.push_back({P->Interface, *Cookie, Dispatch});
  ++P->Page->Sinks;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CP_Unadvise(IConnectionPoint* This, DWORD Cookie) {
  TPointObject* P = PointOf(This);
  ++P->Page->Calls;
  auto& Sinks = P->Owner->Sinks;
  for (auto It = Sinks.begin(); It != Sinks.end(); ++It)
    if (It->Cookie == Cookie) {
      IDispatch* Sink = It->Sink;
      Sinks.erase(It);
      --P->Page->Sinks;
      IDispatch_Release(Sink);
      return S_OK;
    }
  return CONNECT_E_NOCONNECTION;
}

IConnectionPointVtbl PointSlots = [] {
  IConnectionPointVtbl V{};
  V.QueryInterface = CP_QueryInterface;
  V.AddRef = CP_AddRef;
  V.Release = CP_Release;
  V.GetConnectionInterface = CP_GetConnectionInterface;
  V.Advise = CP_Advise;
  V.Unadvise = CP_Unadvise;
  return V;
}();

HRESULT FindPoint(TObjectHead* Owner, REFIID Riid, IConnectionPoint** Point) {
  *Point = nullptr;
  if (Owner->Page->Enter("FindConnectionPoint")) return Owner->Page->FailResult;
  if (!Owner->Supports(Riid)) return CONNECT_E_NOCONNECTION;
  auto* P = new TPointObject(Owner->Page, Owner, Riid);
  P->Point.lpVtbl = &PointSlots;
  *Point = &P->Point;
  return S_OK;
}

HRESULT Fire(TObjectHead* Owner, const GUID& Interface, long DispID) {
  // Sinks may go while the event runs: call a copy, each with its own reference.
  std::vector<IDispatch*> Targets;
  for (const TSink& S : Owner->Sinks)
    if (IsEqualIID(S.Interface, Interface)) {
      IDispatch_AddRef(S.Sink);
      Targets.push_back(S.Sink);
    }
  // The browser ignores what sinks answer; a test learns whether any sink took the event (S_OK),
  // else what the last one answered (S_FALSE when none is advised).
  HRESULT Result = S_FALSE;
  bool Taken = false;
  for (IDispatch* Sink : Targets) {
    DISPPARAMS None = {nullptr, nullptr, 0, 0};
    const HRESULT Hr = IDispatch_Invoke(Sink, DispID, IID_NULL, 0, DISPATCH_METHOD, &None, nullptr, nullptr, nullptr);
    Taken = Taken || Hr == S_OK;
    Result = Hr;
    IDispatch_Release(Sink);
  }
  return Taken ? S_OK : Result;
}

// ---------------------------------------------------------------- styles

struct TStyleObject final : TObjectHead {
  IHTMLStyle Style;
  TNode* Node;
  TStyleObject(TPage* P, TNode* N) : Node(N) {
    Kind = TKind::Style;
    Page = P;
    ++P->Outside;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IHTMLStyle)) {
      *Object = &Style;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  bool Supports(REFIID) const override { return false; }
};

TStyleObject* StyleOf(IHTMLStyle* This) { return From(This, &TStyleObject::Style); }
HRESULT STDMETHODCALLTYPE ST_QueryInterface(IHTMLStyle* This, REFIID Riid, void** Object) {
  return QueryHead(StyleOf(This), Riid, Object);
}
ULONG STDMETHODCALLTYPE ST_AddRef(IHTMLStyle* This) { return AddRefHead(StyleOf(This)); }
ULONG STDMETHODCALLTYPE ST_Release(IHTMLStyle* This) { return ReleaseHead(StyleOf(This)); }
HRESULT STDMETHODCALLTYPE ST_get_backgroundColor(IHTMLStyle* This, VARIANT* Value) {
  TStyleObject* S = StyleOf(This);
  ++S->Page->Calls;
  V_VT(Value) = VT_BSTR;
  V_BSTR(Value) = Copy(S->Node->Background);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE ST_put_backgroundColor(IHTMLStyle* This, VARIANT Value) {
  TStyleObject* S = StyleOf(This);
  ++S->Page->Calls;
  S->Node->Background = V_VT(&Value) == VT_BSTR && V_BSTR(&Value) ? V_BSTR(&Value) : L"";
  return S_OK;
}
IHTMLStyleVtbl StyleSlots = [] {
  IHTMLStyleVtbl V{};
  V.QueryInterface = ST_QueryInterface;
  V.AddRef = ST_AddRef;
  V.Release = ST_Release;
  V.get_backgroundColor = ST_get_backgroundColor;
  V.put_backgroundColor = ST_put_backgroundColor;
  return V;
}();

// ---------------------------------------------------------------- collections

struct TCollectionObject final : TObjectHead {
  IHTMLElementCollection Collection;
  std::vector<TNode*> Nodes;
  TCollectionObject(TPage* P, std::vector<TNode*> N) : Nodes(std::move(N)) {
    Kind = TKind::Collection;
    Page = P;
    ++P->Outside;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) ||
        IsEqualIID(Riid, IID_IHTMLElementCollection)) {
      *Object = &Collection;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  bool Supports(REFIID) const override { return false; }
};

TCollectionObject* CollectionOf(IHTMLElementCollection* This) { return From(This, &TCollectionObject::Collection); }
HRESULT STDMETHODCALLTYPE EC_QueryInterface(IHTMLElementCollection* This, REFIID Riid, void** Object) {
  return QueryHead(CollectionOf(This), Riid, Object);
}
ULONG STDMETHODCALLTYPE EC_AddRef(IHTMLElementCollection* This) { return AddRefHead(CollectionOf(This)); }
ULONG STDMETHODCALLTYPE EC_Release(IHTMLElementCollection* This) { return ReleaseHead(CollectionOf(This)); }
HRESULT STDMETHODCALLTYPE EC_get_length(IHTMLElementCollection* This, LONG* Length) {
  TCollectionObject* C = CollectionOf(This);
  if (C->Page->Enter("length")) return C->Page->FailResult;
  // A collection that shrinks while it is walked: its length promises one element too many.
  *Length = static_cast<LONG>(C->Nodes.size()) + (C->Page->FailMethod == "shrinking" ? 1 : 0);
  return S_OK;
}
HRESULT ItemOf(TPage* Page, const std::vector<TNode*>& Nodes, VARIANT Name, IDispatch** Result) {
  *Result = nullptr;
  if (Page->Enter("item")) return Page->FailResult;
  if (V_VT(&Name) != VT_I4 && V_VT(&Name) != VT_I2) return E_INVALIDARG;
  const long Index = V_VT(&Name) == VT_I4 ? V_I4(&Name) : V_I2(&Name);
  // An index past the end answers nothing, as the browser's collections do.
  if (Index < 0 || Index >= static_cast<long>(Nodes.size())) return S_OK;
  *Result = ElementObject(Page, Nodes[Index]);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EC_item(IHTMLElementCollection* This, VARIANT Name, VARIANT, IDispatch** Result) {
  TCollectionObject* C = CollectionOf(This);
  return ItemOf(C->Page, C->Nodes, Name, Result);
}
std::vector<TNode*> WithTag(const std::vector<TNode*>& Nodes, VARIANT Tag) {
  std::vector<TNode*> Found;
  const std::wstring Wanted = V_VT(&Tag) == VT_BSTR && V_BSTR(&Tag) ? Upper(V_BSTR(&Tag)) : L"";
  for (TNode* N : Nodes)
    if (N->Tag == Wanted) Found.push_back(N);
  return Found;
}
HRESULT STDMETHODCALLTYPE EC_tags(IHTMLElementCollection* This, VARIANT Tag, IDispatch** Result) {
  TCollectionObject* C = CollectionOf(This);
  if (C->Page->Enter("tags")) return C->Page->FailResult;
  *Result = NewCollection(C->Page, WithTag(C->Nodes, Tag));
  return S_OK;
}
IHTMLElementCollectionVtbl CollectionSlots = [] {
  IHTMLElementCollectionVtbl V{};
  V.QueryInterface = EC_QueryInterface;
  V.AddRef = EC_AddRef;
  V.Release = EC_Release;
  V.get_length = EC_get_length;
  V.item = EC_item;
  V.tags = EC_tags;
  return V;
}();

IDispatch* NewCollection(TPage* Page, std::vector<TNode*> Nodes) {
  auto* C = new TCollectionObject(Page, std::move(Nodes));
  C->Collection.lpVtbl = &CollectionSlots;
  return reinterpret_cast<IDispatch*>(&C->Collection);
}

// ---------------------------------------------------------------- elements

struct TElementObject final : TObjectHead {
  IHTMLElement Element;
  IHTMLInputElement Input;
  IHTMLSelectElement Select;
  IHTMLOptionElement Option;
  IHTMLFormElement Form;
  IHTMLTextAreaElement TextArea;
  IHTMLButtonElement Button;
  IHTMLAnchorElement Anchor;
  IHTMLBodyElement Body;
  IConnectionPointContainer Container;
  TNode* Node;
  TElementObject(TPage* P, TNode* N) : Node(N) {
    Kind = TKind::Element;
    Page = P;
    Cached = true;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    const std::wstring& Tag = Node->Tag;
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IHTMLElement))
      *Object = &Element;
    else if (IsEqualIID(Riid, IID_IConnectionPointContainer))
      *Object = &Container;
    else if (Tag == L"INPUT" && IsEqualIID(Riid, IID_IHTMLInputElement))
      *Object = &Input;
    else if (Tag == L"SELECT" && IsEqualIID(Riid, IID_IHTMLSelectElement))
      *Object = &Select;
    else if (Tag == L"OPTION" && IsEqualIID(Riid, IID_IHTMLOptionElement))
      *Object = &Option;
    else if (Tag == L"FORM" && IsEqualIID(Riid, IID_IHTMLFormElement))
      *Object = &Form;
    else if (Tag == L"TEXTAREA" && IsEqualIID(Riid, IID_IHTMLTextAreaElement))
      *Object = &TextArea;
    else if (Tag == L"BUTTON" && IsEqualIID(Riid, IID_IHTMLButtonElement))
      *Object = &Button;
    else if (Tag == L"A" && IsEqualIID(Riid, IID_IHTMLAnchorElement))
      *Object = &Anchor;
    else if (Tag == L"BODY" && IsEqualIID(Riid, IID_IHTMLBodyElement))
      *Object = &Body;
    else
      return E_NOINTERFACE;
    return S_OK;
  }
  bool Supports(REFIID Interface) const override {
    const std::wstring& Tag = Node->Tag;
    if (Tag == L"FORM") return IsEqualIID(Interface, HtmlFormElementEvents);
    if (Tag == L"SELECT") return IsEqualIID(Interface, HtmlSelectElementEvents);
    if (Tag == L"INPUT") return IsEqualIID(Interface, HtmlInputTextElementEvents);
    return IsEqualIID(Interface, HtmlTextContainerEvents);
  }
};

std::wstring InnerText(const TNode* Node) {
  if (Node->Tag.empty()) return Node->Text;
  std::wstring Text;
  for (const TNode* C : Node->Children) Text += InnerText(C);
  return Text;
}

std::vector<TNode*> Descendants(TNode* Node) {
  std::vector<TNode*> Result;
  std::vector<TNode*> Stack(Node->Children.rbegin(), Node->Children.rend());
  while (!Stack.empty()) {
    TNode* N = Stack.back();
    Stack.pop_back();
    if (N->Tag.empty()) continue;
    Result.push_back(N);
    for (auto It = N->Children.rbegin(); It != N->Children.rend(); ++It) Stack.push_back(*It);
  }
  return Result;
}

TNode* FormNodeOf(TNode* Node) {
  for (TNode* N = Node->Parent; N; N = N->Parent)
    if (N->Tag == L"FORM") return N;
  return nullptr;
}

std::vector<TNode*> FormControls(TNode* Form) {
  std::vector<TNode*> Controls;
  for (TNode* N : Descendants(Form))
    if (N->Tag == L"INPUT" || N->Tag == L"SELECT" || N->Tag == L"TEXTAREA" || N->Tag == L"BUTTON")
      Controls.push_back(N);
  return Controls;
}

std::vector<TNode*> Options(TNode* Select) {
  std::vector<TNode*> Result;
  for (TNode* N : Descendants(Select))
    if (N->Tag == L"OPTION") Result.push_back(N);
  return Result;
}

#define ELEMENT_OF(Member, This) From(This, &TElementObject::Member)
#define ENTER(E, Name)       \
  if ((E)->Page->Enter(Name)) \
  return (E)->Page->FailResult

HRESULT STDMETHODCALLTYPE EL_QueryInterface(IHTMLElement* This, REFIID Riid, void** Object) {
  return QueryHead(ELEMENT_OF(Element, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE EL_AddRef(IHTMLElement* This) { return AddRefHead(ELEMENT_OF(Element, This)); }
ULONG STDMETHODCALLTYPE EL_Release(IHTMLElement* This) { return ReleaseHead(ELEMENT_OF(Element, This)); }
HRESULT STDMETHODCALLTYPE EL_get_tagName(IHTMLElement* This, BSTR* Tag) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "tagName");
  *Tag = Copy(E->Node->Tag);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_parentElement(IHTMLElement* This, IHTMLElement** Parent) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "parentElement");
  *Parent = E->Node->Parent ? reinterpret_cast<IHTMLElement*>(ElementObject(E->Page, E->Node->Parent)) : nullptr;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_children(IHTMLElement* This, IDispatch** Children) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "children");
  std::vector<TNode*> Nodes;
  for (TNode* C : E->Node->Children)
    if (!C->Tag.empty()) Nodes.push_back(C);
  *Children = NewCollection(E->Page, Nodes);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_all(IHTMLElement* This, IDispatch** All) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "all");
  *All = NewCollection(E->Page, Descendants(E->Node));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_sourceIndex(IHTMLElement* This, LONG* Index) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "sourceIndex");
  *Index = E->Node->SourceIndex;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_document(IHTMLElement* This, IDispatch** Document) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "document");
  TObjectHead* D = E->Page->DocumentObject;
  AddRefHead(D);
  D->Query(IID_IDispatch, reinterpret_cast<void**>(Document));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_innerText(IHTMLElement* This, BSTR* Text) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "innerText");
  *Text = Copy(InnerText(E->Node));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_innerHTML(IHTMLElement* This, BSTR* Html) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "innerHTML");
  *Html = Copy(InnerText(E->Node));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_title(IHTMLElement* This, BSTR* Title) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "title");
  *Title = Copy(AttributeText(E->Node, L"title"));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_put_title(IHTMLElement* This, BSTR Title) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "title");
  VARIANT V;
  V_VT(&V) = VT_BSTR;
  V_BSTR(&V) = Title;
  SetAttributeValue(E->Node, L"title", V);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_style(IHTMLElement* This, IHTMLStyle** Style) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "style");
  auto* S = new TStyleObject(E->Page, E->Node);
  S->Style.lpVtbl = &StyleSlots;
  *Style = &S->Style;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_getAttribute(IHTMLElement* This, BSTR Name, LONG, VARIANT* Value) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "getAttribute");
  VariantInit(Value);
  const VARIANT* Found = FindAttribute(E->Node, Name ? Name : L"");
  if (!Found) {
    V_VT(Value) = VT_NULL;
    return S_OK;
  }
  return VariantCopy(Value, const_cast<VARIANT*>(Found));
}
HRESULT STDMETHODCALLTYPE EL_setAttribute(IHTMLElement* This, BSTR Name, VARIANT Value, LONG) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "setAttribute");
  SetAttributeValue(E->Node, Name ? Name : L"", Value);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_removeAttribute(IHTMLElement* This, BSTR Name, LONG, VARIANT_BOOL* Removed) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "removeAttribute");
  auto& A = E->Node->Attributes;
  const auto It = std::find_if(A.begin(), A.end(), [&](const TAttribute& X) {
    return _wcsicmp(X.Name.c_str(), Name ? Name : L"") == 0;
  });
  *Removed = It != A.end() ? VARIANT_TRUE : VARIANT_FALSE;
  if (It != A.end()) {
    VariantClear(&It->Value);
    A.erase(It);
  }
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EL_get_onclick(IHTMLElement* This, VARIANT* Handler) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "onclick");
  VariantInit(Handler);
  return VariantCopy(Handler, &E->Node->OnClick);
}
HRESULT STDMETHODCALLTYPE EL_put_onclick(IHTMLElement* This, VARIANT Handler) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "onclick");
  return VariantCopy(&E->Node->OnClick, &Handler);
}
HRESULT STDMETHODCALLTYPE EL_click(IHTMLElement* This) {
  TElementObject* E = ELEMENT_OF(Element, This);
  ENTER(E, "click");
  TNode* N = E->Node;
  ++N->Clicks;
  const std::wstring Type = Lower(AttributeText(N, L"type"));
  if (N->Tag == L"INPUT" && Type == L"checkbox") N->Checked = !N->Checked;
  if (N->Tag == L"INPUT" && Type == L"radio") N->Checked = true;
  // A submit control submits its form, as the browser does after the form's onsubmit.
  const bool Submits = (N->Tag == L"INPUT" && (Type == L"submit" || Type == L"image")) ||
                       (N->Tag == L"BUTTON" && (Type.empty() || Type == L"submit"));
  if (Submits && FormNodeOf(N)) E->Page->Submitted(FormNodeOf(N));
  return S_OK;
}
IHTMLElementVtbl ElementSlots = [] {
  IHTMLElementVtbl V{};
  V.QueryInterface = EL_QueryInterface;
  V.AddRef = EL_AddRef;
  V.Release = EL_Release;
  V.get_tagName = EL_get_tagName;
  V.get_parentElement = EL_get_parentElement;
  V.get_children = EL_get_children;
  V.get_all = EL_get_all;
  V.get_sourceIndex = EL_get_sourceIndex;
  V.get_document = EL_get_document;
  V.get_innerText = EL_get_innerText;
  V.get_innerHTML = EL_get_innerHTML;
  V.get_title = EL_get_title;
  V.put_title = EL_put_title;
  V.get_style = EL_get_style;
  V.getAttribute = EL_getAttribute;
  V.setAttribute = EL_setAttribute;
  V.removeAttribute = EL_removeAttribute;
  V.get_onclick = EL_get_onclick;
  V.put_onclick = EL_put_onclick;
  V.click = EL_click;
  return V;
}();

// The kinds' slots share the head's identity: QueryInterface, AddRef and Release go to the
// element's head.
#define KIND_IUNKNOWN(Prefix, Interface, Member)                                                   \
  HRESULT STDMETHODCALLTYPE Prefix##_QueryInterface(Interface* This, REFIID Riid, void** Object) { \
    return QueryHead(ELEMENT_OF(Member, This), Riid, Object);                                      \
  }                                                                                                \
  ULONG STDMETHODCALLTYPE Prefix##_AddRef(Interface* This) { return AddRefHead(ELEMENT_OF(Member, This)); } \
  ULONG STDMETHODCALLTYPE Prefix##_Release(Interface* This) { return ReleaseHead(ELEMENT_OF(Member, This)); }
#define STRING_GETTER(Prefix, Interface, Member, Name, Expression) \
  HRESULT STDMETHODCALLTYPE Prefix##_get_##Name(Interface* This, BSTR* Out) {    \
    TElementObject* E = ELEMENT_OF(Member, This);                                 \
    ENTER(E, #Name);                                                              \
    TNode* N = E->Node;                                                           \
    (void)N;                                                                      \
    *Out = Copy(Expression);                                                      \
    return S_OK;                                                                  \
  }

HRESULT FormOut(TElementObject* E, IHTMLFormElement** Form) {
  TNode* F = FormNodeOf(E->Node);
  *Form = nullptr;
  if (!F) return S_OK;
  IDispatch* Object = ElementObject(E->Page, F);
  TObjectHead* Head = F->Com;
  Head->Query(IID_IHTMLFormElement, reinterpret_cast<void**>(Form));
  (void)Object;
  return S_OK;
}

// Input
KIND_IUNKNOWN(IN, IHTMLInputElement, Input)
STRING_GETTER(IN, IHTMLInputElement, Input, type,
              Lower(AttributeText(N, L"type")).empty() ? std::wstring(L"text") : Lower(AttributeText(N, L"type")))
STRING_GETTER(IN, IHTMLInputElement, Input, name, AttributeText(N, L"name"))
STRING_GETTER(IN, IHTMLInputElement, Input, value, N->Value)
HRESULT STDMETHODCALLTYPE IN_put_value(IHTMLInputElement* This, BSTR Value) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "value");
  E->Node->Value = Value ? Value : L"";
  return S_OK;
}
HRESULT STDMETHODCALLTYPE IN_get_checked(IHTMLInputElement* This, VARIANT_BOOL* Checked) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "checked");
  *Checked = E->Node->Checked ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE IN_put_checked(IHTMLInputElement* This, VARIANT_BOOL Checked) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "checked");
  E->Node->Checked = Checked != VARIANT_FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE IN_get_maxLength(IHTMLInputElement* This, LONG* Length) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "maxLength");
  const std::wstring Text = AttributeText(E->Node, L"maxlength");
  *Length = Text.empty() ? 2147483647 : _wtol(Text.c_str());
  return S_OK;
}
HRESULT STDMETHODCALLTYPE IN_get_form(IHTMLInputElement* This, IHTMLFormElement** Form) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "form");
  return FormOut(E, Form);
}
HRESULT STDMETHODCALLTYPE IN_get_onchange(IHTMLInputElement* This, VARIANT* Handler) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "onchange");
  VariantInit(Handler);
  return VariantCopy(Handler, &E->Node->OnChange);
}
HRESULT STDMETHODCALLTYPE IN_put_onchange(IHTMLInputElement* This, VARIANT Handler) {
  TElementObject* E = ELEMENT_OF(Input, This);
  ENTER(E, "onchange");
  return VariantCopy(&E->Node->OnChange, &Handler);
}
IHTMLInputElementVtbl InputSlots = [] {
  IHTMLInputElementVtbl V{};
  V.QueryInterface = IN_QueryInterface;
  V.AddRef = IN_AddRef;
  V.Release = IN_Release;
  V.get_type = IN_get_type;
  V.get_name = IN_get_name;
  V.get_value = IN_get_value;
  V.put_value = IN_put_value;
  V.get_checked = IN_get_checked;
  V.put_checked = IN_put_checked;
  V.get_maxLength = IN_get_maxLength;
  V.get_form = IN_get_form;
  V.get_onchange = IN_get_onchange;
  V.put_onchange = IN_put_onchange;
  return V;
}();

// Select
KIND_IUNKNOWN(SE, IHTMLSelectElement, Select)
STRING_GETTER(SE, IHTMLSelectElement, Select, name, AttributeText(N, L"name"))
STRING_GETTER(SE, IHTMLSelectElement, Select, type,
              FindAttribute(N, L"multiple") ? std::wstring(L"select-multiple") : std::wstring(L"select-one"))
HRESULT STDMETHODCALLTYPE SE_get_multiple(IHTMLSelectElement* This, VARIANT_BOOL* Multiple) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "multiple");
  *Multiple = FindAttribute(E->Node, L"multiple") ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
long SelectedIndex(TNode* Select) {
  const std::vector<TNode*> O = Options(Select);
  for (size_t I = 0; I < O.size(); ++I)
    if (O[I]->Selected) return static_cast<long>(I);
  // A single select shows its first option when none is marked.
  return !FindAttribute(Select, L"multiple") && !O.empty() ? 0 : -1;
}
HRESULT STDMETHODCALLTYPE SE_get_selectedIndex(IHTMLSelectElement* This, LONG* Index) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "selectedIndex");
  *Index = SelectedIndex(E->Node);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE SE_put_selectedIndex(IHTMLSelectElement* This, LONG Index) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "selectedIndex");
  const std::vector<TNode*> O = Options(E->Node);
  for (size_t I = 0; I < O.size(); ++I) O[I]->Selected = static_cast<long>(I) == Index;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE SE_get_value(IHTMLSelectElement* This, BSTR* Value) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "value");
  const long I = SelectedIndex(E->Node);
  *Value = Copy(I < 0 ? L"" : Options(E->Node)[I]->Value);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE SE_put_value(IHTMLSelectElement* This, BSTR Value) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "value");
  bool Found = false;
  for (TNode* O : Options(E->Node)) {
    O->Selected = !Found && O->Value == (Value ? Value : L"");
    Found = Found || O->Selected;
  }
  return S_OK;
}
HRESULT STDMETHODCALLTYPE SE_get_length(IHTMLSelectElement* This, LONG* Length) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "length");
  *Length = static_cast<LONG>(Options(E->Node).size());
  return S_OK;
}
HRESULT STDMETHODCALLTYPE SE_item(IHTMLSelectElement* This, VARIANT Name, VARIANT, IDispatch** Result) {
  TElementObject* E = ELEMENT_OF(Select, This);
  return ItemOf(E->Page, Options(E->Node), Name, Result);
}
HRESULT STDMETHODCALLTYPE SE_get_form(IHTMLSelectElement* This, IHTMLFormElement** Form) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "form");
  return FormOut(E, Form);
}
HRESULT STDMETHODCALLTYPE SE_get_onchange(IHTMLSelectElement* This, VARIANT* Handler) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "onchange");
  VariantInit(Handler);
  return VariantCopy(Handler, &E->Node->OnChange);
}
HRESULT STDMETHODCALLTYPE SE_put_onchange(IHTMLSelectElement* This, VARIANT Handler) {
  TElementObject* E = ELEMENT_OF(Select, This);
  ENTER(E, "onchange");
  return VariantCopy(&E->Node->OnChange, &Handler);
}
IHTMLSelectElementVtbl SelectSlots = [] {
  IHTMLSelectElementVtbl V{};
  V.QueryInterface = SE_QueryInterface;
  V.AddRef = SE_AddRef;
  V.Release = SE_Release;
  V.get_name = SE_get_name;
  V.get_type = SE_get_type;
  V.get_multiple = SE_get_multiple;
  V.get_selectedIndex = SE_get_selectedIndex;
  V.put_selectedIndex = SE_put_selectedIndex;
  V.get_value = SE_get_value;
  V.put_value = SE_put_value;
  V.get_length = SE_get_length;
  V.item = SE_item;
  V.get_form = SE_get_form;
  V.get_onchange = SE_get_onchange;
  V.put_onchange = SE_put_onchange;
  return V;
}();

// Option
KIND_IUNKNOWN(OP, IHTMLOptionElement, Option)
STRING_GETTER(OP, IHTMLOptionElement, Option, text, InnerText(N))
STRING_GETTER(OP, IHTMLOptionElement, Option, value, N->Value)
HRESULT STDMETHODCALLTYPE OP_get_selected(IHTMLOptionElement* This, VARIANT_BOOL* Selected) {
  TElementObject* E = ELEMENT_OF(Option, This);
  ENTER(E, "selected");
  *Selected = E->Node->Selected ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OP_put_selected(IHTMLOptionElement* This, VARIANT_BOOL Selected) {
  TElementObject* E = ELEMENT_OF(Option, This);
  ENTER(E, "selected");
  TNode* Select = E->Node->Parent;
  while (Select && Select->Tag != L"SELECT") Select = Select->Parent;
  // Selecting in a single select deselects the others.
  if (Selected && Select && !FindAttribute(Select, L"multiple"))
    for (TNode* O : Options(Select)) O->Selected = false;
  E->Node->Selected = Selected != VARIANT_FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OP_get_defaultSelected(IHTMLOptionElement* This, VARIANT_BOOL* Selected) {
  TElementObject* E = ELEMENT_OF(Option, This);
  ENTER(E, "defaultSelected");
  *Selected = E->Node->DefaultSelected ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE OP_get_index(IHTMLOptionElement* This, LONG* Index) {
  TElementObject* E = ELEMENT_OF(Option, This);
  ENTER(E, "index");
  TNode* Select = E->Node->Parent;
  while (Select && Select->Tag != L"SELECT") Select = Select->Parent;
  const std::vector<TNode*> O = Select ? Options(Select) : std::vector<TNode*>{};
  *Index = static_cast<LONG>(std::find(O.begin(), O.end(), E->Node) - O.begin());
  return S_OK;
}
IHTMLOptionElementVtbl OptionSlots = [] {
  IHTMLOptionElementVtbl V{};
  V.QueryInterface = OP_QueryInterface;
  V.AddRef = OP_AddRef;
  V.Release = OP_Release;
  V.get_text = OP_get_text;
  V.get_value = OP_get_value;
  V.get_selected = OP_get_selected;
  V.put_selected = OP_put_selected;
  V.get_defaultSelected = OP_get_defaultSelected;
  V.get_index = OP_get_index;
  return V;
}();

// Form
KIND_IUNKNOWN(FO, IHTMLFormElement, Form)
STRING_GETTER(FO, IHTMLFormElement, Form, action, AttributeText(N, L"action"))
STRING_GETTER(FO, IHTMLFormElement, Form, method,
              Lower(AttributeText(N, L"method")).empty() ? std::wstring(L"get") : Lower(AttributeText(N, L"method")))
STRING_GETTER(FO, IHTMLFormElement, Form, name, AttributeText(N, L"name"))
HRESULT STDMETHODCALLTYPE FO_get_elements(IHTMLFormElement* This, IDispatch** Elements) {
  TElementObject* E = ELEMENT_OF(Form, This);
  ENTER(E, "elements");
  *Elements = NewCollection(E->Page, FormControls(E->Node));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE FO_tags(IHTMLFormElement* This, VARIANT Tag, IDispatch** Result) {
  TElementObject* E = ELEMENT_OF(Form, This);
  ENTER(E, "tags");
  *Result = NewCollection(E->Page, WithTag(FormControls(E->Node), Tag));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE FO_submit(IHTMLFormElement* This) {
  TElementObject* E = ELEMENT_OF(Form, This);
  ENTER(E, "submit");
  E->Page->Submitted(E->Node);
  return S_OK;
}
IHTMLFormElementVtbl FormSlots = [] {
  IHTMLFormElementVtbl V{};
  V.QueryInterface = FO_QueryInterface;
  V.AddRef = FO_AddRef;
  V.Release = FO_Release;
  V.get_action = FO_get_action;
  V.get_method = FO_get_method;
  V.get_name = FO_get_name;
  V.get_elements = FO_get_elements;
  V.tags = FO_tags;
  V.submit = FO_submit;
  return V;
}();

// Text area
KIND_IUNKNOWN(TA, IHTMLTextAreaElement, TextArea)
STRING_GETTER(TA, IHTMLTextAreaElement, TextArea, name, AttributeText(N, L"name"))
STRING_GETTER(TA, IHTMLTextAreaElement, TextArea, value, N->Value)
HRESULT STDMETHODCALLTYPE TA_put_value(IHTMLTextAreaElement* This, BSTR Value) {
  TElementObject* E = ELEMENT_OF(TextArea, This);
  ENTER(E, "value");
  E->Node->Value = Value ? Value : L"";
  return S_OK;
}
HRESULT STDMETHODCALLTYPE TA_get_form(IHTMLTextAreaElement* This, IHTMLFormElement** Form) {
  TElementObject* E = ELEMENT_OF(TextArea, This);
  ENTER(E, "form");
  return FormOut(E, Form);
}
IHTMLTextAreaElementVtbl TextAreaSlots = [] {
  IHTMLTextAreaElementVtbl V{};
  V.QueryInterface = TA_QueryInterface;
  V.AddRef = TA_AddRef;
  V.Release = TA_Release;
  V.get_name = TA_get_name;
  V.get_value = TA_get_value;
  V.put_value = TA_put_value;
  V.get_form = TA_get_form;
  return V;
}();

// Button, anchor
KIND_IUNKNOWN(BU, IHTMLButtonElement, Button)
STRING_GETTER(BU, IHTMLButtonElement, Button, type,
              Lower(AttributeText(N, L"type")).empty() ? std::wstring(L"submit") : Lower(AttributeText(N, L"type")))
STRING_GETTER(BU, IHTMLButtonElement, Button, name, AttributeText(N, L"name"))
STRING_GETTER(BU, IHTMLButtonElement, Button, value, N->Value)
IHTMLButtonElementVtbl ButtonSlots = [] {
  IHTMLButtonElementVtbl V{};
  V.QueryInterface = BU_QueryInterface;
  V.AddRef = BU_AddRef;
  V.Release = BU_Release;
  V.get_type = BU_get_type;
  V.get_name = BU_get_name;
  V.get_value = BU_get_value;
  return V;
}();

KIND_IUNKNOWN(AN, IHTMLAnchorElement, Anchor)
STRING_GETTER(AN, IHTMLAnchorElement, Anchor, href, AttributeText(N, L"href"))
IHTMLAnchorElementVtbl AnchorSlots = [] {
  IHTMLAnchorElementVtbl V{};
  V.QueryInterface = AN_QueryInterface;
  V.AddRef = AN_AddRef;
  V.Release = AN_Release;
  V.get_href = AN_get_href;
  return V;
}();

// ---------------------------------------------------------------- text ranges

// Where each element's text lies in the body's text: the text nodes in document order, and the
// span [First, Last) of every element (an element without text sits where it is, empty).
struct TTextLayout {
  std::wstring Text;
  std::map<const TNode*, std::pair<long, long>> Spans;
};

void LayOut(const TNode* Node, TTextLayout& Layout) {
  if (Node->Tag.empty()) {
    Layout.Text += Node->Text;
    return;
  }
  const long First = static_cast<long>(Layout.Text.size());
  for (const TNode* C : Node->Children) LayOut(C, Layout);
  Layout.Spans[Node] = {First, static_cast<long>(Layout.Text.size())};
}

TTextLayout LayOutBody(TPage* Page) {
  TTextLayout Layout;
  for (TNode* N : Page->Elements)
    if (N->Tag == L"BODY") {
      LayOut(N, Layout);
      break;
    }
  return Layout;
}

struct TRangeObject final : TObjectHead {
  IHTMLTxtRange Range;
  long Start, End;
  TRangeObject(TPage* P, long S, long E) : Start(S), End(E) {
    Kind = TKind::Style;
    Page = P;
    ++P->Outside;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IHTMLTxtRange)) {
      *Object = &Range;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  bool Supports(REFIID) const override { return false; }
};

IHTMLTxtRange* NewRange(TPage* Page, long Start, long End);
TRangeObject* RangeOf(IHTMLTxtRange* This) { return From(This, &TRangeObject::Range); }
HRESULT STDMETHODCALLTYPE TR_QueryInterface(IHTMLTxtRange* This, REFIID Riid, void** Object) {
  return QueryHead(RangeOf(This), Riid, Object);
}
ULONG STDMETHODCALLTYPE TR_AddRef(IHTMLTxtRange* This) { return AddRefHead(RangeOf(This)); }
ULONG STDMETHODCALLTYPE TR_Release(IHTMLTxtRange* This) { return ReleaseHead(RangeOf(This)); }
HRESULT STDMETHODCALLTYPE TR_duplicate(IHTMLTxtRange* This, IHTMLTxtRange** Copy) {
  TRangeObject* R = RangeOf(This);
  ENTER(R, "duplicate");
  *Copy = NewRange(R->Page, R->Start, R->End);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE TR_get_text(IHTMLTxtRange* This, BSTR* Text) {
  TRangeObject* R = RangeOf(This);
  ENTER(R, "text");
  const std::wstring All = LayOutBody(R->Page).Text;
  *Text = Copy(All.substr(static_cast<size_t>(R->Start), static_cast<size_t>(R->End - R->Start)));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE TR_moveToElementText(IHTMLTxtRange* This, IHTMLElement* Element) {
  TRangeObject* R = RangeOf(This);
  ENTER(R, "moveToElementText");
  if (!Element) return E_INVALIDARG;
  const TTextLayout Layout = LayOutBody(R->Page);
  const auto It = Layout.Spans.find(From(Element, &TElementObject::Element)->Node);
  if (It == Layout.Spans.end()) return E_INVALIDARG;
  R->Start = It->second.first;
  R->End = It->second.second;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE TR_setEndPoint(IHTMLTxtRange* This, BSTR How, IHTMLTxtRange* Source) {
  TRangeObject* R = RangeOf(This);
  ENTER(R, "setEndPoint");
  if (!How || !Source) return E_INVALIDARG;
  const std::wstring Words = Lower(How);
  const TRangeObject* S = RangeOf(Source);
  const long Point = Words.size() > 5 && Words.compare(Words.size() - 5, 5, L"start") == 0 ? S->Start : S->End;
  if (Words.rfind(L"start", 0) == 0) {
    R->Start = Point;
    if (R->End < R->Start) R->End = R->Start;
  } else {
    R->End = Point;
    if (R->Start > R->End) R->Start = R->End;
  }
  return S_OK;
}
HRESULT MoveBy(TRangeObject* R, long& Point, LONG Count, LONG* Actual) {
  const long Total = static_cast<long>(LayOutBody(R->Page).Text.size());
  const long Moved = std::clamp(Point + Count, 0L, Total) - Point;
  Point += Moved;
  if (R->Start > R->End) (&Point == &R->Start ? R->End : R->Start) = Point;
  if (Actual) *Actual = Moved;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE TR_moveStart(IHTMLTxtRange* This, BSTR, LONG Count, LONG* Actual) {
  TRangeObject* R = RangeOf(This);
  ENTER(R, "moveStart");
  return MoveBy(R, R->Start, Count, Actual);
}
HRESULT STDMETHODCALLTYPE TR_moveEnd(IHTMLTxtRange* This, BSTR, LONG Count, LONG* Actual) {
  TRangeObject* R = RangeOf(This);
  ENTER(R, "moveEnd");
  return MoveBy(R, R->End, Count, Actual);
}
IHTMLTxtRangeVtbl RangeSlots = [] {
  IHTMLTxtRangeVtbl V{};
  V.QueryInterface = TR_QueryInterface;
  V.AddRef = TR_AddRef;
  V.Release = TR_Release;
  V.duplicate = TR_duplicate;
  V.get_text = TR_get_text;
  V.moveToElementText = TR_moveToElementText;
  V.setEndPoint = TR_setEndPoint;
  V.moveStart = TR_moveStart;
  V.moveEnd = TR_moveEnd;
  return V;
}();
IHTMLTxtRange* NewRange(TPage* Page, long Start, long End) {
  auto* R = new TRangeObject(Page, Start, End);
  R->Range.lpVtbl = &RangeSlots;
  return &R->Range;
}

// Body: a range over the body's whole text.
KIND_IUNKNOWN(BO, IHTMLBodyElement, Body)
HRESULT STDMETHODCALLTYPE BO_createTextRange(IHTMLBodyElement* This, IHTMLTxtRange** Range) {
  TElementObject* E = ELEMENT_OF(Body, This);
  ENTER(E, "createTextRange");
  *Range = NewRange(E->Page, 0, static_cast<long>(LayOutBody(E->Page).Text.size()));
  return S_OK;
}
IHTMLBodyElementVtbl BodySlots = [] {
  IHTMLBodyElementVtbl V{};
  V.QueryInterface = BO_QueryInterface;
  V.AddRef = BO_AddRef;
  V.Release = BO_Release;
  V.createTextRange = BO_createTextRange;
  return V;
}();

// Connection points of elements
KIND_IUNKNOWN(EP, IConnectionPointContainer, Container)
HRESULT STDMETHODCALLTYPE EP_FindConnectionPoint(IConnectionPointContainer* This, REFIID Riid,
                                                 IConnectionPoint** Point) {
  return FindPoint(ELEMENT_OF(Container, This), Riid, Point);
}
IConnectionPointContainerVtbl ElementPointSlots = [] {
  IConnectionPointContainerVtbl V{};
  V.QueryInterface = EP_QueryInterface;
  V.AddRef = EP_AddRef;
  V.Release = EP_Release;
  V.FindConnectionPoint = EP_FindConnectionPoint;
  return V;
}();

IDispatch* ElementObject(TPage* Page, TNode* Node) {
  if (!Node->Com) {
    auto* E = new TElementObject(Page, Node);
    E->Element.lpVtbl = &ElementSlots;
    E->Input.lpVtbl = &InputSlots;
    E->Select.lpVtbl = &SelectSlots;
    E->Option.lpVtbl = &OptionSlots;
    E->Form.lpVtbl = &FormSlots;
    E->TextArea.lpVtbl = &TextAreaSlots;
    E->Button.lpVtbl = &ButtonSlots;
    E->Anchor.lpVtbl = &AnchorSlots;
    E->Body.lpVtbl = &BodySlots;
    E->Container.lpVtbl = &ElementPointSlots;
    Node->Com = E;
    Page->Cached.push_back(E);
  }
  AddRefHead(Node->Com);
  return reinterpret_cast<IDispatch*>(&static_cast<TElementObject*>(Node->Com)->Element);
}

// ---------------------------------------------------------------- the event object

struct TEventObject final : TObjectHead {
  IHTMLEventObj Event;
  TNode* Source;
  std::wstring Type;
  TEventObject(TPage* P, TNode* S, std::wstring T) : Source(S), Type(std::move(T)) {
    Kind = TKind::Event;
    Page = P;
    ++P->Outside;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IHTMLEventObj)) {
      *Object = &Event;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  bool Supports(REFIID) const override { return false; }
};
TEventObject* EventOf(IHTMLEventObj* This) { return From(This, &TEventObject::Event); }
HRESULT STDMETHODCALLTYPE EV_QueryInterface(IHTMLEventObj* This, REFIID Riid, void** Object) {
  return QueryHead(EventOf(This), Riid, Object);
}
ULONG STDMETHODCALLTYPE EV_AddRef(IHTMLEventObj* This) { return AddRefHead(EventOf(This)); }
ULONG STDMETHODCALLTYPE EV_Release(IHTMLEventObj* This) { return ReleaseHead(EventOf(This)); }
HRESULT STDMETHODCALLTYPE EV_get_srcElement(IHTMLEventObj* This, IHTMLElement** Source) {
  TEventObject* E = EventOf(This);
  ENTER(E, "srcElement");
  *Source = E->Source ? reinterpret_cast<IHTMLElement*>(ElementObject(E->Page, E->Source)) : nullptr;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE EV_get_type(IHTMLEventObj* This, BSTR* Type) {
  TEventObject* E = EventOf(This);
  ENTER(E, "type");
  *Type = Copy(E->Type);
  return S_OK;
}
IHTMLEventObjVtbl EventSlots = [] {
  IHTMLEventObjVtbl V{};
  V.QueryInterface = EV_QueryInterface;
  V.AddRef = EV_AddRef;
  V.Release = EV_Release;
  V.get_srcElement = EV_get_srcElement;
  V.get_type = EV_get_type;
  return V;
}();

// ---------------------------------------------------------------- the window

struct TWindowObject final : TObjectHead {
  IHTMLWindow2 Window;
  IConnectionPointContainer Container;
  IServiceProvider Services;
  explicit TWindowObject(TPage* P) {
    Kind = TKind::Window;
    Page = P;
    Cached = true;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IHTMLWindow2))
      *Object = &Window;
    else if (IsEqualIID(Riid, IID_IConnectionPointContainer))
      *Object = &Container;
    else if (IsEqualIID(Riid, IID_IServiceProvider))
      *Object = &Services;
    else
      return E_NOINTERFACE;
    return S_OK;
  }
  bool Supports(REFIID Interface) const override { return IsEqualIID(Interface, HtmlWindowEvents); }
};
#define WINDOW_OF(Member, This) From(This, &TWindowObject::Member)
HRESULT STDMETHODCALLTYPE WI_QueryInterface(IHTMLWindow2* This, REFIID Riid, void** Object) {
  return QueryHead(WINDOW_OF(Window, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE WI_AddRef(IHTMLWindow2* This) { return AddRefHead(WINDOW_OF(Window, This)); }
ULONG STDMETHODCALLTYPE WI_Release(IHTMLWindow2* This) { return ReleaseHead(WINDOW_OF(Window, This)); }
HRESULT STDMETHODCALLTYPE WI_get_event(IHTMLWindow2* This, IHTMLEventObj** Event) {
  TWindowObject* W = WINDOW_OF(Window, This);
  ENTER(W, "event");
  *Event = nullptr;
  if (!W->Page->InEvent) return S_OK;
  auto* E = new TEventObject(W->Page, W->Page->EventSource, W->Page->EventType);
  E->Event.lpVtbl = &EventSlots;
  *Event = &E->Event;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE WI_get_document(IHTMLWindow2* This, IHTMLDocument2** Document) {
  TWindowObject* W = WINDOW_OF(Window, This);
  ENTER(W, "document");
  TObjectHead* D = W->Page->DocumentObject;
  AddRefHead(D);
  D->Query(IID_IHTMLDocument2, reinterpret_cast<void**>(Document));
  return S_OK;
}
IHTMLWindow2Vtbl WindowSlots = [] {
  IHTMLWindow2Vtbl V{};
  V.QueryInterface = WI_QueryInterface;
  V.AddRef = WI_AddRef;
  V.Release = WI_Release;
  V.get_event = WI_get_event;
  V.get_document = WI_get_document;
  return V;
}();
HRESULT STDMETHODCALLTYPE WP_QueryInterface(IConnectionPointContainer* This, REFIID Riid, void** Object) {
  return QueryHead(WINDOW_OF(Container, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE WP_AddRef(IConnectionPointContainer* This) { return AddRefHead(WINDOW_OF(Container, This)); }
ULONG STDMETHODCALLTYPE WP_Release(IConnectionPointContainer* This) {
  return ReleaseHead(WINDOW_OF(Container, This));
}
HRESULT STDMETHODCALLTYPE WP_FindConnectionPoint(IConnectionPointContainer* This, REFIID Riid,
                                                 IConnectionPoint** Point) {
  return FindPoint(WINDOW_OF(Container, This), Riid, Point);
}
IConnectionPointContainerVtbl WindowPointSlots = [] {
  IConnectionPointContainerVtbl V{};
  V.QueryInterface = WP_QueryInterface;
  V.AddRef = WP_AddRef;
  V.Release = WP_Release;
  V.FindConnectionPoint = WP_FindConnectionPoint;
  return V;
}();
HRESULT STDMETHODCALLTYPE WS_QueryInterface(IServiceProvider* This, REFIID Riid, void** Object) {
  return QueryHead(WINDOW_OF(Services, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE WS_AddRef(IServiceProvider* This) { return AddRefHead(WINDOW_OF(Services, This)); }
ULONG STDMETHODCALLTYPE WS_Release(IServiceProvider* This) { return ReleaseHead(WINDOW_OF(Services, This)); }
HRESULT STDMETHODCALLTYPE WS_QueryService(IServiceProvider* This, REFGUID Service, REFIID Riid, void** Object) {
  TWindowObject* W = WINDOW_OF(Services, This);
  ++W->Page->Calls;
  *Object = nullptr;
  static const GUID WebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  if (!IsEqualGUID(Service, WebBrowserApp) || !W->Page->Browser) return E_NOINTERFACE;
  return IUnknown_QueryInterface(W->Page->Browser, Riid, Object);
}
IServiceProviderVtbl WindowServiceSlots = [] {
  IServiceProviderVtbl V{};
  V.QueryInterface = WS_QueryInterface;
  V.AddRef = WS_AddRef;
  V.Release = WS_Release;
  V.QueryService = WS_QueryService;
  return V;
}();

// ---------------------------------------------------------------- the document

struct TEnumObject final : TObjectHead {
  IEnumUnknown Enum;
  std::vector<IUnknown*> Items;
  size_t Next = 0;
  TEnumObject(TPage* P, std::vector<IUnknown*> I) : Items(std::move(I)) {
    Kind = TKind::Enumerator;
    Page = P;
    ++P->Outside;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IEnumUnknown)) {
      *Object = &Enum;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  bool Supports(REFIID) const override { return false; }
};
TEnumObject* EnumOf(IEnumUnknown* This) { return From(This, &TEnumObject::Enum); }
HRESULT STDMETHODCALLTYPE EN_QueryInterface(IEnumUnknown* This, REFIID Riid, void** Object) {
  return QueryHead(EnumOf(This), Riid, Object);
}
ULONG STDMETHODCALLTYPE EN_AddRef(IEnumUnknown* This) { return AddRefHead(EnumOf(This)); }
ULONG STDMETHODCALLTYPE EN_Release(IEnumUnknown* This) { return ReleaseHead(EnumOf(This)); }
HRESULT STDMETHODCALLTYPE EN_Next(IEnumUnknown* This, ULONG Count, IUnknown** Items, ULONG* Fetched) {
  TEnumObject* E = EnumOf(This);
  ++E->Page->Calls;
  ULONG Done = 0;
  while (Done < Count && E->Next < E->Items.size()) {
    Items[Done] = E->Items[E->Next++];
    IUnknown_AddRef(Items[Done]);
    ++Done;
  }
  if (Fetched) *Fetched = Done;
  return Done == Count ? S_OK : S_FALSE;
}
IEnumUnknownVtbl EnumSlots = [] {
  IEnumUnknownVtbl V{};
  V.QueryInterface = EN_QueryInterface;
  V.AddRef = EN_AddRef;
  V.Release = EN_Release;
  V.Next = EN_Next;
  return V;
}();

struct TDocumentObject final : TObjectHead {
  IHTMLDocument2 Document;
  IConnectionPointContainer Container;
  IOleContainer Ole;
  IOleWindow Window;
  IViewObject View;
  explicit TDocumentObject(TPage* P) {
    Kind = TKind::Document;
    Page = P;
    Cached = true;
  }
  HRESULT Query(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IHTMLDocument) ||
        IsEqualIID(Riid, IID_IHTMLDocument2))
      *Object = &Document;
    else if (IsEqualIID(Riid, IID_IConnectionPointContainer))
      *Object = &Container;
    else if (IsEqualIID(Riid, IID_IOleContainer) || IsEqualIID(Riid, IID_IParseDisplayName))
      *Object = &Ole;
    else if (IsEqualIID(Riid, IID_IOleWindow))
      *Object = &Window;
    else if (IsEqualIID(Riid, IID_IViewObject))
      *Object = &View;
    else
      return E_NOINTERFACE;
    return S_OK;
  }
  bool Supports(REFIID Interface) const override { return IsEqualIID(Interface, HtmlDocumentEvents); }
};
#define DOCUMENT_OF(Member, This) From(This, &TDocumentObject::Member)
HRESULT STDMETHODCALLTYPE DO_QueryInterface(IHTMLDocument2* This, REFIID Riid, void** Object) {
  return QueryHead(DOCUMENT_OF(Document, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE DO_AddRef(IHTMLDocument2* This) { return AddRefHead(DOCUMENT_OF(Document, This)); }
ULONG STDMETHODCALLTYPE DO_Release(IHTMLDocument2* This) { return ReleaseHead(DOCUMENT_OF(Document, This)); }
HRESULT STDMETHODCALLTYPE DO_get_URL(IHTMLDocument2* This, BSTR* Url) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "URL");
  *Url = Copy(D->Page->Url);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_title(IHTMLDocument2* This, BSTR* Title) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "title");
  std::wstring Text;
  for (TNode* N : D->Page->Elements)
    if (N->Tag == L"TITLE") {
      Text = InnerText(N);
      break;
    }
  *Title = Copy(Text);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_charset(IHTMLDocument2* This, BSTR* Charset) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "charset");
  *Charset = Copy(L"utf-8");
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_all(IHTMLDocument2* This, IHTMLElementCollection** All) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "all");
  *All = reinterpret_cast<IHTMLElementCollection*>(NewCollection(D->Page, D->Page->Elements));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_forms(IHTMLDocument2* This, IHTMLElementCollection** Forms) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "forms");
  std::vector<TNode*> Found;
  for (TNode* N : D->Page->Elements)
    if (N->Tag == L"FORM") Found.push_back(N);
  *Forms = reinterpret_cast<IHTMLElementCollection*>(NewCollection(D->Page, Found));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_body(IHTMLDocument2* This, IHTMLElement** Body) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "body");
  *Body = nullptr;
  for (TNode* N : D->Page->Elements)
    if (N->Tag == L"BODY") {
      *Body = reinterpret_cast<IHTMLElement*>(ElementObject(D->Page, N));
      break;
    }
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_activeElement(IHTMLDocument2* This, IHTMLElement** Active) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "activeElement");
  *Active = nullptr;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DO_get_parentWindow(IHTMLDocument2* This, IHTMLWindow2** Window) {
  TDocumentObject* D = DOCUMENT_OF(Document, This);
  ENTER(D, "parentWindow");
  TObjectHead* W = D->Page->WindowObject;
  AddRefHead(W);
  W->Query(IID_IHTMLWindow2, reinterpret_cast<void**>(Window));
  return S_OK;
}
IHTMLDocument2Vtbl DocumentSlots = [] {
  IHTMLDocument2Vtbl V{};
  V.QueryInterface = DO_QueryInterface;
  V.AddRef = DO_AddRef;
  V.Release = DO_Release;
  V.get_URL = DO_get_URL;
  V.get_title = DO_get_title;
  V.get_charset = DO_get_charset;
  V.get_all = DO_get_all;
  V.get_forms = DO_get_forms;
  V.get_body = DO_get_body;
  V.get_activeElement = DO_get_activeElement;
  V.get_parentWindow = DO_get_parentWindow;
  return V;
}();
HRESULT STDMETHODCALLTYPE DP_QueryInterface(IConnectionPointContainer* This, REFIID Riid, void** Object) {
  return QueryHead(DOCUMENT_OF(Container, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE DP_AddRef(IConnectionPointContainer* This) {
  return AddRefHead(DOCUMENT_OF(Container, This));
}
ULONG STDMETHODCALLTYPE DP_Release(IConnectionPointContainer* This) {
  return ReleaseHead(DOCUMENT_OF(Container, This));
}
HRESULT STDMETHODCALLTYPE DP_FindConnectionPoint(IConnectionPointContainer* This, REFIID Riid,
                                                 IConnectionPoint** Point) {
  return FindPoint(DOCUMENT_OF(Container, This), Riid, Point);
}
IConnectionPointContainerVtbl DocumentPointSlots = [] {
  IConnectionPointContainerVtbl V{};
  V.QueryInterface = DP_QueryInterface;
  V.AddRef = DP_AddRef;
  V.Release = DP_Release;
  V.FindConnectionPoint = DP_FindConnectionPoint;
  return V;
}();
HRESULT STDMETHODCALLTYPE DC_QueryInterface(IOleContainer* This, REFIID Riid, void** Object) {
  return QueryHead(DOCUMENT_OF(Ole, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE DC_AddRef(IOleContainer* This) { return AddRefHead(DOCUMENT_OF(Ole, This)); }
ULONG STDMETHODCALLTYPE DC_Release(IOleContainer* This) { return ReleaseHead(DOCUMENT_OF(Ole, This)); }
HRESULT STDMETHODCALLTYPE DC_EnumObjects(IOleContainer* This, DWORD, IEnumUnknown** Enum) {
  TDocumentObject* D = DOCUMENT_OF(Ole, This);
  ENTER(D, "EnumObjects");
  auto* E = new TEnumObject(D->Page, D->Page->Frames);
  E->Enum.lpVtbl = &EnumSlots;
  *Enum = &E->Enum;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE DW_QueryInterface(IOleWindow* This, REFIID Riid, void** Object) {
  return QueryHead(DOCUMENT_OF(Window, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE DW_AddRef(IOleWindow* This) { return AddRefHead(DOCUMENT_OF(Window, This)); }
ULONG STDMETHODCALLTYPE DW_Release(IOleWindow* This) { return ReleaseHead(DOCUMENT_OF(Window, This)); }
HRESULT STDMETHODCALLTYPE DW_GetWindow(IOleWindow* This, HWND* Window) {
  TDocumentObject* D = DOCUMENT_OF(Window, This);
  ENTER(D, "GetWindow");
  *Window = D->Page->PageWindow;
  return D->Page->PageWindow ? S_OK : E_FAIL;
}
IOleWindowVtbl DocumentWindowSlots = [] {
  IOleWindowVtbl V{};
  V.QueryInterface = DW_QueryInterface;
  V.AddRef = DW_AddRef;
  V.Release = DW_Release;
  V.GetWindow = DW_GetWindow;
  return V;
}();
HRESULT STDMETHODCALLTYPE DV_QueryInterface(IViewObject* This, REFIID Riid, void** Object) {
  return QueryHead(DOCUMENT_OF(View, This), Riid, Object);
}
ULONG STDMETHODCALLTYPE DV_AddRef(IViewObject* This) { return AddRefHead(DOCUMENT_OF(View, This)); }
ULONG STDMETHODCALLTYPE DV_Release(IViewObject* This) { return ReleaseHead(DOCUMENT_OF(View, This)); }
// The page paints its text as a black band over the upper left quarter of the area.
HRESULT STDMETHODCALLTYPE DV_Draw(IViewObject* This, DWORD Aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC DC,
                                  LPCRECTL Bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  TDocumentObject* D = DOCUMENT_OF(View, This);
  ENTER(D, "Draw");
  if (Aspect != DVASPECT_CONTENT || !Bounds) return DV_E_DVASPECT;
  RECT Band = {Bounds->left, Bounds->top, Bounds->left + (Bounds->right - Bounds->left) / 2,
               Bounds->top + (Bounds->bottom - Bounds->top) / 2};
  FillRect(DC, &Band, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  return S_OK;
}
IViewObjectVtbl ViewSlots = [] {
  IViewObjectVtbl V{};
  V.QueryInterface = DV_QueryInterface;
  V.AddRef = DV_AddRef;
  V.Release = DV_Release;
  V.Draw = DV_Draw;
  return V;
}();

IOleContainerVtbl OleSlots = [] {
  IOleContainerVtbl V{};
  V.QueryInterface = DC_QueryInterface;
  V.AddRef = DC_AddRef;
  V.Release = DC_Release;
  V.EnumObjects = DC_EnumObjects;
  return V;
}();

}  // namespace

// ---------------------------------------------------------------- the page's face to the tests

THtmlDoublePage::THtmlDoublePage(const std::wstring& Url, const std::string& Markup) : FImpl(std::make_unique<TImpl>()) {
  FImpl->Url = Url;
  FImpl->Parse(Markup);
  auto* D = new TDocumentObject(FImpl.get());
  D->Document.lpVtbl = &DocumentSlots;
  D->Container.lpVtbl = &DocumentPointSlots;
  D->Ole.lpVtbl = &OleSlots;
  D->Window.lpVtbl = &DocumentWindowSlots;
  D->View.lpVtbl = &ViewSlots;
  FImpl->DocumentObject = D;
  auto* W = new TWindowObject(FImpl.get());
  W->Window.lpVtbl = &WindowSlots;
  W->Container.lpVtbl = &WindowPointSlots;
  W->Services.lpVtbl = &WindowServiceSlots;
  FImpl->WindowObject = W;
}

THtmlDoublePage::~THtmlDoublePage() {
  for (TObjectHead* H : FImpl->Cached) delete H;
  delete FImpl->DocumentObject;
  delete FImpl->WindowObject;
  for (auto& N : FImpl->Nodes) {
    for (TAttribute& A : N->Attributes) VariantClear(&A.Value);
    VariantClear(&N->OnClick);
    VariantClear(&N->OnChange);
  }
  if (FImpl->Browser) IUnknown_Release(FImpl->Browser);
  for (IUnknown* F : FImpl->Frames) IUnknown_Release(F);
}

IDispatch* THtmlDoublePage::Document() {
  return reinterpret_cast<IDispatch*>(&static_cast<TDocumentObject*>(FImpl->DocumentObject)->Document);
}

IDispatch* THtmlDoublePage::ElementById(const std::wstring& Id) {
  TNode* Node = FImpl->ById(Id);
  if (!Node) return nullptr;
  IDispatch* Element = ElementObject(FImpl.get(), Node);
  ReleaseHead(Node->Com);
  return Element;
}

void THtmlDoublePage::SetBrowser(IUnknown* Browser) {
  if (Browser) IUnknown_AddRef(Browser);
  if (FImpl->Browser) IUnknown_Release(FImpl->Browser);
  FImpl->Browser = Browser;
}

void THtmlDoublePage::SetOnSubmit(std::function<void(const std::wstring&)> Handler) {
  FImpl->OnSubmit = std::move(Handler);
}

void THtmlDoublePage::SetWindow(HWND Window) { FImpl->PageWindow = Window; }

void THtmlDoublePage::AddFrame(IUnknown* Browser) {
  IUnknown_AddRef(Browser);
  FImpl->Frames.push_back(Browser);
}

long THtmlDoublePage::OutsideReferences() const { return FImpl->Outside; }
long THtmlDoublePage::Calls() const { return FImpl->Calls; }
void THtmlDoublePage::ResetCalls() { FImpl->Calls = 0; }
long THtmlDoublePage::AdvisedSinks() const { return FImpl->Sinks; }
long THtmlDoublePage::SubmitCount() const { return FImpl->Submits; }

HRESULT THtmlDoublePage::FireDocumentEvent(long DispID, IDispatch* Source) {
  TNode* Node = nullptr;
  for (TNode* N : FImpl->Elements)
    if (N->Com && reinterpret_cast<IDispatch*>(&static_cast<TElementObject*>(N->Com)->Element) == Source) Node = N;
  FImpl->InEvent = true;
  FImpl->EventSource = Node;
  FImpl->EventType = DispID == -600 ? L"click" : DispID == -605 ? L"mousedown" : L"mouseup";
  const HRESULT Result = Fire(FImpl->DocumentObject, HtmlDocumentEvents, DispID);
  FImpl->InEvent = false;
  FImpl->EventSource = nullptr;
  return Result;
}

HRESULT THtmlDoublePage::FireWindowEvent(long DispID) {
  return Fire(FImpl->WindowObject, HtmlWindowEvents, DispID);
}

HRESULT THtmlDoublePage::FireElementEvent(IDispatch* Element, const GUID& EventInterface, long DispID) {
  for (TNode* N : FImpl->Elements)
    if (N->Com && reinterpret_cast<IDispatch*>(&static_cast<TElementObject*>(N->Com)->Element) == Element) {
      FImpl->InEvent = true;
      FImpl->EventSource = N;
      FImpl->EventType = DispID == 1007 ? L"submit" : L"change";
      const HRESULT Result = Fire(N->Com, EventInterface, DispID);
      FImpl->InEvent = false;
      FImpl->EventSource = nullptr;
      return Result;
    }
  return E_INVALIDARG;
}

std::wstring THtmlDoublePage::ValueOf(const std::wstring& Id) const {
  TNode* Node = FImpl->ById(Id);
  if (!Node) return L"(no element " + Id + L")";
  if (Node->Tag == L"SELECT") {
    const long I = SelectedIndex(Node);
    return I < 0 ? L"" : Options(Node)[I]->Value;
  }
  return Node->Value;
}

long THtmlDoublePage::ClicksOf(const std::wstring& Id) const {
  TNode* Node = FImpl->ById(Id);
  return Node ? Node->Clicks : -1;
}

bool THtmlDoublePage::CheckedOf(const std::wstring& Id) const {
  TNode* Node = FImpl->ById(Id);
  return Node && Node->Checked;
}

std::wstring THtmlDoublePage::AttributeOf(const std::wstring& Id, const std::wstring& Name) const {
  TNode* Node = FImpl->ById(Id);
  return Node ? AttributeText(Node, Name) : L"";
}

void THtmlDoublePage::FailCalls(const std::string& Method, HRESULT Result) {
  FImpl->FailMethod = Method;
  FImpl->FailResult = Result;
}

}  // namespace pel::test
