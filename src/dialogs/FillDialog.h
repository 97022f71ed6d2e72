#pragma once
// The non-modal selection window of a page: form cards of the page's form sets, recorded
// navigations, mail cards (or, for the credential dialog, authentication records) in the upper
// list, the user's profiles in the lower one. It does nothing by itself: every choice goes to its
// owner through an event, and it hides itself after each fill-type choice.

#include <functional>
#include <vector>

#include "Common/FormCards.h"
#include "platform/Forms.h"

namespace pel {

// Kinds of the upper list's entries, kept as each entry's object value.
constexpr intptr_t ekFormCard = 1;
constexpr intptr_t ekNavigation = 2;
constexpr intptr_t ekMailCard = 3;
constexpr intptr_t ekAuthRecord = 4;

class TBVDialog : public TForm {
public:
  using TFillFormCardEvent = std::function<void(TBVDialog& Sender, const WideString& SetName,
                                                const WideString& Name, bool Submit, bool OnlyEmpty)>;
  using TFillProfileEvent = std::function<void(TBVDialog& Sender, const WideString& Profile, bool OnlyEmpty)>;
  using TItemEvent = std::function<void(TBVDialog& Sender, const WideString& SetName, const WideString& Name)>;
  using TProfileEvent = std::function<void(TBVDialog& Sender, const WideString& Profile)>;

  TBVDialog();
  ~TBVDialog() override;

  void SetAnchorWindow(uint32_t Wnd) { FAnchorWindow = Wnd; }
  uint32_t AnchorWindow() const { return FAnchorWindow; }
  // 0 inside the anchor's right edge, 1 right of the anchor, 2 centred on it.
  uint8_t Placement = 0;
  // 0 keep the own size, 1 the anchor's, 2 250 pixels.
  uint8_t HeightMode = 0;
  uint8_t WidthMode = 0;

  void LoadLists(const WideString& URLKey, const TFormCards& FormSets, const TWideStringList& Profiles,
                 const TWideStringList& MailCards, const TWideStringList& Navigations,
                 const TWideStringList& AuthRecords);
  void ClearLists();

  // What the view draws for entry Index of the upper list: its text, bold when it belongs to the
  // page shown, in the hot-light colour when it is the current entry of its list.
  WideString EntryText(int Index) const;
  bool EntryBold(int Index) const;
  bool EntryCurrent(int Index) const;
  const WideString& URLKey() const { return FURLKey; }
  const TWideStringList& GroupNames() const { return FGroupNames; }
  const TWideStringList& ItemNames() const { return FItemNames; }

  // The context menu a right click on a list offers for its selected entry: captions in order
  // ("-" is a separator); empty when nothing is selected (the request stays unhandled).
  std::vector<AnsiString> FormSetMenu();
  std::vector<AnsiString> ProfileMenu();
  // Runs the command of that caption on the entry that was selected when the menu was offered.
  void RunMenuCommand(const AnsiString& Caption);

  TFillFormCardEvent OnFillFormCard;
  TFillProfileEvent OnFillProfile;
  TItemEvent OnPlayNavigation;
  TItemEvent OnSendMailCard;
  TFillFormCardEvent OnFillAuthRecord;
  TItemEvent OnSetDefaultFormCard;
  TItemEvent OnDeleteFormCard;
  TProfileEvent OnSetActiveProfile;

  TControl& Panel4;
  TControl& Panel3;
  TControl& ProfileListBox;
  TControl& Splitter1;
  TControl& FormSetListBox;
  TControl& Panel5;
  TControl& OnlyEmptyCheckBox;
  TControl& Panel6;
  TControl& BitBtn2;
  TControl& Panel1;
  TControl& Panel2;
  TControl& BitBtn3;
  TControl& BitBtn1;

private:
  void FormShow();
  void Fill();
  void FillAndSubmit();
  void FillCard(int Index, bool Submit);
  void FillProfile(int Index);
  void Choose(const std::function<void()>& RaiseEvent);
  void HideSelf();

  uint32_t FAnchorWindow = 0;
  WideString FURLKey;
  TWideStringList FGroupNames;
  TWideStringList FItemNames;
  // The menu offered last: which list and which entry its commands act on.
  enum class TMenuOwner { None, FormSets, Profiles } FMenuOwner = TMenuOwner::None;
  int FMenuTag = -1;
};

}  // namespace pel
