// Saving what the user submits: the page's forms go to the store as a form card, through the
// store dialog when the on-submit option asks for it. Apart from the fills, as it runs the other
// way, from the page to the store.

#include "BrowserHelper.h"

#include "Common/Trace.h"
#include "HelperInternals.h"
#include "dialogs/MessageBox.h"
#include "dialogs/StoreDialog.h"

namespace pel {

using helper::LinesOf;
using helper::SetToVariant;

// ---------------------------------------------------------------- saving what the user submits

void TKXBrowserHelperObject::FormSubmitted(TFormItem& Item) {
  Traced(1158, [&] {
    if (FSelfSubmit) return;
    // Stays set until the navigation the submit starts, which so does not ask again.
    FSelfSubmit = true;
    SaveForms(nullptr, &Item);
  });
}

void TKXBrowserHelperObject::AskSaveSubmittedForm() {
  if (AskQuestion(FBrowserWindow, u"May be form submition!\r\nSave it?", u"Question") == mrYes)
    SaveForms(nullptr, nullptr);
}

void TKXBrowserHelperObject::SaveForms(TBrivaneAgent*, TFormItem* Form) {
  EntryPoint(1138, [&] {
    if (Form && (!FAgent->GetActive() || FAgent->SubmitAction() == 0)) return;
    if (!FAgent->GetConnected()) return;
    if (!Form) RefreshPageForms(FWebBrowser, *FPageForms);
    if (FPageForms->Count() == 0) {
      ShowMessageKind(1, u"There are not forms on the page!");
      return;
    }
    TTransitFormSet Captured;
    FPageForms->SaveToTransitSet(Captured, 15);
    const TVariant Data = SetToVariant(Captured);
    auto S = Server();
    if (!S) return;
    WideString Saved;
    S->FindSavedFormCard(FAgent->URLKey(), Data, Saved);
    // The submitted data is stored already.
    if (Form && !Saved.empty()) return;
    UpdateProfileList();
    const int32_t Mode = Form ? FAgent->SubmitAction() : 1;
    WideString Name, Profile;
    int32_t DefaultMode = dmNone;
    if (Mode == 1) {
      WideString Existing, DefaultName;
      S->GetNameChoices(FAgent->URLKey(), Existing, DefaultName);
      if (DefaultName.empty()) DefaultName = u"New form-card";
      TBVStoreDialog Dialog;
      if (FAgent->DisplayMode() == 1) {
        Dialog.MinHeight = 320;
        Dialog.MinWidth = 476;
      }
      for (;;) {
        DefaultMode = dmAllProfiles;
        int16_t OnlyEmpty = 0;
        bool LoginRequired = false;
        Profile = FAgent->GetCurrentProfile();
        Name = DefaultName;
        if (!Dialog.ExecuteWithFillOption("Save form-card", Existing, LinesOf(FAgent->ProfileList()), Profile, Name,
                                          OnlyEmpty, DefaultMode, FBrowserWindow))
          return;
        // A card of that name is replaced.
        do {
          S->DeleteRecord(FAgent->URLKey(), Name, LoginRequired);
        } while (LoginRequired && FAgent->Login() && (S = Server()));
        if (!S) return;
        if (!LoginRequired) break;
      }
    }
    bool Stored = false, LoginRequired = false;
    S->SaveFormCard(FAgent->URLKey(), Name, FAgent->URL(), Data, Stored, LoginRequired);
    if (Stored && DefaultMode > 0) S->SetDefaultFormCard(FAgent->URLKey(), Name, Profile, DefaultMode == dmAllProfiles);
    RefreshPage();
    if (Stored && FPageForms->Count() > 1 && !Form &&
        AskQuestion(FBrowserWindow,
                    u"There are more than one form on the page.\r\nAre you want to select a form to submit?",
                    u"Question") == mrYes)
      FAgent->ShowManager(u"", FAgent->URLKey(), Name);
  });
}

}  // namespace pel
