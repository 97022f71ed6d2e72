#include "Dom.h"

namespace pel {

namespace {
const void* IdentityOf(const std::shared_ptr<IInterface>& Object) {
  if (!Object) return nullptr;
  if (auto* Known = dynamic_cast<const IObjectIdentity*>(Object.get())) return Known->Identity();
  return dynamic_cast<const void*>(Object.get());
}
}  // namespace

bool IsSameObject(const std::shared_ptr<IInterface>& A, const std::shared_ptr<IInterface>& B) {
  return IdentityOf(A) == IdentityOf(B);
}

std::shared_ptr<IInterface> QueryInterface(const std::shared_ptr<IInterface>& Object, const TGUID& IID) {
  if (!Object) return nullptr;
  auto As = [&](auto Typed) -> std::shared_ptr<IInterface> {
    if (!Typed) return nullptr;
    return Object;  // one object answers all its interfaces; the caller casts with Supports
  };
  if (IID == IID_IHTMLElement) return As(Supports<IHTMLElement>(Object));
  if (IID == IID_IHTMLFormElement) return As(Supports<IHTMLFormElement>(Object));
  if (IID == IID_IHTMLBodyElement) return As(Supports<IHTMLBodyElement>(Object));
  if (IID == IID_IHTMLAnchorElement) return As(Supports<IHTMLAnchorElement>(Object));
  if (IID == IID_IHTMLSelectElement) return As(Supports<IHTMLSelectElement>(Object));
  if (IID == IID_IHTMLOptionElement) return As(Supports<IHTMLOptionElement>(Object));
  if (IID == IID_IHTMLInputElement) return As(Supports<IHTMLInputElement>(Object));
  if (IID == IID_IHTMLTextAreaElement) return As(Supports<IHTMLTextAreaElement>(Object));
  if (IID == IID_IHTMLButtonElement) return As(Supports<IHTMLButtonElement>(Object));
  if (IID == IID_IHTMLMetaElement) return As(Supports<IHTMLMetaElement>(Object));
  if (IID == IID_IHTMLAreaElement) return As(Supports<IHTMLAreaElement>(Object));
  if (IID == IID_IHTMLDocument2) return As(Supports<IHTMLDocument2>(Object));
  return nullptr;
}

}  // namespace pel
