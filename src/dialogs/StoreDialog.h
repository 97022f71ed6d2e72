#pragma once
// The modal dialog in which the user names what is about to be stored, sees the names already
// stored for the page and picks to which profiles the new entry becomes the default. It talks to
// nobody: the caller gets the choices back and makes the store requests.

#include "platform/Forms.h"

namespace pel {

// Default modes: none, the active profile, all profiles, the profile chosen in the dialog.
constexpr int32_t dmNone = 0;
constexpr int32_t dmActiveProfile = 1;
constexpr int32_t dmAllProfiles = 2;
constexpr int32_t dmChosenProfile = 3;

class TBVStoreDialog : public TForm {
public:
  TBVStoreDialog();

  // Existing: one "flag=name" line per stored name; Profiles: one name per line. On entry Profile
  // is the active profile and Name the proposed name; on OK Name, OnlyEmpty and DefaultMode are the
  // user's, and Profile the chosen one for dmChosenProfile (empty otherwise). Profile always comes
  // back empty on Cancel; the other arguments keep their entry values. Owner: the owning window.
  bool ExecuteWithFillOption(const AnsiString& Caption, const WideString& Existing, const WideString& Profiles,
                             WideString& Profile, WideString& Name, int16_t& OnlyEmpty, int32_t& DefaultMode,
                             uint32_t Owner = 0);
  // The same without the fill-only-empty choice, which is not shown.
  bool Execute(const AnsiString& Caption, const WideString& Existing, const WideString& Profiles,
               WideString& Profile, WideString& Name, int32_t& DefaultMode, uint32_t Owner = 0);

  TControl& Panel3;
  TControl& Panel1;
  TControl& Panel2;
  TControl& Button1;
  TControl& Button2;
  TControl& Panel5;
  TControl& FormSetNameEdit;
  TControl& FillOnlyEmptyPanel;
  TControl& FillOnlyEmptyCheckBox;
  TControl& GroupBox1;
  TControl& NoneRadioButton;
  TControl& ActiveRadioButton;
  TControl& AllRadioButton;
  TControl& CustomRadioButton;
  TControl& ProfileComboBox;
  TControl& FormSetListBox;

private:
  bool Run(const AnsiString& Caption, const WideString& Existing, const WideString& Profiles, WideString& Profile,
           WideString& Name, int16_t* OnlyEmpty, int32_t& DefaultMode, uint32_t Owner);
};

}  // namespace pel
