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

}  // namespace pel
