// The commands that teach the store about the focused field: bind and unbind (also inside a
// frame), a synonym the next page benefits from, and the values a field offers.

#include "HelperTestSupport.h"
#include "BHO/BindingMarks.h"

using namespace pel;
using namespace pel::test;

namespace {

class BindingCommands : public THelperScenario {
protected:
  void Focus(const char16_t* Id, headless::THeadlessBrowser* In = nullptr) {
    auto E = Element(Id, In);
    E->OwnerDocument()->SetActiveElement(E);
  }
  // The user picks Field among all fields of the bind-field dialog; Synonym, when given, is what
  // the synonym box shows.
  void Pick(const char* Field, const char16_t* ExpectedSynonym = nullptr, const char16_t* Typed = nullptr) {
    Views().Answer("ProfileBindFieldForm", [=](TForm& Form) {
      auto& D = static_cast<TProfileBindFieldForm&>(Form);
      if (ExpectedSynonym) {
        EXPECT_TRUE(D.SynonimPanel.Visible);
        EXPECT_EQ(D.SynonimEdit.Text, ExpectedSynonym);
      }
      if (Typed) D.SynonimEdit.Text = Typed;
      D.GroupsComboBox.Select(0);
      const int Index = D.TextListBox.Items.IndexOf(Field);
      ASSERT_GE(Index, 0) << Field;
      D.TextListBox.Select(Index);
      D.OKButton.Click();
    });
  }
};

TEST_F(BindingCommands, AFieldInAFrameIsBoundFilledAndUnbound) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  Serve(u"http://site.example/", R"(<html><frameset><frame src="http://site.example/in"></frameset></html>)");
  Serve(u"http://site.example/in", R"(<html><body><form><input id=x name="zz_17"></form></body></html>)");
  Open(u"http://site.example/");
  auto Frame = Browser->Frames()[0].get();
  Focus(u"x", Frame);
  Pick("City");
  Helper->Agent().BindField();
  EXPECT_EQ(Value(u"x", Frame), u"Springfield");
  WideString Bound;
  EXPECT_TRUE(GetAttributeText(Element(u"x", Frame), ProfileFieldAttribute, Bound));
  EXPECT_EQ(Bound, u"City");
  EXPECT_FALSE(Element(u"x", Frame)->Title().empty());
  EXPECT_EQ(Helper->LastBindField(), u"City");
  EXPECT_EQ(Helper->LastBindGroup(), u"All fields");

  // The dialog opens on the field the box is bound to.
  Views().Answer("ProfileBindFieldForm", [](TForm& Form) {
    auto& D = static_cast<TProfileBindFieldForm&>(Form);
    EXPECT_EQ(D.TextListBox.Items[D.TextListBox.ItemIndex], "City");
    Form.PressEscape();
  });
  Helper->Agent().BindField();

  Helper->Agent().UnbindField();
  EXPECT_TRUE(GetAttributeText(Element(u"x", Frame), ProfileFieldAttribute, Bound) == false || Bound.empty());
  EXPECT_EQ(Element(u"x", Frame)->Title(), u"");
  EXPECT_EQ(Element(u"x", Frame)->StyleBackgroundColor(), u"");
}

TEST_F(BindingCommands, ASynonymTaughtOnOnePageFillsTheNextPage) {
  StartStore();
  OpenWindow();
  Serve(u"http://a.example/", R"(<html><body><form><input id=w name="heimatort_x"></form></body></html>)");
  Serve(u"http://b.example/", R"(<html><body><form action="/b"><input id=w name="heimatort_x"></form></body></html>)");
  Open(u"http://a.example/");
  EXPECT_EQ(Value(u"w"), u"");
  Focus(u"w");
  Pick("City", u"heimatort_x");
  Helper->Agent().AddSynonym();
  Open(u"http://b.example/");
  EXPECT_EQ(Value(u"w"), u"Springfield");

  // A synonym box emptied in the dialog sends nothing.
  Open(u"http://a.example/");
  Focus(u"w");
  Pick("Company", u"heimatort_x", u"  ");
  Helper->Agent().AddSynonym();
  Open(u"http://b.example/");
  EXPECT_EQ(Value(u"w"), u"Springfield");
}

TEST_F(BindingCommands, TheValuesOfAFieldAreSentAsCommaTextOrOnePerLine) {
  StartStore([](TBVOptions& O) { O.AutoFillNew = 0; });
  OpenWindow();
  Serve(u"http://a.example/", R"(<html><body><form>
    <select id=s name=colours multiple><option selected>Red</option><option selected>Dark, blue</option>
    <option>Green</option><option selected>Gold</option></select>
    <input id=t name=t value="Main Street, 4">
    <input id=f name=f type=file></form></body></html>)");
  Open(u"http://a.example/");
  Focus(u"s");
  Pick("Company");
  Helper->Agent().AddValue();
  Helper->Agent().AddAllValues();
  Focus(u"t");
  Pick("Address line 1");
  Helper->Agent().AddValue();
  EXPECT_EQ(Store->Added, (std::vector<WideString>{u"Company=Red,\"Dark, blue\",Gold",
                                                   u"all=Red\r\nDark, blue\r\nGreen\r\nGold\r\n",
                                                   u"Address line 1=\"Main Street, 4\""}));
  // A file input cannot be bound.
  Focus(u"f");
  Views().Clear();
  Helper->Agent().BindField();
  EXPECT_EQ(Helper->MessageKind(), 1);
  EXPECT_EQ(Helper->Agent().MessageDialog()->Memo1.Text, u"Cannot bind this field!");
  for (const AnsiString& Shown : Views().Shown()) EXPECT_NE(Shown, "ProfileBindFieldForm");
}

}  // namespace
