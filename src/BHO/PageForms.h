#pragma once
// The forms of one browser window's page, its frames included. The set is kept up to date by
// rescans, not rebuilt: each form element carries the number the first scan wrote into its
// "FormID" attribute, so an item keeps its state for as long as its form stays on the page.

#include <functional>
#include <memory>

#include "BHO/ChangeTracker.h"
#include "BHO/MSHTMLEvents.h"
#include "Common/Lexicon.h"
#include "Common/TransitForms.h"
#include "platform/Browser.h"
#include "platform/Collection.h"
#include "platform/Dom.h"
#include "platform/Store.h"

namespace pel {

// What a fill from the user's profile needs of the window's agent: the store, its password
// dialog, the page's address, whether filled fields are marked as bound, and the lexicon.
class IProfileFillAgent {
public:
  virtual ~IProfileFillAgent() = default;
  // Null when no store runs.
  virtual void GetServer(std::shared_ptr<IPelServer>& Server) = 0;
  // Asks for the store's password and logs in; false when the user cancelled or it was refused.
  virtual bool Login() = 0;
  virtual const WideString& URL() const = 0;
  virtual bool AutoBindEnabled() const = 0;
  virtual TLexicon& Lexicon() = 0;
};

class TFormItem;
using TFormItemEvent = std::function<void(TFormItem& Item)>;

class TFormItem : public TCollectionItem {
public:
  explicit TFormItem(TCollectionBase* Collection = nullptr, int ID = 0);
  ~TFormItem() override;

  // Binds the item to a form and follows its submissions and mouse presses.
  void AttachForm(const TElementRef& Form);
  void DetachFormEvents();
  void SetActionURL(const WideString& URL);
  void SetOnSubmit(TFormItemEvent Handler);
  // The one form of the set to submit: marking this item unmarks every other item.
  void SetSubmitTarget(bool Value);
  TElementRef GetSubmitElement();
  // The identity the page states on the form ("FormSysID"), or the null GUID.
  TGUID GetFormSysID();
  // As a user would: clicks the remembered submit control, else submits the form.
  void Submit();
  // Empties the text fields, check boxes, radio buttons, selects and textareas, marks included.
  void ClearFields();
  // Capture into a card; Flags: 1 address, 2 method, 4 character set, 8 markup.
  void SaveToCard(TTransitFormCard& Card, uint8_t Flags);
  // Fills from a card chosen as matching this form: fields by position.
  bool FillFromCard(TLexicon& Lexicon, const TTransitFormCard& Card);
  // Fills every control whose name, tag and type occur in a card of the set.
  void FillMatchingFields(TLexicon& Lexicon, const TTransitFormSet& Cards, bool OnlyEmpty);
  // Fills every control the store knows a profile field for, by the control's name, else its
  // caption on the page, else its id, placeholder, ARIA label or title. True when every control
  // considered was found, written and marked as bound (so never with auto-bind off); a locked
  // store asks for the password, and cancelling writes nothing. An empty ProfileName is the
  // store's current profile.
  bool FillFromProfile(IProfileFillAgent& Agent, const WideString& ProfileName, bool OnlyEmpty);

  // The form's event handlers.
  void FormMouseDown();
  void FormSubmit();

  TElementRef FHtmlForm;
  TElementRef FSubmitElement;
  std::unique_ptr<TMSHTMLHTMLFormElementEvents> FEventSink;
  WideString FActionURL;
  TFormItemEvent FOnSubmit;
  WideString FMethod = u"click";
  std::unique_ptr<TElementChangingTracker> FChangeTracker;
  bool FSeen = false;
  int32_t FKeyNumber = 0;
  int32_t FMatchScore = 0;
  bool FSubmitTarget = false;
  bool FAllFilled = false;
};

class TPageFormSet : public TCollection<TFormItem> {
public:
  void SetOnFormSubmit(TFormItemEvent Handler) { FOnFormSubmit = std::move(Handler); }
  // Captures every form, in order; the only card of a one-form page is the one to submit.
  void SaveToTransitSet(TTransitFormSet& Dest, uint8_t Flags);
  // Lets go of every item without looking at the page (the store quit). Until the next rescan the
  // set says nothing about the page's forms: an empty set then is not a page without forms.
  void Forget();
  bool Forgotten() const { return FForgotten; }

  int32_t FNextFormNumber = 1;
  TFormItemEvent FOnFormSubmit;
  WideString FKeyAttribute;
  bool FForgotten = false;
};

// Brings Forms up to date with the page Browser shows, frames included: forms found again keep
// their items, new forms get new items, items of forms that are gone are deleted.
void RefreshPageForms(const std::shared_ptr<IWebBrowser2>& Browser, TPageFormSet& Forms);
// One browser's document and, recursively, its frames; used by RefreshPageForms.
void CollectBrowserForms(const std::shared_ptr<IWebBrowser2>& Browser, TPageFormSet& Forms);

}  // namespace pel
