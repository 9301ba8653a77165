// Placeholder of the ZIP archive component: the members the compression stage uses.
#pragma once

#include <string>
#include <vector>

namespace pz {

class TZipArchiver {
 public:
  TZipArchiver() = default;

  const std::string& DLLDirectory() const { return dllDirectory_; }
  void SetDLLDirectory(const std::string& dir) { dllDirectory_ = dir; }
  int SuccessCount() const { return 0; }

 private:
  std::string dllDirectory_;
};

}  // namespace pz
