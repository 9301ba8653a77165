// Unpacking an archive into one folder without ever writing outside it. Shared by the unpacking
// engine UNZENG.DLL and the self-extractor stub. Archives are untrusted: member names are
// reduced or refused before anything is created, links and special files are refused, nothing
// existing is replaced without leave, and every file is written under a temporary name first.
#pragma once

#include <zip.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zip/engine_abi.h"

namespace pz::unpack {

// Engine error codes reported with a message (the component keeps their low 8 bits).
inline constexpr std::int32_t kErrArchive = 0x0201;    // archive cannot be opened or read
inline constexpr std::int32_t kErrRefused = 0x0302;    // member refused (unsafe name or link)
inline constexpr std::int32_t kErrReduced = 0x0303;    // member unpacked under its file name only
inline constexpr std::int32_t kErrExists = 0x0304;     // existing file kept
inline constexpr std::int32_t kErrWrite = 0x0405;      // file cannot be created or written
inline constexpr std::int32_t kErrData = 0x0406;       // member data damaged (CRC) or unreadable
inline constexpr std::int32_t kErrPassword = 0x0407;   // password missing or wrong
inline constexpr std::int32_t kErrCancelled = 0x0508;  // stopped at the caller's request
inline constexpr std::int32_t kErrSource = 0x0609;     // a file to pack cannot be read
inline constexpr std::int32_t kErrPack = 0x060A;       // the archive cannot be written

enum class Verdict { Ok, Reduced, Refused };

struct SafeName {
  Verdict verdict = Verdict::Refused;
  std::vector<std::string> parts;  // relative path parts, never "", "." or ".."
  bool isDir = false;
};

// A path cut at "/" into its parts, without empty and "." parts; ".." parts are left out and
// noted. The one rule by which packing makes member names and unpacking reads them.
struct NameParts {
  std::vector<std::string> parts;
  bool absolute = false;  // began with "/" or a drive part ("C:")
  bool dotdot = false;    // had a ".." part
};
NameParts SplitPath(std::string_view path);

// What a stored name may become under the target folder. With folder names kept, absolute
// names and names with ".." parts are reduced to their file name; without, every member is
// its file name alone.
SafeName SanitizeMemberName(std::string_view raw, bool dirNames);

struct Options {
  bool dirNames = false;
  bool overwrite = false;
  bool update = false;             // replace older files, add missing ones
  bool freshen = false;            // replace older files only
  bool test = false;               // check the data, write nothing
  bool verbose = false;            // a message for every file done
  std::vector<std::string> specs;  // fnmatch patterns; empty means every member
};

// The channel back to whoever drives the unpacking. Both return true to stop.
class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual bool Progress(std::int32_t action, std::int64_t size, const std::string& text) = 0;
  virtual bool Message(std::int32_t error, const std::string& text) = 0;
};

// Unpacks the members of an open archive into the folder open as dirFd; returns the number of
// files unpacked (or tested).
int Unpack(zip_t* archive, int dirFd, const Options& options, Reporter& reporter);

// The record's 4-byte size field cannot carry more.
inline std::int32_t ClampSize(std::int64_t v) {
  return v > INT32_MAX ? INT32_MAX : (v < 0 ? 0 : static_cast<std::int32_t>(v));
}

// The engines' side of the callback: every report becomes one callback record.
class CallbackReporter : public Reporter {
 public:
  CallbackReporter(zipabi::Addr callback, zipabi::Addr caller)
      : callback_(reinterpret_cast<zipabi::EngineCallback>(callback)), caller_(caller) {}
  bool Send(std::int32_t action, std::int32_t error, std::int64_t size, const std::string& text) {
    if (callback_ == nullptr) return false;
    zipabi::CallbackRecord record{};
    record.caller = caller_;
    record.action = action;
    record.error = error;
    record.size = ClampSize(size);
    text.copy(record.text, sizeof record.text - 1);  // always NUL-terminated
    return callback_(&record) != 0;
  }
  bool Progress(std::int32_t action, std::int64_t size, const std::string& text) override {
    return Send(action, 0, size, text);
  }
  bool Message(std::int32_t error, const std::string& text) override {
    return Send(zipabi::kActMessage, error, 0, text);
  }

 private:
  zipabi::EngineCallback callback_;
  zipabi::Addr caller_;
};

}  // namespace pz::unpack
