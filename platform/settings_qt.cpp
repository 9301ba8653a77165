#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "platform/settings.h"

namespace pz {

std::string TrimKeyPath(const std::string& keyPath) {
  if (!keyPath.empty() && keyPath.back() == '\\') return keyPath.substr(0, keyPath.size() - 1);
  return keyPath;
}

namespace {

QStringList SplitKey(const std::string& keyPath) {
  QStringList parts;
  for (const QString& p : QString::fromStdString(TrimKeyPath(keyPath)).split('\\')) {
    if (!p.isEmpty()) parts << p;
  }
  if (!parts.isEmpty() && parts.front().compare("Software", Qt::CaseInsensitive) == 0) {
    parts.pop_front();
  }
  return parts;
}

class IniSettingsStore final : public SettingsStore {
 public:
  explicit IniSettingsStore(QString root) : root_(std::move(root)) {}

  bool WriteString(const std::string& keyPath, const std::string& name,
                   const std::string& value) override {
    auto loc = Locate(keyPath);
    if (!loc) return false;
    QDir().mkpath(QFileInfo(loc->file).absolutePath());
    QSettings s(loc->file, QSettings::IniFormat);
    s.setValue(Key(loc->group, name), QString::fromStdString(value));
    s.sync();
    return s.status() == QSettings::NoError;
  }

  std::optional<std::string> ReadString(const std::string& keyPath,
                                        const std::string& name) override {
    auto loc = Locate(keyPath);
    if (!loc || !QFileInfo::exists(loc->file)) return std::nullopt;
    QSettings s(loc->file, QSettings::IniFormat);
    const QString k = Key(loc->group, name);
    if (!s.contains(k)) return std::nullopt;
    return s.value(k).toString().toStdString();
  }

  bool KeyExists(const std::string& keyPath) override {
    auto loc = Locate(keyPath);
    if (!loc || !QFileInfo::exists(loc->file)) return false;
    if (loc->group.isEmpty()) return true;
    QSettings s(loc->file, QSettings::IniFormat);
    s.beginGroup(loc->group);
    return !s.allKeys().isEmpty();
  }

  bool CreateKey(const std::string& keyPath) override {
    auto loc = Locate(keyPath);
    if (!loc) return false;
    if (!QDir().mkpath(QFileInfo(loc->file).absolutePath())) return false;
    // The file must be writable, as a registry key opened for writing would be.
    QFile file(loc->file);
    return file.open(QIODevice::ReadWrite | QIODevice::Append);
  }

  std::vector<std::string> SubKeys(const std::string& keyPath) override {
    std::vector<std::string> out;
    auto loc = Locate(keyPath);
    if (!loc || !QFileInfo::exists(loc->file)) return out;
    QSettings s(loc->file, QSettings::IniFormat);
    if (!loc->group.isEmpty()) s.beginGroup(loc->group);
    for (const QString& g : s.childGroups()) out.push_back(g.toStdString());
    return out;
  }

  std::vector<std::string> ValueNames(const std::string& keyPath) override {
    std::vector<std::string> out;
    auto loc = Locate(keyPath);
    if (!loc || !QFileInfo::exists(loc->file)) return out;
    QSettings s(loc->file, QSettings::IniFormat);
    if (!loc->group.isEmpty()) s.beginGroup(loc->group);
    for (const QString& k : s.childKeys()) out.push_back(k.toStdString());
    return out;
  }

  bool Flush() override { return true; }  // every write is synced at once

 private:
  struct Location {
    QString file;
    QString group;
  };

  std::optional<Location> Locate(const std::string& keyPath) const {
    QStringList parts = SplitKey(keyPath);
    if (parts.size() < 2) return std::nullopt;
    Location loc;
    loc.file = root_ + "/" + parts[0] + "/" + parts[1] + ".ini";
    loc.group = parts.mid(2).join('/');
    return loc;
  }

  static QString Key(const QString& group, const std::string& name) {
    const QString n = QString::fromStdString(name);
    return group.isEmpty() ? n : group + "/" + n;
  }

  QString root_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenUserSettings(const std::string& configRoot) {
  QString root = QString::fromStdString(configRoot);
  if (root.isEmpty()) {
    root = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (root.isEmpty()) root = QDir::homePath() + "/.config";
  }
  if (root.isEmpty()) return nullptr;
  return std::make_unique<IniSettingsStore>(root);
}

}  // namespace pz
