// The per-user settings store: what the Windows program kept in the registry under
// HKEY_CURRENT_USER. Key paths keep the registry form ("Software\Pellimorex\PX-Parzello\CI"),
// values are strings. On this platform the store is an INI file under the user's configuration
// folder ($XDG_CONFIG_HOME, else ~/.config): "Software\<Company>\<Product>" becomes
// <config>/<Company>/<Product>.ini and deeper keys become its sections.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pz {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Every call is independent; a failure is silent (false / nullopt / empty), as with the registry.
  virtual bool WriteString(const std::string& keyPath, const std::string& name,
                           const std::string& value) = 0;
  virtual std::optional<std::string> ReadString(const std::string& keyPath,
                                                const std::string& name) = 0;
  virtual bool KeyExists(const std::string& keyPath) = 0;
  // Opens the key with full access, creating it when missing; false when that is impossible.
  virtual bool CreateKey(const std::string& keyPath) = 0;
  virtual std::vector<std::string> SubKeys(const std::string& keyPath) = 0;
  virtual std::vector<std::string> ValueNames(const std::string& keyPath) = 0;
  virtual bool Flush() = 0;
};

// The store of the current user. configRoot overrides the configuration folder (tests use a
// temporary folder); empty means $XDG_CONFIG_HOME or ~/.config.
std::unique_ptr<SettingsStore> OpenUserSettings(const std::string& configRoot = "");

// Removes one trailing backslash, as every registry path handed in may carry one.
std::string TrimKeyPath(const std::string& keyPath);

}  // namespace pz

namespace pz {

// The store in which the maker's components record themselves (under "<key>\CI\<Class>").
// The front end sets it at start; tests point it at a store in a temporary folder.
// While it is unset, recording writes nothing, as when the registry cannot be opened.
SettingsStore* ComponentInfoStore();
void SetComponentInfoStore(SettingsStore* store);

// Writes "Company" = "Pellimorex", "Version" and "Last Change" under keyPath\CI\component.
void WriteComponentInfo(const std::string& keyPath, const std::string& component,
                        const std::string& version, const std::string& lastChange);

}  // namespace pz
