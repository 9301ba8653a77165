#include "lang/component.h"

#include "platform/settings.h"

namespace pz {

void TPXComponent::WriteComponentInfo(const std::string& keyPath) const {
  pz::WriteComponentInfo(keyPath, ClassName(), Version(), LastCompile());
}

}  // namespace pz
