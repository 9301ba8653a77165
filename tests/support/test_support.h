// Helpers shared by the Qt-free tests: temporary folders, files, scripted answers.
#pragma once

#include <csignal>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/interaction.h"
#include "lang/language.h"

namespace pz::test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::string Sub(const std::string& name) const;  // creates a subfolder

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
std::int64_t SizeOf(const std::string& path);
// Deterministic bytes that differ at every position, so misplaced runs show.
std::string PatternBytes(std::size_t n, std::uint32_t seed = 1);

// A program run as a child process: input from a file, output captured.
struct ProcessResult {
  int status = -1;    // exit status; -1 when it did not exit normally
  int signal = 0;     // the signal that ended it
  long maxRssKb = 0;  // peak resident memory of the child
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::string input;
  std::string cwd;
  std::vector<std::pair<std::string, std::string>> env;  // set ("" value: unset)
  // Sends SIGKILL after this many milliseconds (0: wait for the end).
  int killAfterMs = 0;
  // Polled while the child runs; once it holds, killSignal is sent (the child's pid is given).
  std::function<bool(int pid)> killWhen;
  int killSignal = SIGKILL;
  // A second signal sent right after killSignal (0: none). A different one: the kernel merges
  // a signal sent again before the first is handled.
  int thenSignal = 0;
};

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options);

// Text blocks as "[N]", so a test can tell which block a message was made of.
class BlockNumbers : public TextSource {
 public:
  std::string GetText(std::uint16_t block) const override {
    return "[" + std::to_string(block) + "]";
  }
};

// Answers the engine's questions from a script and records what it showed.
class ScriptedInteraction : public Interaction {
 public:
  struct Message {
    std::string text;
    MsgIcon icon;
  };
  // A volume answer: nullopt-like Cancel, or the path to confirm ("" = confirm as shown).
  struct VolumeAnswer {
    bool ok = true;
    std::string path;
    std::function<void()> before;  // runs before answering (e.g. to change the simulated volume)
  };

  std::deque<std::string> passwords;   // answers to Passwort_Abfragen
  std::deque<std::string> passwords2;  // answers to Passwort2_Abfragen
  std::deque<VolumeAnswer> volumes;
  std::vector<Message> messages;
  std::vector<std::string> volumePrompts;  // the paths the prompts showed
  int passwordPrompts = 0;

  std::string Passwort_Abfragen() override;
  std::string Passwort2_Abfragen() override;
  int Datentraeger_Anfordern(std::string& pfad) override;
  void ShowMessage(const std::string& text, MsgIcon icon) override {
    messages.push_back({text, icon});
  }
  void SetBusy(bool) override {}

  // True when some message contains the text.
  bool Showed(const std::string& part) const;
};

}  // namespace pz::test
