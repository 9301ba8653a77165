// A recovery file or a rebuilt file, made under a temporary name beside its final one and moved
// there only when complete: a failed or cancelled run leaves nothing half-written.
#pragma once

#include <string>

#include "platform/filehandle.h"

namespace pz::recovery {

class TempOutput {
 public:
  // Throws RecoveryError when the file cannot be made.
  explicit TempOutput(std::string finalPath);
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;
  ~TempOutput();  // removes the file unless it was committed

  int fd() const { return fd_.get(); }
  const std::string& finalPath() const { return final_; }
  // Gives it the mode of a new file, closes it and moves it into place; throws RecoveryError.
  void Commit();

 private:
  std::string final_;
  std::string path_;
  FileHandle fd_;
  bool committed_ = false;
};

// The message of a failed file operation: what, the path, and the system's reason.
[[noreturn]] void FailOn(const std::string& what, const std::string& path, int err);

}  // namespace pz::recovery
