#include "platform/settings.h"

namespace pz {

namespace {
SettingsStore* g_store = nullptr;
}

SettingsStore* ComponentInfoStore() {
  return g_store;
}
void SetComponentInfoStore(SettingsStore* store) {
  g_store = store;
}

void WriteComponentInfo(const std::string& keyPath, const std::string& component,
                        const std::string& version, const std::string& lastChange) {
  if (g_store == nullptr) return;
  std::string key = keyPath;
  if (!key.empty() && key.back() == '\\') key.pop_back();
  key += "\\CI\\" + component;
  g_store->WriteString(key, "Company", "Pellimorex");
  g_store->WriteString(key, "Version", version);
  g_store->WriteString(key, "Last Change", lastChange);
  g_store->Flush();
}

}  // namespace pz
