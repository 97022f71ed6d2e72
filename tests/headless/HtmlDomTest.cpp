// The headless document model: what the add-on reads and writes through the DOM port must behave
// as the browser's documents do.

#include <gtest/gtest.h>
#include <pthread.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "headless/HtmlDom.h"
#include "platform/Exceptions.h"

using namespace pel;
using namespace pel::headless;

namespace {

struct TSubmission {
  WideString Form;
  WideString Submitter;
};

class TRecordingHost : public IDocumentHost {
public:
  std::vector<std::pair<WideString, WideString>> Navigations;
  std::vector<TSubmission> Submissions;
  void NavigateFromDocument(THtmlDocument&, const WideString& URL, const WideString& Target) override {
    Navigations.emplace_back(URL, Target);
  }
  void SubmitForm(THtmlDocument&, THtmlElement& Form, THtmlElement* Submitter) override {
    Submissions.push_back({Form.AttributeText(u"id"), Submitter ? Submitter->AttributeText(u"id") : u""});
  }
};

std::shared_ptr<THtmlDocument> Load(const std::string& Html, const WideString& URL = u"http://a.com/dir/page.asp") {
  return THtmlDocument::Parse(Html, URL);
}

std::shared_ptr<THtmlDocument> LoadFixture(const std::string& Name) {
  std::ifstream In(std::string(PEL_FIXTURES_DIR) + "/" + Name, std::ios::binary);
  if (!In) throw Exception("no fixture " + Name);
  std::stringstream Text;
  Text << In.rdbuf();
  return Load(Text.str(), AsciiToWide("http://a.com/" + Name));
}

// The ids of the controls a form owns, as its elements collection lists them.
std::vector<WideString> ElementIds(THtmlDocument& Doc, const char16_t* FormId) {
  auto Form = Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Doc.FindById(FormId)));
  if (!Form) throw Exception("no form with that id");
  std::vector<WideString> Ids;
  TElementsRef Elements = Form->Elements();
  for (int32_t I = 0; I < Elements->Length(); ++I)
    Ids.push_back(static_cast<THtmlElement&>(*Elements->Item(I)).AttributeText(u"id"));
  return Ids;
}

template <class T>
std::shared_ptr<T> ById(THtmlDocument& Doc, const char16_t* Id) {
  auto E = Supports<T>(std::static_pointer_cast<IInterface>(Doc.FindById(Id)));
  if (!E) throw Exception("no element of that kind with that id");
  return E;
}

TVariant Script(std::function<void(THtmlElement&)> Body) {
  return TVariant(std::static_pointer_cast<IInterface>(std::make_shared<THeadlessScript>(std::move(Body))));
}

const char* const SignUp = R"(<html><head><title> Sign
  up </title></head><body>
<form id=f1 action="post.cgi" method=POST FormID=7>
  <input id=user name=user value="bob" maxlength=5>
  <input id=pw type=PASSWORD name=pw>
  <input id=news type=checkbox name=news checked>
  <input id=r1 type=radio name=plan value=a checked><input id=r2 type=radio name=plan value=b>
  <select id=country name=country><option value=ca>Canada<option value=us>  United   States </select>
  <select id=langs name=langs multiple><option>en<option selected>fr</select>
  <textarea id=note name=note>hello
there</textarea>
  <input id=go type=submit value="Sign up">
</form>
<form id=f2><input type=radio name=plan id=r3 checked></form>
<a id=link href="../next.html" target=_top>Next</a>
</body></html>)";

}  // namespace

TEST(HtmlDom, TreeCollectionsAndKinds) {
  auto Doc = Load(SignUp);
  EXPECT_EQ(Doc->Title(), u"Sign up");
  EXPECT_EQ(Doc->Forms()->Length(), 2);
  TElementsRef All = Doc->All();
  EXPECT_EQ(All->Item(0)->TagName(), u"HTML");
  for (int32_t I = 0; I < All->Length(); ++I) EXPECT_EQ(All->Item(I)->SourceIndex(), I);
  EXPECT_EQ(All->Item(All->Length()), nullptr);

  auto Form = Doc->FindById(u"f1");
  EXPECT_EQ(Form->TagName(), u"FORM");
  EXPECT_NE(Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Form)), nullptr);
  EXPECT_EQ(Supports<IHTMLInputElement>(std::static_pointer_cast<IInterface>(Form)), nullptr);
  EXPECT_EQ(Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Form))->Elements()->Length(), 9);
  EXPECT_EQ(Form->Children()->Tags(u"INPUT")->Length(), 6);
  EXPECT_EQ(Doc->FindById(u"user")->ParentElement()->TagName(), u"FORM");
  EXPECT_TRUE(IsSameObject(Doc->FindById(u"user")->ParentElement(), Form));
  EXPECT_FALSE(IsSameObject(Doc->FindById(u"user"), Form));
  EXPECT_EQ(Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Form))->Method(), u"POST");
  EXPECT_EQ(Doc->Body()->TagName(), u"BODY");
}

TEST(HtmlDom, AttributesIgnoreCaseUnderFlagsZeroAndKeepIntegers) {
  auto Doc = Load(SignUp);
  auto Form = Doc->FindById(u"f1");
  EXPECT_EQ(Form->GetAttribute(u"formid", AttributeIgnoreCase).AsWideString(), u"7");
  EXPECT_TRUE(Form->GetAttribute(u"FormID", AttributeMatchCase).IsNull());
  EXPECT_TRUE(Form->GetAttribute(u"missing", AttributeIgnoreCase).IsNull());

  auto Other = Doc->FindById(u"f2");
  Other->SetAttribute(u"FormID", TVariant(int32_t{8}), AttributeIgnoreCase);
  const TVariant Back = Other->GetAttribute(u"FORMID", AttributeIgnoreCase);
  EXPECT_EQ(Back.VarType(), TVarType::Integer);
  EXPECT_EQ(Back.AsInteger(), 8);
  Other->SetAttribute(u"formid", TVariant(int32_t{9}), AttributeIgnoreCase);  // replaces, whatever the case
  EXPECT_EQ(Other->GetAttribute(u"FormID", AttributeMatchCase).AsInteger(), 9);
  EXPECT_TRUE(Other->RemoveAttribute(u"FORMID", AttributeIgnoreCase));
  EXPECT_TRUE(Other->GetAttribute(u"FormID", AttributeIgnoreCase).IsNull());
}

TEST(HtmlDom, ControlStateStartsFromTheMarkup) {
  auto Doc = Load(SignUp);
  auto User = ById<IHTMLInputElement>(*Doc, u"user");
  EXPECT_EQ(User->Type(), u"text");
  EXPECT_EQ(User->Value(), u"bob");
  EXPECT_EQ(User->MaxLength(), 5);
  EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"pw")->Type(), u"password");
  EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"pw")->MaxLength(), INT32_MAX);
  EXPECT_TRUE(ById<IHTMLInputElement>(*Doc, u"news")->Checked());

  auto Country = ById<IHTMLSelectElement>(*Doc, u"country");
  EXPECT_EQ(Country->Type(), u"select-one");
  EXPECT_EQ(Country->SelectedIndex(), 0);  // a drop-down list shows its first option
  EXPECT_EQ(Country->Value(), u"ca");
  auto US = Supports<IHTMLOptionElement>(std::static_pointer_cast<IInterface>(Country->Item(1)));
  EXPECT_EQ(US->Text(), u"United States");  // as the list shows it
  EXPECT_EQ(US->Index(), 1);
  EXPECT_FALSE(US->DefaultSelected());

  auto Langs = ById<IHTMLSelectElement>(*Doc, u"langs");
  EXPECT_EQ(Langs->Type(), u"select-multiple");
  EXPECT_EQ(Langs->SelectedIndex(), 1);
  auto En = Supports<IHTMLOptionElement>(std::static_pointer_cast<IInterface>(Langs->Item(0)));
  EXPECT_EQ(En->Value(), u"");  // no value attribute: an empty value, the text is separate
  EXPECT_EQ(En->Text(), u"en");

  EXPECT_EQ(ById<IHTMLTextAreaElement>(*Doc, u"note")->Value(), u"hello\nthere");
}

TEST(HtmlDom, SelectSelectionRules) {
  auto Doc = Load(SignUp);
  auto Country = ById<IHTMLSelectElement>(*Doc, u"country");
  auto Option = [&](int32_t I) { return Supports<IHTMLOptionElement>(std::static_pointer_cast<IInterface>(Country->Item(I))); };
  Option(1)->SetSelected(true);
  EXPECT_FALSE(Option(0)->Selected());  // one selection in a single select
  EXPECT_EQ(Country->SelectedIndex(), 1);
  Country->SetValue(u"");
  EXPECT_EQ(Country->SelectedIndex(), -1);  // no option has an empty value
  Country->SetSelectedIndex(0);
  EXPECT_EQ(Country->Value(), u"ca");

  auto Langs = ById<IHTMLSelectElement>(*Doc, u"langs");
  Supports<IHTMLOptionElement>(std::static_pointer_cast<IInterface>(Langs->Item(0)))->SetSelected(true);
  EXPECT_TRUE(Supports<IHTMLOptionElement>(std::static_pointer_cast<IInterface>(Langs->Item(1)))->Selected());
}

TEST(HtmlDom, ClicksBehaveAsTheBrowsers) {
  auto Doc = Load(SignUp);
  TRecordingHost Host;
  Doc->SetHost(&Host);

  // A check box has toggled by the time its click script runs.
  auto News = Doc->FindById(u"news");
  bool SeenChecked = true;
  News->SetEventHandler(u"onclick", Script([&](THtmlElement& E) {
    SeenChecked = static_cast<THtmlInput&>(E).Checked();
  }));
  News->Click();
  EXPECT_FALSE(SeenChecked);
  EXPECT_FALSE(ById<IHTMLInputElement>(*Doc, u"news")->Checked());

  // A radio button checks itself and unchecks its group, only within its own form.
  Doc->FindById(u"r2")->Click();
  EXPECT_TRUE(ById<IHTMLInputElement>(*Doc, u"r2")->Checked());
  EXPECT_FALSE(ById<IHTMLInputElement>(*Doc, u"r1")->Checked());
  EXPECT_TRUE(ById<IHTMLInputElement>(*Doc, u"r3")->Checked());
  Doc->FindById(u"r2")->Click();
  EXPECT_TRUE(ById<IHTMLInputElement>(*Doc, u"r2")->Checked());

  // A submit control runs the form's onsubmit, then submits with itself as the submitter.
  std::vector<std::string> Order;
  Doc->FindById(u"f1")->SetEventHandler(u"onsubmit", Script([&](THtmlElement&) {
    Order.push_back("onsubmit");
    EXPECT_TRUE(Host.Submissions.empty());
  }));
  Doc->FindById(u"go")->Click();
  ASSERT_EQ(Host.Submissions.size(), 1u);
  EXPECT_EQ(Order, std::vector<std::string>{"onsubmit"});
  EXPECT_EQ(Host.Submissions[0].Form, u"f1");
  EXPECT_EQ(Host.Submissions[0].Submitter, u"go");

  // form.submit() submits without onsubmit.
  ById<IHTMLFormElement>(*Doc, u"f1")->Submit();
  EXPECT_EQ(Order.size(), 1u);
  ASSERT_EQ(Host.Submissions.size(), 2u);
  EXPECT_EQ(Host.Submissions[1].Submitter, u"");

  // A link navigates to its resolved address.
  Doc->FindById(u"link")->Click();
  ASSERT_EQ(Host.Navigations.size(), 1u);
  EXPECT_EQ(Host.Navigations[0].first, u"http://a.com/next.html");
  EXPECT_EQ(Host.Navigations[0].second, u"_top");
  EXPECT_EQ(ById<IHTMLAnchorElement>(*Doc, u"link")->Href(), u"http://a.com/next.html");
}

TEST(HtmlDom, ClickBubblesToAncestorScriptsAndTheDocumentWithTheEventObject) {
  auto Doc = Load("<body><div id=outer><p id=inner><span id=t>x</span></p></div></body>");
  std::vector<WideString> Seen;
  for (const char16_t* Id : {u"t", u"inner", u"outer"})
    Doc->FindById(Id)->SetEventHandler(u"onclick", Script([&, Id](THtmlElement&) { Seen.push_back(Id); }));

  struct TDocSink : IEventDispatch {
    std::shared_ptr<THtmlDocument> Doc;
    WideString Source;
    int Calls = 0;
    int32_t Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t, TDispParams&, TVariant*) override {
      EXPECT_EQ(DispID, DispIdOnClick);
      ++Calls;
      Source = Doc->ParentWindow()->Event()->SrcElement()->GetAttribute(u"id", AttributeIgnoreCase).AsWideString();
      return HR_S_OK;
    }
  } Sink;
  Sink.Doc = Doc;
  Doc->FindConnectionPoint(DIID_HTMLDocumentEvents)->Advise(&Sink);
  Doc->FindById(u"t")->Click();
  EXPECT_EQ(Seen, (std::vector<WideString>{u"t", u"inner", u"outer"}));
  EXPECT_EQ(Sink.Calls, 1);
  EXPECT_EQ(Sink.Source, u"t");
  EXPECT_EQ(Doc->ParentWindow()->Event(), nullptr);  // only while the event is handled
}

TEST(HtmlDom, HandlersCanBeReadSwappedAndRestored) {
  auto Doc = Load("<select id=s><option>a</select>");
  auto Select = Doc->FindById(u"s");
  int Changes = 0;
  Select->SetEventHandler(u"onchange", Script([&](THtmlElement&) { ++Changes; }));
  EXPECT_TRUE(Select->GetEventHandler(u"onclick").IsNull());
  const TVariant OnChange = Select->GetEventHandler(u"ONCHANGE");
  Select->SetEventHandler(u"onclick", OnChange);
  Select->Click();
  Select->SetEventHandler(u"onclick", TVariant::Null());
  Select->Click();
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(Select->GetEventHandler(u"onclick").IsNull());
}

TEST(HtmlDom, RenderedTextAndRanges) {
  auto Doc = Load(R"(<body>
    <table><tr><td id=l1>First name:</td><td id=c1><input id=i1></td></tr>
           <tr><td id=l2>  E-mail  </td><td><input id=i2></td></tr></table>
    <p id=p>Label <b>bold</b><br>next line</p>
    <select id=s><option>One<option>Two</select> after
  </body>)");
  auto Body = Doc->Body();
  EXPECT_EQ(Doc->FindById(u"p")->InnerText(), u"Label bold\r\nnext line");
  EXPECT_EQ(Doc->FindById(u"l2")->InnerText(), u"E-mail");

  auto Range = Supports<IHTMLBodyElement>(std::static_pointer_cast<IInterface>(Body))->CreateTextRange();
  EXPECT_EQ(Range->Text(), u"First name:\r\nE-mail\r\nLabel bold\r\nnext line\r\nOne Two after");

  // Between the first label and the first input there is no text: a separator is written only
  // before more text.
  auto R = Range->Duplicate();
  auto A = R->Duplicate();
  A->MoveToElementText(Doc->FindById(u"l1"));
  EXPECT_EQ(A->Text(), u"First name:");
  R->SetEndPoint(u"StartToEnd", A);
  auto B = R->Duplicate();
  B->MoveToElementText(Doc->FindById(u"i1"));
  R->SetEndPoint(u"EndToStart", B);
  EXPECT_EQ(R->Text(), u"");
  auto Row = Range->Duplicate();
  Row->MoveToElementText(Doc->FindById(u"c1"));
  Row->SetEndPoint(u"StartToStart", A);
  EXPECT_EQ(Row->Text(), u"First name:");

  auto S = Range->Duplicate();
  S->MoveToElementText(Doc->FindById(u"s"));
  EXPECT_EQ(S->Text(), u"One Two");
  EXPECT_EQ(S->MoveStart(u"character", -1), -1);
  EXPECT_EQ(S->Text(), u"\nOne Two");
  EXPECT_EQ(S->MoveEnd(u"Character", 1000), 6);  // stops at the end of the text
  EXPECT_EQ(S->MoveStart(u"character", -100000), -43);
  EXPECT_THROW(S->MoveStart(u"word", 1), EOleSysError);
}

TEST(HtmlDom, ASelectIsSetOffFromTheWordsAroundIt) {
  auto Doc = Load(R"(<body><p id=p>Age<select id=s><option>18-30<option>over 30</select>years</p>
    <p id=q>A<select id=e></select>B</p><p><select id=f><option>x</select></p></body>)");
  EXPECT_EQ(Doc->FindById(u"p")->InnerText(), u"Age 18-30 over 30 years");
  EXPECT_EQ(Doc->FindById(u"q")->InnerText(), u"A B");
  auto Range = Supports<IHTMLBodyElement>(std::static_pointer_cast<IInterface>(Doc->Body()))->CreateTextRange();
  EXPECT_EQ(Range->Text(), u"Age 18-30 over 30 years\r\nA B\r\nx");
  // The list's span holds its option texts only; the separators lie outside it.
  auto S = Range->Duplicate();
  S->MoveToElementText(Doc->FindById(u"s"));
  EXPECT_EQ(S->Text(), u"18-30 over 30");
  S->MoveToElementText(Doc->FindById(u"f"));
  EXPECT_EQ(S->Text(), u"x");
  S->MoveToElementText(Doc->FindById(u"e"));
  EXPECT_EQ(S->Text(), u"");
}

TEST(HtmlDom, InnerHTMLSerialisesTheSubtree) {
  auto Doc = Load(R"(<form id=f><input name="a&b" value='say "hi"'><b>x &lt; y</b><br></form>)");
  EXPECT_EQ(Doc->FindById(u"f")->InnerHTML(),
            u"<input name=\"a&amp;b\" value=\"say &quot;hi&quot;\"><b>x &lt; y</b><br>");
}

TEST(HtmlDom, ScriptAddedElementsJoinTheCollections) {
  auto Doc = Load("<body><form id=a></form></body>");
  EXPECT_EQ(Doc->Forms()->Length(), 1);
  auto Form = CreateElement(u"form");
  Form->SetAttribute(u"id", TVariant(u"b"), AttributeIgnoreCase);
  auto Input = CreateElement(u"input");
  Form->AppendChild(Input);
  Doc->FindById(u"a")->ParentElement();
  std::static_pointer_cast<THtmlElement>(Doc->Body())->AppendChild(Form);
  EXPECT_EQ(Doc->Forms()->Length(), 2);
  EXPECT_EQ(Input->SourceIndex(), Doc->All()->Length() - 1);
  EXPECT_TRUE(IsSameObject(Input->Document(), Doc));
  std::static_pointer_cast<THtmlElement>(Doc->Body())->RemoveChild(*Form);
  EXPECT_EQ(Doc->Forms()->Length(), 1);
}

TEST(HtmlDom, ChildrenAreSnapshotsOfTheTreeAsItIs) {
  auto Doc = Load("<body><form id=f><input id=a></form></body>");
  auto Form = Doc->FindById(u"f");
  TElementsRef Before = Form->Children();
  EXPECT_EQ(Form->Children()->Length(), 1);
  Form->AppendChild(CreateElement(u"select"));
  TElementsRef After = Form->Children();
  ASSERT_EQ(After->Length(), 2);
  EXPECT_EQ(After->Item(1)->TagName(), u"SELECT");
  EXPECT_EQ(Before->Length(), 1);  // what a caller already holds does not change under it
  Form->RemoveChild(*Doc->FindById(u"a"));
  ASSERT_EQ(Form->Children()->Length(), 1);
  EXPECT_EQ(Form->Children()->Item(0)->TagName(), u"SELECT");
  // An element outside any page still answers its children as they are.
  auto Loose = CreateElement(u"div");
  EXPECT_EQ(Loose->Children()->Length(), 0);
  Loose->AppendChild(CreateElement(u"p"));
  EXPECT_EQ(Loose->Children()->Length(), 1);
}

TEST(HtmlDom, ElementsOutliveTheirDocumentSafely) {
  std::shared_ptr<THtmlElement> Kept;
  {
    auto Doc = Load("<form id=f><input id=i></form>");
    Kept = Doc->FindById(u"f");
  }
  EXPECT_EQ(Kept->Document(), nullptr);
  EXPECT_EQ(Kept->SourceIndex(), -1);
  EXPECT_EQ(Kept->Children()->Length(), 1);  // a held element keeps its own subtree
  EXPECT_NO_THROW(Kept->Click());
}

TEST(HtmlDom, DeepNestingLoadsWalksAndFreesWithoutRecursion) {
  std::string Html = "<body>";
  for (int I = 0; I < 10000; ++I) Html += "<div>";
  Html += "<input id=deep>";
  auto Doc = Load(Html);
  auto Deep = Doc->FindById(u"deep");
  ASSERT_NE(Deep, nullptr);
  EXPECT_GT(Doc->All()->Length(), 10000);
  EXPECT_EQ(Deep->SourceIndex(), Doc->All()->Length() - 1);
  EXPECT_EQ(Doc->Body()->InnerText(), u"");
  EXPECT_FALSE(Doc->Body()->InnerHTML().empty());

  // Every level caches its children, as a walk up from the control leaves them; freeing the page
  // must still not take a stack frame per level: it runs here on a thread with a small stack.
  for (TElementRef E = Deep; E; E = E->ParentElement()) E->Children();
  Deep.reset();
  struct TFree {
    static void* Run(void* Arg) {
      static_cast<std::shared_ptr<THtmlDocument>*>(Arg)->reset();
      return nullptr;
    }
  };
  pthread_attr_t Attr;
  pthread_attr_init(&Attr);
  pthread_attr_setstacksize(&Attr, 256 * 1024);
  pthread_t Thread;
  ASSERT_EQ(pthread_create(&Thread, &Attr, &TFree::Run, &Doc), 0);
  pthread_join(Thread, nullptr);
  pthread_attr_destroy(&Attr);
  EXPECT_EQ(Doc, nullptr);
}

// Older sites open a form between a table and its rows; the parser closes the form at once but
// the controls that follow still belong to it until its end tag.
TEST(HtmlDom, AFormOpenedInsideATableOwnsTheControlsThatFollow) {
  auto Doc = LoadFixture("owners/table.html");
  using TIds = std::vector<WideString>;
  EXPECT_EQ(ElementIds(*Doc, u"login"), (TIds{u"user", u"pass", u"day", u"week", u"lang", u"go"}));
  EXPECT_EQ(ElementIds(*Doc, u"search"), TIds{u"q"});
  auto Login = Doc->FindById(u"login");
  EXPECT_TRUE(IsSameObject(ById<IHTMLInputElement>(*Doc, u"user")->Form(), Login));
  EXPECT_TRUE(IsSameObject(ById<IHTMLSelectElement>(*Doc, u"lang")->Form(), Login));
  EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"stray")->Form(), nullptr);
  EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"outside")->Form(), nullptr);
  auto LoginForm = Supports<IHTMLFormElement>(std::static_pointer_cast<IInterface>(Login));
  EXPECT_EQ(LoginForm->Tags(u"input")->Length(), 5);
  EXPECT_EQ(LoginForm->Tags(u"SELECT")->Length(), 1);

  // The radio group is the form's: checking "week" unchecks "day" but not the formless one.
  Doc->FindById(u"week")->Click();
  EXPECT_FALSE(ById<IHTMLInputElement>(*Doc, u"day")->Checked());
  EXPECT_TRUE(ById<IHTMLInputElement>(*Doc, u"outside")->Checked());

  TRecordingHost Host;
  Doc->SetHost(&Host);
  Doc->FindById(u"go")->Click();
  ASSERT_EQ(Host.Submissions.size(), 1u);
  EXPECT_EQ(Host.Submissions[0].Form, u"login");
  EXPECT_EQ(Host.Submissions[0].Submitter, u"go");
}

// Only a tag closes the parser's form: not the same letters in a script, a comment, an attribute
// or a noscript element's content (text to a browser that runs scripts).
TEST(HtmlDom, TheTextOfAnEndTagElsewhereClosesNoForm) {
  const char* Pages[] = {
      R"(<table><form id=f><tr><td><input id=a title="</form>"><script>document.write("</form>")</script>
    <!-- </form> --><input id=b></td></tr></table><input id=c></FORM ><input id=d>)",
      R"(<table><form id=f><tr><td><input id=a><noscript>Scripts are off</form><input id=n></noscript>
    <input id=b></td></tr></table><input id=c></form><input id=d>)",
  };
  for (const char* Page : Pages) {
    auto Doc = Load(Page);
    EXPECT_EQ(ElementIds(*Doc, u"f"), (std::vector<WideString>{u"a", u"b", u"c"})) << Page;
  }
}

TEST(HtmlDom, AFormClosedByAnEnclosingEndTagKeepsItsLaterControls) {
  auto Doc = LoadFixture("owners/div.html");
  using TIds = std::vector<WideString>;
  EXPECT_EQ(ElementIds(*Doc, u"contact"), (TIds{u"name", u"subject", u"message", u"send"}));
  EXPECT_TRUE(IsSameObject(ById<IHTMLTextAreaElement>(*Doc, u"message")->Form(), Doc->FindById(u"contact")));
  EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"email")->Form(), nullptr);
}

// What the parser decided holds until a script moves the control: then its ancestors decide, as
// for any control a script inserts.
TEST(HtmlDom, MovedAndInsertedControlsBelongToTheirAncestorForm) {
  auto Doc = LoadFixture("owners/table.html");
  using TIds = std::vector<WideString>;
  auto Body = std::static_pointer_cast<THtmlElement>(Doc->Body());
  auto Added = CreateElement(u"input");
  Added->SetAttribute(u"id", TVariant(u"added"), AttributeIgnoreCase);
  Body->AppendChild(Added);
  auto Pass = Doc->FindById(u"pass");
  Body->AppendChild(Pass);
  EXPECT_EQ(ElementIds(*Doc, u"login"), (TIds{u"user", u"day", u"week", u"lang", u"go"}));
  EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"pass")->Form(), nullptr);
  auto Search = Doc->FindById(u"search");
  Search->AppendChild(Doc->FindById(u"user"));
  Search->AppendChild(Added);
  EXPECT_EQ(ElementIds(*Doc, u"search"), (TIds{u"q", u"user", u"added"}));
  EXPECT_EQ(ElementIds(*Doc, u"login"), (TIds{u"day", u"week", u"lang", u"go"}));
}

TEST(HtmlDom, ALineBreakHasNoTextOfItsOwn) {
  auto Doc = Load(R"(<body><p id=p>City<br id=br><input id=city></p></body>)");
  EXPECT_EQ(Doc->FindById(u"br")->InnerText(), u"");
  EXPECT_EQ(Doc->FindById(u"p")->InnerText(), u"City\r\n");
}

TEST(HtmlDom, TheTextOfAButtonIsRendered) {
  auto Doc =
      Load(R"(<body><div id=d><label>Email</label> <input name=email> <button id=b>Log in</button></div></body>)");
  EXPECT_EQ(Doc->FindById(u"d")->InnerText(), u"Email Log in");
  EXPECT_EQ(Doc->FindById(u"b")->InnerText(), u"Log in");
}

// The page has no style sheets here, but an element's own style attribute can be honoured.
TEST(HtmlDom, TextHiddenByItsOwnStyleIsLeftOut) {
  auto Doc = Load(R"(<body><p id=p><label>Email</label><span id=tip style="color:red; display : none">Please
    enter a valid email address.</span><input id=i></p>
    <p id=q>Phone <em style="VISIBILITY:hidden !important">(optional)</em> <span style="display:inline">number</span></p>
    <p id=r>Name <span style="x-display:none">kept</span></p></body>)");
  EXPECT_EQ(Doc->FindById(u"p")->InnerText(), u"Email");
  EXPECT_EQ(Doc->FindById(u"q")->InnerText(), u"Phone number");
  EXPECT_EQ(Doc->FindById(u"r")->InnerText(), u"Name kept");
  // Asked itself, a hidden element still answers its text.
  EXPECT_EQ(Doc->FindById(u"tip")->InnerText(), u"Please enter a valid email address.");
  // A script that shows it again shows its text.
  auto Tip = Doc->FindById(u"tip");
  Tip->SetAttribute(u"style", TVariant(u"display:inline"), AttributeIgnoreCase);
  EXPECT_EQ(Doc->FindById(u"p")->InnerText(), u"EmailPlease enter a valid email address.");
}

// A style attribute is read as the browser reads it: the last valid declaration of a property wins
// unless an earlier one is important, and what the browser drops (old hacks, misspellings) hides
// nothing.
TEST(HtmlDom, AnInlineStyleHidesAsTheBrowserReadsIt) {
  const struct {
    const char* Style;
    bool Hides;
  } Cases[] = {
      {"display:none; display: block;", false},
      {"display:block; color: #888; display: none;", true},
      {"display:none !important; display:inline", true},
      {"display:inline!important;display:none", false},
      {"display:none;;display:initial", false},
      {"display:none; display:blok", true},
      {"display:none; display:inline flow-root", false},
      {"display:none; display:inline block", true},
      {"display:none; display:flow", false},
      {"display:none; display:var(--shown)", false},
      {"DISPLAY:NONE!IMPORTANT", true},
      {"display : none ! important ; ", true},
      {"display:none !ie", false},
      {"display:none !important !important", false},
      {"zoom:1; *display:none", false},
      {"display:none\\9", false},
      {"display:n\\one", true},
      {"display:\\6e one", true},
      {"display:/* until chosen */none", true},
      {"font-family:'Arial;display:none;'", false},
      {"background:url(a.png;display:none)", false},
      {"width:calc(1px; display:none)", false},
      {"{display:none}", false},
      {"visibility:hidden; visibility:visible", false},
      {"visibility:visible !important; visibility:hidden", false},
      {"visibility:hidden; visibility:inherit", false},
      {"visibility:collapse", true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Style);
    auto Doc = Load(std::string("<body><p id=p>Label <span style=\"") + C.Style + "\">note</span></p></body>");
    EXPECT_EQ(Doc->FindById(u"p")->InnerText(), C.Hides ? u"Label" : u"Label note");
  }
}

// A box hidden by visibility hides everything inside it, also from text asked of what is inside
// (a location chooser that a script shows later); one hidden by display has no boxes at all, and
// what is inside it answers its own text.
TEST(HtmlDom, WhatIsInsideAnElementHiddenByVisibilityShowsNoText) {
  auto Doc = Load(R"(<body><div id=v style="position:absolute; visibility: hidden"><table><tr>
    <td id=cell><input name=zip><a href="#">Default Location</a> <a href="#">Cancel</a></td></tr></table></div>
    <div style="display:none"><p id=d>Choose <input name=city></p></div></body>)");
  EXPECT_EQ(Doc->FindById(u"cell")->InnerText(), u"");
  // Its boxes show nothing, so asked itself it answers nothing either.
  EXPECT_EQ(Doc->FindById(u"v")->InnerText(), u"");
  EXPECT_EQ(Doc->FindById(u"d")->InnerText(), u"Choose");
  // Shown by a script, it shows its text.
  Doc->FindById(u"v")->SetAttribute(u"style", TVariant(u"position:absolute"), AttributeIgnoreCase);
  EXPECT_EQ(Doc->FindById(u"cell")->InnerText(), u"Default Location Cancel");
}

TEST(HtmlDom, OptionTextIsTrimmedAndCollapsed) {
  auto Doc = Load(
      "<body><p id=p>Country <select id=s><option id=o value=\"\">\n  Select...\n </option>"
      "<option>United \t States</option></select></p></body>");
  EXPECT_EQ(ById<IHTMLOptionElement>(*Doc, u"o")->Text(), u"Select...");
  EXPECT_EQ(Supports<IHTMLOptionElement>(ById<IHTMLSelectElement>(*Doc, u"s")->Item(1))->Text(), u"United States");
  EXPECT_EQ(Doc->FindById(u"p")->InnerText(), u"Country Select... United States");
}

// The browser runs scripts, so its parser reads what a noscript element holds as text.
TEST(HtmlDom, NoscriptContentIsTextNotControls) {
  auto Doc = LoadFixture("owners/noscript.html");
  using TIds = std::vector<WideString>;
  EXPECT_EQ(ElementIds(*Doc, u"contact"), (TIds{u"email", u"message", u"send"}));
  EXPECT_EQ(Doc->FindById(u"g-recaptcha-response"), nullptr);
  EXPECT_EQ(Doc->All()->Tags(u"input")->Length(), 2);  // nothing of the head's noscript either
  EXPECT_EQ(Doc->All()->Tags(u"img")->Length(), 0);
  auto Fallback = Doc->FindById(u"fallback");
  ASSERT_NE(Fallback, nullptr);
  EXPECT_EQ(Fallback->Children()->Length(), 0);
  EXPECT_NE(Fallback->InnerHTML().find(u"<textarea id=\"g-recaptcha-response\""), WideString::npos);
  EXPECT_EQ(Doc->FindById(u"contact")->InnerText(), u"E-mail\r\nMessage");
  EXPECT_EQ(Doc->Title(), u"Contact");
}

// A paragraph left open in noscript content keeps gumbo from ending the noscript at its end tag:
// what follows must still stand after it, as the browser places it, and not vanish with the
// content the browser reads as text.
TEST(HtmlDom, WhatFollowsANoscriptWithAnOpenParagraphStaysOnThePage) {
  const std::pair<const char*, const char*> Pages[] = {
      {"in a block", "<form id=f><div id=box><noscript><p>Turn scripts on</noscript>"
                     "<input id=b name=email> <b id=t>Tail</b></div><input id=c></form>"},
      {"in a cell", "<form id=f><table><tr><td id=box><noscript><p>Turn scripts on</noscript>"
                    "<input id=b name=email> <b id=t>Tail</b></td></tr></table><input id=c></form>"},
      {"nested", "<form id=f><div id=box><noscript><p><span>Turn <i>scripts</noscript>"
                 "<input id=b name=email> <b id=t>Tail</b></div><input id=c></form>"},
  };
  for (const auto& [Name, Html] : Pages) {
    SCOPED_TRACE(Name);
    auto Doc = Load(Html);
    auto B = Doc->FindById(u"b");
    ASSERT_NE(B, nullptr);
    EXPECT_EQ(B->Parent(), Doc->FindById(u"box").get());
    ASSERT_NE(Doc->FindById(u"t"), nullptr);
    EXPECT_EQ(Doc->FindById(u"t")->Parent(), Doc->FindById(u"box").get());
    EXPECT_EQ(ElementIds(*Doc, u"f"), (std::vector<WideString>{u"b", u"c"}));
    EXPECT_EQ(Doc->FindById(u"box")->InnerText(), u"Tail");
    auto Noscript = Doc->All()->Tags(u"noscript")->Item(0);
    ASSERT_NE(Noscript, nullptr);
    EXPECT_EQ(Noscript->Children()->Length(), 0);
  }
  // Text right after the end tag gumbo passed over is the page's, blanks and entities as written.
  auto Doc = Load("<div id=d>Go<noscript><p>scripts</noscript> on &amp; on<input id=i></div>");
  EXPECT_EQ(Doc->FindById(u"d")->InnerText(), u"Go on & on");
  ASSERT_NE(Doc->FindById(u"i"), nullptr);
}

TEST(HtmlDom, AButtonOfAnUnknownTypeSubmits) {
  auto Doc = Load(R"(<form id=f><button id=b1 type="fh-button">Go</button><button id=b2 type=" RESET ">R</button>
    <button id=b3 type=button>B</button><button id=b4>S</button></form>)");
  EXPECT_EQ(ById<IHTMLButtonElement>(*Doc, u"b1")->Type(), u"submit");
  EXPECT_EQ(ById<IHTMLButtonElement>(*Doc, u"b2")->Type(), u"reset");
  EXPECT_EQ(ById<IHTMLButtonElement>(*Doc, u"b3")->Type(), u"button");
  EXPECT_EQ(ById<IHTMLButtonElement>(*Doc, u"b4")->Type(), u"submit");
  TRecordingHost Host;
  Doc->SetHost(&Host);
  Doc->FindById(u"b1")->Click();
  Doc->FindById(u"b3")->Click();
  ASSERT_EQ(Host.Submissions.size(), 1u);
  EXPECT_EQ(Host.Submissions[0].Submitter, u"b1");
}

// The browser knows the types of its own version of HTML; any other type is a text field.
TEST(HtmlDom, AnInputOfAnUnknownTypeIsAText) {
  const std::pair<const char*, const char16_t*> Cases[] = {
      {"", u"text"},
      {"type=TEXT", u"text"},
      {"type=textbox", u"text"},
      {"type=date", u"text"},
      {"type=color", u"text"},
      {"type=datetime-local", u"text"},
      {"type=email", u"email"},
      {"type=TEL", u"tel"},
      {"type=url", u"url"},
      {"type=number", u"number"},
      {"type=search", u"search"},
      {"type=\" Password \"", u"password"},
      {"type=checkbox", u"checkbox"},
      {"type=radio", u"radio"},
      {"type=submit", u"submit"},
      {"type=reset", u"reset"},
      {"type=button", u"button"},
      {"type=image", u"image"},
      {"type=file", u"file"},
      {"type=hidden", u"hidden"},
  };
  for (const auto& [Attribute, Expected] : Cases) {
    auto Doc = Load(std::string("<input id=i ") + Attribute + ">");
    EXPECT_EQ(ById<IHTMLInputElement>(*Doc, u"i")->Type(), Expected) << Attribute;
  }
}

// Texts, option lists, form elements, forms and radio groups are kept per version of the tree:
// every change a page script can make must still show in the next answer.
TEST(HtmlDom, KeptAnswersFollowEveryChangeOfTheTree) {
  auto Doc = Load(R"(<body><div id=d>Email <input id=i><select id=s><option>a</select></div>
    <form id=f><input type=radio name=a id=r1 checked><input type=radio name=b id=r2></form></body>)");
  auto D = Doc->FindById(u"d");
  EXPECT_EQ(D->InnerText(), u"Email a");
  auto Tip = CreateElement(u"span");
  Tip->AppendChild(std::make_shared<THtmlText>(u"(work)"));
  D->AppendChild(Tip);
  EXPECT_EQ(D->InnerText(), u"Email a (work)");
  Tip->SetAttribute(u"STYLE", TVariant(u"display: none"), AttributeIgnoreCase);
  EXPECT_EQ(D->InnerText(), u"Email a");

  auto Select = ById<IHTMLSelectElement>(*Doc, u"s");
  EXPECT_EQ(Select->Length(), 1);
  auto Option = CreateElement(u"option");
  Option->AppendChild(std::make_shared<THtmlText>(u"b"));
  Doc->FindById(u"s")->AppendChild(Option);
  ASSERT_EQ(Select->Length(), 2);
  EXPECT_TRUE(IsSameObject(Select->Item(1), Option));
  EXPECT_EQ(D->InnerText(), u"Email a b");

  EXPECT_EQ(Doc->Forms()->Length(), 1);
  auto Form = Doc->FindById(u"f");
  EXPECT_EQ(ElementIds(*Doc, u"f"), (std::vector<WideString>{u"r1", u"r2"}));
  auto Added = CreateElement(u"input");
  Added->SetAttribute(u"id", TVariant(u"added"), AttributeIgnoreCase);
  Form->AppendChild(Added);
  EXPECT_EQ(ElementIds(*Doc, u"f"), (std::vector<WideString>{u"r1", u"r2", u"added"}));
  std::static_pointer_cast<THtmlElement>(Doc->Body())->AppendChild(CreateElement(u"form"));
  EXPECT_EQ(Doc->Forms()->Length(), 2);

  // A radio button a script renames joins its new group.
  Doc->FindById(u"r2")->Click();
  EXPECT_TRUE(ById<IHTMLInputElement>(*Doc, u"r1")->Checked());
  Doc->FindById(u"r1")->SetAttribute(u"name", TVariant(u"b"), AttributeIgnoreCase);
  ById<IHTMLInputElement>(*Doc, u"r2")->SetChecked(false);
  Doc->FindById(u"r2")->Click();
  EXPECT_FALSE(ById<IHTMLInputElement>(*Doc, u"r1")->Checked());
}

// An element's innerText is read from the body's text once that stands; it must be the text the
// element renders on its own, on every fixture and on the shapes where the two could part:
// preformatted text, hidden elements and their content, lists, breaks and cells at the edges.
TEST(HtmlDocument, InnerTextFromTheBodysTextIsTheElementsOwnRendering) {
  std::vector<std::pair<std::string, std::string>> Pages = {
      {"shapes", R"(<html><body>Lead <span> in <b>bold</b> </span><pre>a  b
  <i>c   d</i>
</pre><div style="display:none">gone <span>inner</span></div><div style="visibility:hidden">unseen</div>
<table><tr><td>one</td><td> two <br> three</td></tr><tr><th><br>four</th></tr></table>
Age <select><option>18-30<option selected>31-50</select> years
<p><span>  spaced   out  </span></p><script>var x = 1;</script><ul><li>first<li><div>second</div></ul>
<textarea>typed</textarea><noscript><p>no script</p></noscript>&nbsp;<span>&#160;</span></body></html>)"}};
  for (const auto& Entry : std::filesystem::recursive_directory_iterator(PEL_FIXTURES_DIR)) {
    if (Entry.path().extension() != ".html") continue;
    std::ifstream In(Entry.path(), std::ios::binary);
    std::stringstream Text;
    Text << In.rdbuf();
    Pages.emplace_back(Entry.path().filename().string(), Text.str());
  }
  for (const auto& [Name, Html] : Pages) {
    SCOPED_TRACE(Name);
    auto Own = Load(Html);
    auto FromBody = Load(Html);
    FromBody->BodyText();
    const auto& A = Own->AllElements();
    const auto& B = FromBody->AllElements();
    ASSERT_EQ(A.size(), B.size());
    for (size_t I = 0; I < A.size(); ++I)
      EXPECT_EQ(A[I]->InnerText(), B[I]->InnerText()) << "element " << I << " <" << WideToAscii(A[I]->Tag()) << ">";
  }
}
