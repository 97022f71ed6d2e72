#include "HeadlessBrowser.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::headless {

namespace {

// How many navigations one turn of the message loop performs at most, and how many immediate
// refreshes may follow one another: a page that refreshes to itself must not hang the window.
constexpr int MaxNavigationsPerTurn = 64;
constexpr int MaxConsecutiveRefreshes = 8;
// Frames inside frames inside frames: a page that frames itself stops here.
constexpr int MaxFrameDepth = 8;

std::atomic<uint32_t> GNextWindow{0x00010010};

std::string PercentDecode(const std::string& S) {
  std::string Out;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] == '%' && I + 2 < S.size() && std::isxdigit(static_cast<unsigned char>(S[I + 1])) &&
        std::isxdigit(static_cast<unsigned char>(S[I + 2]))) {
      Out += static_cast<char>(std::stoi(S.substr(I + 1, 2), nullptr, 16));
      I += 2;
    } else {
      Out += S[I];
    }
  }
  return Out;
}

// application/x-www-form-urlencoded, UTF-8.
std::string FormEncode(const WideString& Text) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (unsigned char C : WideToUtf8(Text)) {
    if (std::isalnum(C) || C == '*' || C == '-' || C == '.' || C == '_') {
      Out += static_cast<char>(C);
    } else if (C == ' ') {
      Out += '+';
    } else {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    }
  }
  return Out;
}

// The name/value pairs a submission sends: the controls that count, in document order.
std::string FormDataSet(THtmlElement& Form, THtmlElement* Submitter) {
  std::string Data;
  auto Add = [&](const WideString& Name, const WideString& Value) {
    if (Name.empty()) return;
    if (!Data.empty()) Data += '&';
    Data += FormEncode(Name) + "=" + FormEncode(Value);
  };
  TElementsRef Controls = Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Form.SharedElement()))
                              ->Elements();
  for (int32_t I = 0; I < Controls->Length(); ++I) {
    auto& E = static_cast<THtmlElement&>(*Controls->Item(I));
    if (E.HasAttribute(u"disabled")) continue;
    const WideString Name = E.AttributeText(u"name");
    if (E.Tag() == u"input") {
      auto& Input = static_cast<THtmlInput&>(E);
      const WideString Type = Input.Type();
      if (Type == u"checkbox" || Type == u"radio") {
        if (Input.Checked()) Add(Name, E.HasAttribute(u"value") ? Input.Value() : WideString(u"on"));
      } else if (Type == u"submit") {
        if (&E == Submitter) Add(Name, Input.Value());
      } else if (Type == u"image") {
        if (&E == Submitter && !Name.empty()) {
          Add(Name + u".x", u"0");
          Add(Name + u".y", u"0");
        }
      } else if (Type != u"button" && Type != u"reset" && Type != u"file") {
        Add(Name, Input.Value());
      }
    } else if (E.Tag() == u"select") {
      for (THtmlOption* O : static_cast<THtmlSelect&>(E).Options())
        if (O->Selected()) Add(Name, O->HasAttribute(u"value") ? O->Value() : O->Text());
    } else if (E.Tag() == u"textarea") {
      Add(Name, static_cast<THtmlTextArea&>(E).Value());
    } else if (E.Tag() == u"button") {
      if (&E == Submitter) Add(Name, E.AttributeText(u"value"));
    }
  }
  return Data;
}

// The script an event attribute names: "Name", "Name()", "Name();" or "return Name()".
WideString ScriptName(WideString Text) {
  auto Trim = [](WideString& S) {
    while (!S.empty() && S.front() <= 32) S.erase(S.begin());
    while (!S.empty() && (S.back() <= 32 || S.back() == u';')) S.pop_back();
  };
  Trim(Text);
  if (Text.rfind(u"return ", 0) == 0) Text.erase(0, 7);
  Trim(Text);
  if (Text.size() >= 2 && Text.compare(Text.size() - 2, 2, u"()") == 0) Text.resize(Text.size() - 2);
  return Text;
}

TVariant AsObject(const std::shared_ptr<IInterface>& Object) { return TVariant(Object); }

// A refresh instruction as the browser reads it: "5", "0; URL=next.html", "0,url='x'". Answers
// false when the delay is no number.
bool ParseRefresh(const WideString& Content, int& Delay, WideString& URL) {
  size_t I = 0;
  while (I < Content.size() && Content[I] <= 32) ++I;
  if (I == Content.size() || Content[I] < u'0' || Content[I] > u'9') return false;
  Delay = 0;
  while (I < Content.size() && Content[I] >= u'0' && Content[I] <= u'9' && Delay < 100000)
    Delay = Delay * 10 + (Content[I++] - u'0');
  while (I < Content.size() && (Content[I] <= 32 || Content[I] == u';' || Content[I] == u',' || Content[I] == u'.'))
    ++I;
  URL = Content.substr(I);
  if (AsciiLowerCase(URL.substr(0, 3)) == u"url") {
    size_t J = 3;
    while (J < URL.size() && URL[J] <= 32) ++J;
    if (J < URL.size() && URL[J] == u'=') URL = URL.substr(J + 1);
  }
  while (!URL.empty() && URL.front() <= 32) URL.erase(URL.begin());
  while (!URL.empty() && URL.back() <= 32) URL.pop_back();
  if (URL.size() >= 2 && (URL.front() == u'\'' || URL.front() == u'"') && URL.back() == URL.front())
    URL = URL.substr(1, URL.size() - 2);
  return true;
}

}  // namespace

// ---- Pages

void TPageSource::AddPage(const WideString& URL, std::string Utf8Html) { FPages[URL] = std::move(Utf8Html); }

bool TPageSource::FetchRemote(const WideString&, const std::string&, std::string&, WideString&, std::string& Error) {
  Error = "nothing is served at this address";
  return false;
}

bool TPageSource::Load(const WideString& URL, const std::string& PostData, std::string& Utf8Html,
                       WideString& FinalURL) {
  FLastError.clear();
  FinalURL = URL;
  if (!Admits(URL, FLastError)) {
    FFailures.emplace_back(URL, FLastError);
    return false;
  }
  if ((Fetch(URL, Utf8Html) || FetchRemote(URL, PostData, Utf8Html, FinalURL, FLastError)) &&
      (!AdmitMarkup || AdmitMarkup(Utf8Html, FLastError)))
    return true;
  FFailures.emplace_back(URL, FLastError);
  return false;
}

std::vector<std::pair<WideString, std::string>> TPageSource::TakeFailures() {
  std::vector<std::pair<WideString, std::string>> Taken;
  Taken.swap(FFailures);
  return Taken;
}

bool TPageSource::Fetch(const WideString& URL, std::string& Utf8Html) const {
  // The query of a registered address does not change the page (a server would answer it alike).
  const WideString WithoutFragment = URL.substr(0, URL.find(u'#'));
  for (const WideString& Key : {URL, WithoutFragment, WithoutFragment.substr(0, WithoutFragment.find(u'?'))}) {
    auto It = FPages.find(Key);
    if (It != FPages.end()) {
      Utf8Html = It->second;
      return true;
    }
  }
  if (AsciiLowerCase(URL) == u"about:blank") {
    Utf8Html.clear();
    return true;
  }
  if (AsciiLowerCase(URL.substr(0, 7)) == u"file://") {
    std::string Path = PercentDecode(WideToUtf8(URL.substr(7)));
    if (Path.rfind("localhost/", 0) == 0) Path.erase(0, 9);
    if (const size_t Q = Path.find_first_of("?#"); Q != std::string::npos) Path.erase(Q);
    std::ifstream In(Path, std::ios::binary);
    if (!In) return false;
    std::ostringstream Content;
    Content << In.rdbuf();
    Utf8Html = Content.str();
    return true;
  }
  return false;
}

// ---- Browsers

THeadlessBrowser::THeadlessBrowser(std::shared_ptr<TPageSource> Pages, THeadlessBrowser* Parent)
    : FPages(std::move(Pages)), FParent(Parent), FHwnd(GNextWindow.fetch_add(0x10)) {
  if (!FParent) FEvents.AddConnectionPoint(DIID_DWebBrowserEvents2);
}

std::shared_ptr<THeadlessBrowser> THeadlessBrowser::CreateTop(std::shared_ptr<TPageSource> Pages) {
  if (!Pages) Pages = std::make_shared<TPageSource>();
  return std::shared_ptr<THeadlessBrowser>(new THeadlessBrowser(std::move(Pages), nullptr));
}

THeadlessBrowser::~THeadlessBrowser() {
  if (FDocument) FDocument->SetHost(nullptr);
}

THeadlessBrowser& THeadlessBrowser::Top() { return FParent ? FParent->Top() : *this; }

std::shared_ptr<IInterface> THeadlessBrowser::Document() { return FDocument; }

std::shared_ptr<IConnectionPoint> THeadlessBrowser::FindConnectionPoint(const TGUID& EventIID) {
  return FEvents.FindConnectionPoint(EventIID);
}

void THeadlessBrowser::PutProperty(const WideString& Name, const TVariant& Value) { FProperties[Name] = Value; }

TVariant THeadlessBrowser::GetProperty(const WideString& Name) {
  auto It = FProperties.find(Name);
  return It == FProperties.end() ? TVariant() : It->second;
}

std::vector<int32_t> THeadlessBrowser::Fire(int32_t DispID, std::vector<TVariant> Args) {
  return Top().FEvents.Fire(DIID_DWebBrowserEvents2, DispID, std::move(Args));
}

void THeadlessBrowser::DefineScript(const WideString& Name, std::function<void(THtmlElement&)> Body) {
  Top().FScripts[Name] = std::move(Body);
}

void THeadlessBrowser::LoadHTML(const std::string& Utf8Html, const WideString& URL) {
  FPages->AddPage(URL, Utf8Html);
  Navigate(URL, TVariant(), TVariant(), TVariant(), TVariant());
}

void THeadlessBrowser::LoadFile(const std::string& Path) {
  const std::string Absolute = std::filesystem::absolute(Path).lexically_normal().string();
  std::string URL = "file://";
  for (unsigned char C : Absolute) {
    if (C == ' ' || C == '%' || C == '#' || C == '?' || C >= 0x80) {
      static const char Hex[] = "0123456789ABCDEF";
      URL += '%';
      URL += Hex[C >> 4];
      URL += Hex[C & 15];
    } else {
      URL += static_cast<char>(C);
    }
  }
  Navigate(AsciiToWide(URL), TVariant(), TVariant(), TVariant(), TVariant());
}

void THeadlessBrowser::Navigate(const WideString& URL, const TVariant&, const TVariant& TargetFrameName,
                                const TVariant& PostData, const TVariant& Headers) {
  std::string Post;
  if (PostData.VarType() == TVarType::ByteArray) {
    const auto& Bytes = PostData.AsBytes();
    Post.assign(Bytes.begin(), Bytes.end());
  }
  RequestNavigation(URL, TargetFrameName.AsWideString(), Post, Headers.AsWideString(), false);
  if (Top().FScriptDepth == 0) Top().RunPending();
}

THeadlessBrowser* THeadlessBrowser::FindFrame(const WideString& Name) {
  std::vector<THeadlessBrowser*> Stack{&Top()};
  while (!Stack.empty()) {
    THeadlessBrowser* B = Stack.back();
    Stack.pop_back();
    if (B->FParent && B->FName == Name) return B;
    for (const auto& F : B->FFrames) Stack.push_back(F.get());
  }
  return nullptr;
}

void THeadlessBrowser::RequestNavigation(const WideString& URL, const WideString& Target, const std::string& PostData,
                                         const WideString& Headers, bool IsRefresh) {
  THeadlessBrowser* Into = this;
  const WideString T = AsciiLowerCase(Target);
  if (T == u"_top") {
    Into = &Top();
  } else if (T == u"_parent") {
    Into = FParent ? FParent : this;
  } else if (!T.empty() && T != u"_self") {
    Into = T == u"_blank" ? nullptr : FindFrame(Target);
    if (!Into) {
      // Aimed at a window that does not exist: the browser asks before it opens a new one.
      TVariant NewDisp, Cancel(false);
      Fire(DispIdNewWindow2, {TVariant::Ref(NewDisp), TVariant::Ref(Cancel)});
      if (Cancel.AsBoolean()) return;
      auto Window = CreateTop(FPages);
      Window->FScripts = Top().FScripts;
      Top().NewWindows.push_back(Window);
      Window->RequestNavigation(URL, u"", PostData, Headers, false);
      Window->RunPending();
      return;
    }
  }

  TVariant Url(URL), Flags(int32_t{0}), Frame(Into->FName), Post, Head(Headers), Cancel(false);
  if (!PostData.empty()) Post = TVariant(TVariant::TBytes(PostData.begin(), PostData.end()));
  Fire(DispIdBeforeNavigate2,
       {AsObject(Into->shared_from_this()), TVariant::Ref(Url), TVariant::Ref(Flags), TVariant::Ref(Frame),
        TVariant::Ref(Post), TVariant::Ref(Head), TVariant::Ref(Cancel)});
  if (Cancel.AsBoolean()) return;
  Top().FQueue.push_back({Into->weak_from_this(), URL, PostData, IsRefresh});
}

void THeadlessBrowser::RunPending() {
  THeadlessBrowser& T = Top();
  if (T.FRunning) return;  // the loop already runs further up the stack
  T.FRunning = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } Reset{T.FRunning};
  for (int Turn = 0; Turn < MaxNavigationsPerTurn && !T.FQueue.empty(); ++Turn) {
    TPending P = std::move(T.FQueue.front());
    T.FQueue.pop_front();
    T.FRefreshes = P.IsRefresh ? T.FRefreshes + 1 : 0;
    if (auto B = P.Browser.lock()) B->Load(P.URL, P.PostData, 0);
  }
}

void THeadlessBrowser::Unload() {
  for (const auto& F : FFrames) F->Unload();
  if (FDocument) {
    auto Window = FDocument->Window();
    if (auto Body = std::dynamic_pointer_cast<THtmlElement>(FDocument->Body())) Body->RunHandler(u"onunload");
    Window->Events().Fire(DIID_HTMLWindowEvents, DispIdOnUnload);
    // A page that is gone can no longer navigate its window.
    FDocument->SetHost(nullptr);
  }
  FFrames.clear();
}

void THeadlessBrowser::BindScripts(THtmlDocument& Document) {
  const auto& Scripts = Top().FScripts;
  if (Scripts.empty()) return;
  for (const auto& E : Document.AllElements()) {
    for (const WideString Event : {u"onclick", u"onchange", u"onsubmit", u"onmousedown", u"onmouseup", u"onload",
                                   u"onunload", u"onfocus", u"onblur", u"onkeyup"}) {
      if (!E->HasAttribute(Event)) continue;
      auto It = Scripts.find(ScriptName(E->AttributeText(Event)));
      if (It == Scripts.end()) continue;
      // A navigation a page script asks for waits for the message loop, as in the browser: the
      // page the script runs in stays while anything up the stack still works on it.
      auto Body = [Window = weak_from_this(), Script = It->second](THtmlElement& Element) {
        auto Self = Window.lock();
        if (Self) ++Self->Top().FScriptDepth;
        struct TLeave {
          std::shared_ptr<THeadlessBrowser>& B;
          ~TLeave() {
            if (B) --B->Top().FScriptDepth;
          }
        } Leave{Self};
        Script(Element);
      };
      E->SetEventHandler(Event, TVariant(std::static_pointer_cast<IInterface>(std::make_shared<THeadlessScript>(Body))));
    }
  }
}

void THeadlessBrowser::Load(const WideString& URL, const std::string& PostData, int Depth) {
  auto Self = shared_from_this();  // events may drop the last outside reference
  Unload();
  Top().Requests.push_back({URL, PostData});

  // The bytes go where the last page's went: a fresh buffer would be a large request, for which the
  // heap first sweeps up all its small free chunks (the last page's nodes), at every load.
  std::string Html = std::move(FLoadBuffer);
  WideString Found = URL;
  if (!FPages->Load(URL, PostData, Html, Found)) {
    Html = "<html><head><title>Page not found</title></head><body>The page cannot be displayed</body></html>";
    Found = URL;
  }
  FDocument = THtmlDocument::Parse(Html, Found);
  // Only a buffer of an ordinary page is kept: a large one is not worth holding on to.
  if (Html.capacity() <= MaxKeptLoadBuffer) FLoadBuffer = std::move(Html);
  FDocument->SetHost(this);
  FDocument->SetTopBrowser(Top().weak_from_this());
  FURL = Found;
  BindScripts(*FDocument);

  TVariant Url(FURL);
  Fire(DispIdNavigateComplete2, {AsObject(Self), TVariant::Ref(Url)});

  // Frames load through the same machinery, in document order, as part of this page's load.
  static const TTagInfo* const FrameTag = &InternTag(u"frame");
  static const TTagInfo* const IFrameTag = &InternTag(u"iframe");
  auto IsFrame = [](const std::shared_ptr<THtmlElement>& E) {
    return &E->TagInfo() == FrameTag || &E->TagInfo() == IFrameTag;
  };
  // A copy of the list: the events of a frame's load may run scripts that change this page.
  if (Depth < MaxFrameDepth && std::any_of(FDocument->AllElements().begin(), FDocument->AllElements().end(), IsFrame)) {
    const auto Elements = FDocument->AllElements();
    for (const auto& E : Elements) {
      if (!IsFrame(E)) continue;
      std::shared_ptr<THeadlessBrowser> Frame(new THeadlessBrowser(FPages, this));
      Frame->FName = E->AttributeText(u"name");
      FFrames.push_back(Frame);
      FDocument->FrameObjects.push_back(Frame);
      const WideString Src = E->AttributeText(u"src");
      const WideString FrameURL = Src.empty() ? WideString(u"about:blank") : FDocument->ResolveURL(Src);
      TVariant FUrl(FrameURL), Flags(int32_t{0}), Name(Frame->FName), Post, Head, Cancel(false);
      Fire(DispIdBeforeNavigate2, {AsObject(Frame), TVariant::Ref(FUrl), TVariant::Ref(Flags), TVariant::Ref(Name),
                                   TVariant::Ref(Post), TVariant::Ref(Head), TVariant::Ref(Cancel)});
      if (!Cancel.AsBoolean()) Frame->Load(FrameURL, {}, Depth + 1);
    }
  }

  if (!FParent) Fire(DispIdDownloadComplete, {});
  if (FDocument) {
    TVariant DocUrl(FURL);
    Fire(DispIdDocumentComplete, {AsObject(Self), TVariant::Ref(DocUrl)});
  }
  // The window's onload follows the document's completion.
  if (auto Doc = FDocument) {
    if (auto Body = std::dynamic_pointer_cast<THtmlElement>(Doc->Body())) Body->RunHandler(u"onload");
    Doc->Window()->Events().Fire(DIID_HTMLWindowEvents, DispIdOnLoad);
  }

  // An immediate refresh (delay 0) of the top page navigates again, a bounded number of times.
  if (!FParent && FDocument && Top().FRefreshes < MaxConsecutiveRefreshes) {
    const auto& All = FDocument->AllElements();
    auto First = std::find_if(All.begin(), All.end(), [](const auto& E) { return E->Is(TTagInfo::TClass::Meta); });
    if (First != All.end()) {
      auto Meta = Supports<IHTMLMetaElement>(std::static_pointer_cast<IInterface>(*First));
      int Delay = 0;
      WideString Target;
      if (AsciiLowerCase(Meta->HttpEquiv()) == u"refresh" && ParseRefresh(Meta->Content(), Delay, Target) && Delay == 0)
        RequestNavigation(Target.empty() ? URL : FDocument->ResolveURL(Target), u"", {}, u"", true);
    }
  }
}

void THeadlessBrowser::NavigateFromDocument(THtmlDocument& Document, const WideString& URL, const WideString& Target) {
  if (Document.Host() != this) return;
  RequestNavigation(URL, Target, {}, u"", false);
}

void THeadlessBrowser::SubmitForm(THtmlDocument& Document, THtmlElement& Form, THtmlElement* Submitter) {
  if (Document.Host() != this) return;
  const WideString Action = Form.AttributeText(u"action");
  WideString URL = Action.empty() ? Document.URL() : Document.ResolveURL(Action);
  const std::string Data = FormDataSet(Form, Submitter);
  const bool Post = AsciiLowerCase(Form.AttributeText(u"method")) == u"post";
  WideString Headers;
  if (!Post) {
    URL = URL.substr(0, URL.find(u'#'));
    URL = URL.substr(0, URL.find(u'?')) + u"?" + AsciiToWide(Data);
  } else {
    Headers = u"Content-Type: application/x-www-form-urlencoded\r\n";
  }
  RequestNavigation(URL, Form.AttributeText(u"target"), Post ? Data : std::string(), Headers, false);
}

void THeadlessBrowser::UserClick(THtmlElement& Element) {
  auto Keep = Element.SharedElement();
  auto Doc = Element.OwnerDocument();
  if (Doc) Doc->SetActiveElement(Keep);
  for (const auto& [Script, DispID, Type] :
       {std::tuple{u"onmousedown", DispIdOnMouseDown, u"mousedown"}, std::tuple{u"onmouseup", DispIdOnMouseUp, u"mouseup"}}) {
    std::shared_ptr<THtmlWindow> Window = Doc ? Doc->Window() : nullptr;
    if (Window) Window->SetEvent(std::make_shared<THtmlEventObj>(Keep, Type));
    for (THtmlElement* E = &Element; E; E = E->Parent()) E->RunHandler(Script);
    // The press reaches the form from any control inside it, then the document.
    if (DispID == DispIdOnMouseDown)
      if (THtmlElement* Form = Element.Tag() == u"form" ? &Element : Element.OwnerForm())
        Form->Events().Fire(DIID_HTMLFormElementEvents, DispIdOnMouseDown);
    if (Doc) Doc->Events().Fire(DIID_HTMLDocumentEvents, DispID);
    if (Window) Window->SetEvent(nullptr);
  }
  Element.Click();
  Top().RunPending();
}

namespace {
void FireChange(THtmlElement& Control, const TGUID& EventIID) {
  auto Doc = Control.OwnerDocument();
  std::shared_ptr<THtmlWindow> Window = Doc ? Doc->Window() : nullptr;
  if (Window) Window->SetEvent(std::make_shared<THtmlEventObj>(Control.SharedElement(), u"change"));
  Control.RunHandler(u"onchange");
  Control.Events().Fire(EventIID, DispIdOnChange);
  if (Window) Window->SetEvent(nullptr);
}
}  // namespace

void THeadlessBrowser::UserType(THtmlElement& Control, const WideString& Text) {
  auto Keep = Control.SharedElement();
  if (auto Doc = Control.OwnerDocument()) Doc->SetActiveElement(Keep);
  if (Control.Tag() == u"input") {
    static_cast<THtmlInput&>(Control).SetValue(Text);
    FireChange(Control, DIID_HTMLInputTextElementEvents);
  } else if (Control.Tag() == u"textarea") {
    static_cast<THtmlTextArea&>(Control).SetValue(Text);
    FireChange(Control, DIID_HTMLTextContainerEvents);
  } else {
    throw Exception("Only text controls take typing");
  }
  Top().RunPending();
}

void THeadlessBrowser::UserSelect(THtmlElement& Select, int32_t OptionIndex, bool Selected) {
  if (Select.Tag() != u"select") throw Exception("Only selects offer options");
  auto Keep = Select.SharedElement();
  auto& S = static_cast<THtmlSelect&>(Select);
  const auto Options = S.Options();
  if (OptionIndex < 0 || OptionIndex >= static_cast<int32_t>(Options.size())) throw Exception("No such option");
  if (auto Doc = Select.OwnerDocument()) Doc->SetActiveElement(Keep);
  Options[static_cast<size_t>(OptionIndex)]->SetSelected(Selected || !S.Multiple());
  FireChange(Select, DIID_HTMLSelectElementEvents);
  Top().RunPending();
}

}  // namespace pel::headless
