// A file that is made under a temporary name beside its final place and moved there only when
// it is complete, so a failed or cancelled run never leaves a partial file under the final name
// and never harms a file that already stands there.
#pragma once

#include <sys/types.h>

#include <string>

#include "engine/filecopy.h"

namespace pz {

class PartialFile {
 public:
  // The one place where such a file is made: "NAME.partial-" and six random letters in the folder
  // of finalPath, created exclusively and readable by the owner only. Not valid() (errno set) on
  // failure.
  static PartialFile Create(const std::string& finalPath);

  PartialFile() = default;
  PartialFile(PartialFile&& o) noexcept;
  PartialFile& operator=(PartialFile&& o) noexcept;
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  // Removes the file unless it was committed.
  ~PartialFile();

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  const std::string& finalPath() const { return final_; }

  // Gives the file its final mode (that of the file it replaces, else what a new file gets),
  // closes it and moves it into place. When it replaces a file, its data reaches the disk first,
  // so a crash cannot cost both. False (errno set) when any step fails; the file then goes.
  bool Commit();

 private:
  void Remove();

  FileHandle fd_;
  std::string path_;
  std::string final_;
  bool committed_ = false;
};

}  // namespace pz
