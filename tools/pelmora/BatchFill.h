#pragma once
// The command-line tool's fill: one browser window with its helper object, driven unattended the
// way a batch program drives it (the helper's batch interfaces), over the pages a person names.
// Each page the window goes through (a submission leads to the next) gets a report: what was
// filled, what was submitted where, how the page ended.

#include <memory>
#include <string>
#include <vector>

#include "headless/HeadlessBrowser.h"
#include "helper/BrowserHelper.h"

namespace pel::tool {

// What must not be printed in clear: the values of password boxes and the profile's password, and
// the names of the controls that held them. Addresses and form bodies are printed with those values
// masked, found by the control's name or by the value itself.
class TSecrets {
public:
  // Name may be empty: a value that is secret in whatever control it is.
  void Add(const WideString& Name, const WideString& Value);
  bool IsSecret(const WideString& Value) const;
  // The address with the secret values of its query masked.
  WideString InAddress(const WideString& Url) const;
  // A form's body (name=value&...) with its secret values masked.
  std::string InForm(const std::string& Body) const;

private:
  std::vector<WideString> FNames, FValues;
};

struct TFillOptions {
  WideString Profile;  // empty: the store's current profile
  bool Submit = false;
  // A form card to fill from besides the automatic fill, and whether it fills only empty fields.
  WideString CardSet, CardName;
  bool OnlyEmpty = false;
  // Values printed only masked wherever they show (the profile's password).
  TSecrets Secrets;
};

struct TFilledControl {
  WideString Form;  // the form's name or id, or its position ("form 2")
  WideString Name;
  WideString Caption;
  WideString ProfileField;
  WideString Value;
  bool Secret = false;  // a password: shown masked
  TElementRef Element;  // the control itself, for a caller that looks further at the page
};

struct TPageReport {
  WideString Address;
  WideString Title;
  int Forms = 0;
  std::vector<TFilledControl> Filled;
  // How processing the page ended: "done", "no forms", "loop", "submitted", "not submitted" (the
  // submission was refused before it left), or "not loaded".
  std::string Outcome;
  WideString SubmittedTo;
  std::string PostData;
  // Why the page ended as it did, when the outcome alone leaves the person guessing.
  std::string Why;
  // The boxes the fill looks at that hold nothing from the profile (their names, "(required)" after
  // those the page requires): any one of them keeps a form from counting as filled completely.
  std::vector<WideString> Unfilled;
};

class TBatchFiller {
public:
  TBatchFiller(std::shared_ptr<headless::TPageSource> Pages, TFillOptions Options);
  ~TBatchFiller();
  TBatchFiller(const TBatchFiller&) = delete;
  TBatchFiller& operator=(const TBatchFiller&) = delete;

  // Loads the address (http, https, file, or one the page source knows) and follows the window
  // until it rests; one report per page it went through.
  std::vector<TPageReport> Fill(const WideString& Address);
  // An address with what the run's pages took as secret masked, for printing.
  WideString Printable(const WideString& Url) const { return FOptions.Secrets.InAddress(Url); }
  // The window the pages are filled in, as the last Fill left it.
  headless::THeadlessBrowser& Browser() const { return *FBrowser; }

private:
  class TBatchServer;
  void OpenReport();
  void Snapshot();
  void Close(const std::string& Outcome);
  // Why the page the window rests on was left without a fill or without a submission.
  std::string Explain(const TPageReport& Report);

  TFillOptions FOptions;
  std::shared_ptr<headless::THeadlessBrowser> FBrowser;
  std::shared_ptr<TKXBrowserHelperObject> FHelper;
  std::shared_ptr<TBatchServer> FServer;
  TSHDocVwDWebBrowserEvents2 FEvents;
  std::vector<TPageReport> FReports;
  bool FOpen = false;
};

// One value the user types into a control of the page, by the control's name.
struct TTypedValue {
  WideString Name;
  WideString Value;
};

struct TCaptureReport {
  TPageReport Page;          // the page as it was submitted
  // The name the card was saved under when the store asked for one (the on-submit action "show
  // the save dialog"); empty when the store named it itself or nothing was saved.
  WideString CardName;
  std::vector<WideString> Missing;  // names typed for that the page has no control
};

// Types values into a page as a user would, submits the form they belong to and lets the add-on
// save the card as it does for a user's submission, under CardName when the store asks for a name.
TCaptureReport CaptureCard(std::shared_ptr<headless::TPageSource> Pages, const WideString& Address,
                           const std::vector<TTypedValue>& Values, const WideString& CardName);

// Masks a secret for printing: as many "*" as it has characters, at most eight.
WideString Masked(const WideString& Value);

}  // namespace pel::tool
