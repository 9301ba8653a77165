// Checking the files a set of recovery files describes, and rebuilding those that are damaged.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <system_error>

#include "platform/filehandle.h"
#include "platform/os.h"
#include "recovery/combine.h"
#include "recovery/gf16.h"
#include "recovery/recoveryset.h"
#include "recovery/tempoutput.h"

namespace pz::recovery {

namespace {

constexpr std::size_t kReadChunk = 1U << 20;

// The slices of one file that are missing or do not match their checksums.
void CheckFile(const par2::FileEntry& entry, std::uint64_t sliceSize, FileState& state,
               std::atomic<std::int64_t>& done, const std::stop_token& stop) {
  FileHandle fd(::open(state.path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
    state.path.clear();
  }
  const std::uint64_t have = state.path.empty() ? 0 : static_cast<std::uint64_t>(st.st_size);
  state.sizeDiffers = have != entry.length;
  std::vector<std::uint8_t> buf(
      static_cast<std::size_t>(std::min<std::uint64_t>(sliceSize, kReadChunk)));
  for (std::uint32_t s = 0; s < entry.slices.size() && !stop.stop_requested(); ++s) {
    const std::uint64_t begin = s * sliceSize;
    const std::uint64_t end = std::min(begin + sliceSize, entry.length);
    if (end > have) {
      state.bad.push_back(s);
      done += static_cast<std::int64_t>(sliceSize);
      continue;
    }
    par2::Md5Stream md5;
    std::uint32_t crc = 0;
    bool readable = true;
    for (std::uint64_t at = begin; at < begin + sliceSize && readable;) {
      const auto n =
          static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), begin + sliceSize - at));
      const std::size_t want =
          at >= end ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, end - at));
      const ssize_t got =
          want == 0 ? 0 : ::pread(fd.get(), buf.data(), want, static_cast<off_t>(at));
      readable = got == static_cast<ssize_t>(want);
      std::memset(buf.data() + want, 0, n - want);
      md5.Update(buf.data(), n);
      crc = par2::Crc32(crc, buf.data(), n);
      at += n;
    }
    done += static_cast<std::int64_t>(sliceSize);
    if (!readable || crc != entry.slices[s].crc || md5.Final() != entry.slices[s].md5)
      state.bad.push_back(s);
  }
}

std::string LocateFile(const std::string& name, const std::vector<std::string>& folders) {
  // Only a plain name: nothing outside the set's folders is looked at.
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return "";
  for (const std::string& folder : folders) {
    const std::string path = JoinPath(folder, name);
    if (FileExists(path)) return path;
  }
  return "";
}

}  // namespace

std::uint32_t Examination::MissingSlices() const {
  std::uint32_t n = 0;
  for (const FileState& f : files) n += static_cast<std::uint32_t>(f.bad.size());
  return n;
}

bool Examination::Intact() const {
  return found &&
         std::all_of(files.begin(), files.end(), [](const FileState& f) { return f.Intact(); });
}

std::vector<std::string> RecoveryFilesOf(const std::string& indexPath) {
  std::vector<std::string> paths{indexPath};
  const std::string folder = FolderPart(indexPath);
  std::string stem = FileNamePart(indexPath);
  stem = stem.substr(0, stem.size() - std::min<std::size_t>(stem.size(), 5));  // ".par2"
  const DirHandle dir(::opendir(folder.empty() ? "/" : folder.c_str()));
  if (!dir) return paths;
  std::vector<std::string> more;
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name.size() > stem.size() + 5 && name.compare(0, stem.size() + 1, stem + ".") == 0 &&
        name.compare(name.size() - 5, 5, ".par2") == 0 && name != FileNamePart(indexPath) &&
        name.find(".partial-") == std::string::npos)
      more.push_back(JoinPath(folder, name));
  }
  std::sort(more.begin(), more.end());
  paths.insert(paths.end(), more.begin(), more.end());
  return paths;
}

Examination Examine(const std::string& indexPath, const std::vector<std::string>& folders,
                    const ProgressFn& progress) {
  Examination exam;
  par2::ScanResult scan = par2::ScanFiles(RecoveryFilesOf(indexPath));
  if (!scan.set) return exam;
  exam.found = true;
  exam.set = std::move(*scan.set);
  exam.recovery = std::move(scan.recovery);
  for (const auto& f : exam.set.files)
    exam.files.push_back({f.name, LocateFile(f.name, folders), {}, false});
  std::atomic<std::int64_t> done{0};
  const auto total = static_cast<std::int64_t>(exam.set.SliceCount() * exam.set.sliceSize);
  RunTasks(
      exam.files.size(),
      [&](std::size_t i, const std::stop_token& stop) {
        CheckFile(exam.set.files[i], exam.set.sliceSize, exam.files[i], done, stop);
      },
      [&] {
        if (progress) progress(done.load(), total);
      });
  return exam;
}

namespace {

// Inverts a square matrix in place by Gauss-Jordan elimination; false when it is singular.
bool Invert(std::vector<std::uint16_t>& a, std::size_t n) {
  std::vector<std::uint16_t> inv(n * n, 0);
  for (std::size_t i = 0; i < n; ++i) inv[i * n + i] = 1;
  for (std::size_t col = 0; col < n; ++col) {
    std::size_t pivot = col;
    while (pivot < n && a[pivot * n + col] == 0) ++pivot;
    if (pivot == n) return false;
    for (std::size_t k = 0; k < n; ++k) {
      std::swap(a[pivot * n + k], a[col * n + k]);
      std::swap(inv[pivot * n + k], inv[col * n + k]);
    }
    const std::uint16_t scale = gf::Inv(a[col * n + col]);
    for (std::size_t k = 0; k < n; ++k) {
      a[col * n + k] = gf::Mul(a[col * n + k], scale);
      inv[col * n + k] = gf::Mul(inv[col * n + k], scale);
    }
    for (std::size_t row = 0; row < n; ++row) {
      const std::uint16_t f = a[row * n + col];
      if (row == col || f == 0) continue;
      for (std::size_t k = 0; k < n; ++k) {
        a[row * n + k] ^= gf::Mul(f, a[col * n + k]);
        inv[row * n + k] ^= gf::Mul(f, inv[col * n + k]);
      }
    }
  }
  a = std::move(inv);
  return true;
}

struct Missing {
  std::size_t file;
  std::uint32_t slice;   // within the file
  std::uint32_t global;  // in the set
};

// Rebuilding: the missing slices as sums of the present ones and of recovery slices.
class Repairer {
 public:
  Repairer(const Examination& exam, const std::string& folder) : exam_(exam), folder_(folder) {}

  std::vector<std::string> Run(const ProgressFn& progress) {
    CollectMissing();
    if (missing_.size() > exam_.recovery.size()) throw RecoveryError("too little recovery data");
    OpenSources();
    const std::vector<std::uint16_t> inverse = SolveFor();
    OpenOutputs();
    Compute(inverse, progress);
    return Finish();
  }

 private:
  void CollectMissing() {
    const auto first = exam_.set.FirstSlices();
    for (std::size_t f = 0; f < exam_.files.size(); ++f) {
      for (std::uint32_t s : exam_.files[f].bad) missing_.push_back({f, s, first[f] + s});
      if (!exam_.files[f].Intact()) rebuilt_.push_back(f);
    }
  }

  void OpenSources() {
    for (const FileState& f : exam_.files)
      fds_.emplace_back(f.path.empty() ? -1 : ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC));
    for (const auto& r : exam_.recovery) {
      if (recoveryFds_.count(r.path) == 0)
        recoveryFds_.emplace(r.path, FileHandle(::open(r.path.c_str(), O_RDONLY | O_CLOEXEC)));
    }
  }

  // The inverse of the matrix of the chosen recovery slices' constants for the missing
  // slices; another choice of recovery slices when one is singular.
  std::vector<std::uint16_t> SolveFor() {
    const std::size_t m = missing_.size();
    constants_ = par2::InputConstants(exam_.set.SliceCount());
    for (std::size_t shift = 0; shift + m <= exam_.recovery.size(); ++shift) {
      chosen_.clear();
      for (std::size_t j = 0; j < m; ++j) chosen_.push_back(&exam_.recovery[shift + j]);
      std::vector<std::uint16_t> a(m * m);
      for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t k = 0; k < m; ++k)
          a[j * m + k] = gf::Pow(constants_[missing_[k].global], chosen_[j]->exponent);
      }
      if (Invert(a, m)) return a;
    }
    throw RecoveryError("the recovery data cannot rebuild these slices");
  }

  void OpenOutputs() {
    for (std::size_t f : rebuilt_) {
      auto out = std::make_unique<TempOutput>(JoinPath(folder_, exam_.files[f].name));
      // The slices that are good come from the file as it is.
      const par2::FileEntry& e = exam_.set.files[f];
      if (fds_[f].valid()) CopyGood(f, out->fd(), out->finalPath());
      if (::ftruncate(out->fd(), static_cast<off_t>(e.length)) != 0)
        throw RecoveryError("cannot write \"" + out->finalPath() + "\"");
      outputs_[f] = std::move(out);
    }
  }

  void CopyGood(std::size_t f, int out, const std::string& path) {
    const par2::FileEntry& e = exam_.set.files[f];
    const auto& bad = exam_.files[f].bad;
    std::vector<std::uint8_t> buf(kReadChunk);
    for (std::uint32_t s = 0; s < e.slices.size(); ++s) {
      if (std::find(bad.begin(), bad.end(), s) != bad.end()) continue;
      const std::uint64_t begin = s * exam_.set.sliceSize;
      const std::uint64_t end = std::min(begin + exam_.set.sliceSize, e.length);
      for (std::uint64_t at = begin; at < end;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), end - at));
        if (::pread(fds_[f].get(), buf.data(), n, static_cast<off_t>(at)) !=
                static_cast<ssize_t>(n) ||
            ::pwrite(out, buf.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n))
          throw RecoveryError("cannot write \"" + path + "\"");
        at += n;
      }
    }
  }

  void Compute(const std::vector<std::uint16_t>& inverse, const ProgressFn& progress) {
    const std::size_t m = missing_.size();
    CombineJob job;
    job.sliceSize = exam_.set.sliceSize;
    job.outputs = m;
    std::vector<std::uint16_t> inputConstants;  // the constant of each present slice
    for (std::size_t f = 0; f < exam_.files.size(); ++f) {
      const par2::FileEntry& e = exam_.set.files[f];
      const auto& bad = exam_.files[f].bad;
      const std::uint32_t first = exam_.set.FirstSlices()[f];
      for (std::uint32_t s = 0; s < e.slices.size(); ++s) {
        if (std::find(bad.begin(), bad.end(), s) != bad.end()) continue;
        const std::uint64_t at = s * job.sliceSize;
        job.inputs.push_back({fds_[f].get(), at, std::min(job.sliceSize, e.length - at)});
        inputConstants.push_back(constants_[first + s]);
      }
    }
    const std::size_t present = job.inputs.size();
    for (const auto* r : chosen_)
      job.inputs.push_back({recoveryFds_.at(r->path).get(), r->offset, job.sliceSize});
    const std::size_t n = job.inputs.size();
    job.matrix.assign(m * n, 0);
    for (std::size_t k = 0; k < m; ++k) {
      for (std::size_t j = 0; j < m; ++j) {
        const std::uint16_t w = inverse[k * m + j];
        job.matrix[k * n + present + j] = w;
        for (std::size_t i = 0; i < present; ++i)
          job.matrix[k * n + i] ^= gf::Mul(w, gf::Pow(inputConstants[i], chosen_[j]->exponent));
      }
    }
    job.sink = [this](std::size_t k, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t len) {
      const Missing& miss = missing_[k];
      const par2::FileEntry& e = exam_.set.files[miss.file];
      const std::uint64_t at = miss.slice * exam_.set.sliceSize + offset;
      if (at >= e.length) return;
      const auto keep = static_cast<std::size_t>(std::min<std::uint64_t>(len, e.length - at));
      TempOutput& out = *outputs_.at(miss.file);
      if (::pwrite(out.fd(), data, keep, static_cast<off_t>(at)) != static_cast<ssize_t>(keep))
        throw RecoveryError("cannot write \"" + out.finalPath() + "\"");
    };
    Combine(job, progress);
  }

  // Every rebuilt file is checked against its recorded hash before it takes its place.
  std::vector<std::string> Finish() {
    std::vector<std::string> names;
    for (auto& [f, out] : outputs_) {
      par2::Md5Stream md5;
      std::vector<std::uint8_t> buf(kReadChunk);
      for (std::uint64_t at = 0;;) {
        const ssize_t r = ::pread(out->fd(), buf.data(), buf.size(), static_cast<off_t>(at));
        if (r < 0) throw RecoveryError("cannot read \"" + out->finalPath() + "\"");
        if (r == 0) break;
        md5.Update(buf.data(), static_cast<std::size_t>(r));
        at += static_cast<std::uint64_t>(r);
      }
      if (md5.Final() != exam_.set.files[f].hash)
        throw RecoveryError("the rebuilt file does not match: \"" + out->finalPath() + "\"");
    }
    for (auto& [f, out] : outputs_) {
      out->Commit();
      names.push_back(exam_.files[f].name);
    }
    return names;
  }

  const Examination& exam_;
  std::string folder_;
  std::vector<Missing> missing_;
  std::vector<std::size_t> rebuilt_;
  std::vector<FileHandle> fds_;
  std::map<std::string, FileHandle> recoveryFds_;
  std::vector<std::uint16_t> constants_;
  std::vector<const par2::RecoverySliceRef*> chosen_;
  std::map<std::size_t, std::unique_ptr<TempOutput>> outputs_;
};

}  // namespace

std::vector<std::string> Repair(const Examination& exam, const std::string& folder,
                                const ProgressFn& progress) {
  if (!exam.found) throw RecoveryError("no recovery data");
  try {
    return Repairer(exam, folder).Run(progress);
  } catch (const std::system_error& e) {
    throw RecoveryError(e.code().message());
  }
}

}  // namespace pz::recovery
