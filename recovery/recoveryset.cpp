#include "recovery/recoveryset.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "platform/filehandle.h"
#include "platform/os.h"
#include "recovery/combine.h"
#include "recovery/gf16.h"
#include "recovery/tempoutput.h"

namespace pz::recovery {

namespace {

constexpr std::size_t kReadChunk = 1U << 20;
constexpr const char* kCreator = "Parzello";
// Slices per file of the largest size at most, so that the work, which grows with the count
// of recovery slices, stays moderate.
constexpr std::uint64_t kTargetSlices = 128;

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

void WriteAt(int fd, const void* data, std::size_t n, std::uint64_t at, const std::string& path) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    const ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) FailOn("cannot write", path, w < 0 ? errno : ENOSPC);
    p += w;
    n -= static_cast<std::size_t>(w);
    at += static_cast<std::uint64_t>(w);
  }
}

std::size_t ReadAt(int fd, void* data, std::size_t n, std::uint64_t at) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r =
        ::pread(fd, static_cast<std::uint8_t*>(data) + got, n - got, static_cast<off_t>(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw std::system_error(errno, std::generic_category());
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

std::string Padded(std::uint32_t n, std::size_t width) {
  std::string s = std::to_string(n);
  return std::string(width > s.size() ? width - s.size() : 0, '0') + s;
}

}  // namespace

Plan PlanFor(const std::vector<std::uint64_t>& sizes, int percent) {
  Plan plan;
  const std::uint64_t largest = sizes.empty() ? 0 : *std::max_element(sizes.begin(), sizes.end());
  if (largest == 0 || percent <= 0) return plan;
  const auto count = [&](std::uint64_t slice) {
    std::uint64_t n = 0;
    for (std::uint64_t s : sizes) n += CeilDiv(s, slice);
    return n;
  };
  for (std::uint64_t k = std::max<std::uint64_t>(1, kTargetSlices / sizes.size()); k >= 1; --k) {
    const std::uint64_t slice = std::max<std::uint64_t>(4, CeilDiv(CeilDiv(largest, k), 4) * 4);
    const std::uint64_t n = count(slice);
    const std::uint64_t r = CeilDiv(n * static_cast<std::uint64_t>(percent), 100);
    const bool fits = n <= par2::kMaxSlices && r < par2::kMaxRecovery;
    if (fits && (r >= CeilDiv(largest, slice) || k == 1)) {
      plan = {slice, static_cast<std::uint32_t>(n), static_cast<std::uint32_t>(r), 0};
      break;
    }
  }
  // Whole files rebuilt: the largest first, as long as their slices are covered.
  std::vector<std::uint64_t> bySize = sizes;
  std::sort(bySize.rbegin(), bySize.rend());
  std::uint64_t used = 0;
  for (std::uint64_t s : bySize) {
    used += CeilDiv(s, plan.sliceSize == 0 ? 1 : plan.sliceSize);
    if (plan.sliceSize == 0 || used > plan.recoverySlices) break;
    ++plan.wholeFiles;
  }
  return plan;
}

std::string IndexName(const std::string& base) {
  return base + ".par2";
}

std::vector<VolumeName> VolumeNames(const std::string& base, std::uint32_t count) {
  std::vector<VolumeName> v;
  for (std::uint32_t first = 0, size = 1; first < count; first += size, size *= 2) {
    v.push_back({"", first, std::min(size, count - first)});
  }
  const std::size_t w1 = std::to_string(v.empty() ? 0 : v.back().first).size();
  std::size_t w2 = 1;
  for (const auto& x : v) w2 = std::max(w2, std::to_string(x.count).size());
  for (auto& x : v)
    x.name = base + ".vol" + Padded(x.first, w1) + "+" + Padded(x.count, w2) + ".par2";
  return v;
}

namespace {

// The hashes of one input file: whole, first 16 KiB, and every slice's.
void HashInput(int fd, par2::FileEntry& f, std::uint64_t sliceSize, const std::stop_token& stop,
               std::atomic<std::int64_t>& done) {
  par2::Md5Stream whole;
  std::vector<std::uint8_t> buf(
      static_cast<std::size_t>(std::min<std::uint64_t>(sliceSize, kReadChunk)));
  f.slices.assign(CeilDiv(f.length, sliceSize), {});
  for (std::size_t s = 0; s < f.slices.size() && !stop.stop_requested(); ++s) {
    par2::Md5Stream md5;
    std::uint32_t crc = 0;
    for (std::uint64_t at = 0; at < sliceSize;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), sliceSize - at));
      const std::uint64_t pos = s * sliceSize + at;
      const std::size_t want =
          pos >= f.length ? 0
                          : static_cast<std::size_t>(std::min<std::uint64_t>(n, f.length - pos));
      if (ReadAt(fd, buf.data(), want, pos) != want)
        throw std::system_error(EIO, std::generic_category());
      std::memset(buf.data() + want, 0, n - want);
      whole.Update(buf.data(), want);
      md5.Update(buf.data(), n);
      crc = par2::Crc32(crc, buf.data(), n);
      at += n;
      done += static_cast<std::int64_t>(n);
    }
    f.slices[s] = {md5.Final(), crc};
  }
  f.hash = whole.Final();
}

par2::Hash Hash16k(int fd, std::uint64_t length) {
  std::vector<std::uint8_t> buf(
      static_cast<std::size_t>(std::min<std::uint64_t>(length, par2::filedesc::kHashedPrefix)));
  if (ReadAt(fd, buf.data(), buf.size(), 0) != buf.size())
    throw std::system_error(EIO, std::generic_category());
  return par2::Md5(buf.data(), buf.size());
}

// The critical packets, which the index and every volume hold.
std::vector<std::uint8_t> CriticalPackets(const par2::SetInfo& set) {
  std::vector<std::uint8_t> out;
  const auto append = [&](const std::vector<std::uint8_t>& p) {
    out.insert(out.end(), p.begin(), p.end());
  };
  append(par2::MainPacket(set));
  for (const auto& f : set.files) append(par2::FileDescPacket(set, f));
  for (const auto& f : set.files) append(par2::SliceChecksumPacket(set, f));
  append(par2::CreatorPacket(set, kCreator));
  return out;
}

// Making the recovery files of a set.
class Creator {
 public:
  Creator(const std::vector<InputFile>& files, const std::string& folder, const std::string& base,
          const Plan& plan)
      : files_(files), folder_(folder), base_(base), plan_(plan) {}

  std::vector<std::string> Run(const ProgressFn& progress) {
    OpenInputs();
    OpenOutputs();
    Compute(progress);
    return Finish();
  }

 private:
  void OpenInputs() {
    set_.sliceSize = plan_.sliceSize;
    for (const InputFile& in : files_) {
      FileHandle fd(::open(in.path.c_str(), O_RDONLY | O_CLOEXEC));
      struct stat st {};
      if (!fd.valid() || ::fstat(fd.get(), &st) != 0) FailOn("cannot read", in.path, errno);
      par2::FileEntry f;
      f.name = in.name;
      f.length = static_cast<std::uint64_t>(st.st_size);
      f.hash16k = Hash16k(fd.get(), f.length);
      set_.files.push_back(f);
      fds_.push_back(std::move(fd));
    }
    // The set's order decides the constants; keep each file's handle beside it.
    std::vector<std::size_t> order(files_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    par2::SetInfo sorted = set_;
    par2::Seal(sorted);
    std::vector<FileHandle> fds;
    for (const auto& f : sorted.files) {
      for (std::size_t i = 0; i < set_.files.size(); ++i) {
        if (set_.files[i].name == f.name && fds_[i].valid()) {
          fds.push_back(std::move(fds_[i]));
          break;
        }
      }
    }
    set_ = std::move(sorted);
    fds_ = std::move(fds);
  }

  void OpenOutputs() {
    volumes_ = VolumeNames(base_, plan_.recoverySlices);
    for (const VolumeName& v : volumes_)
      outputs_.push_back(std::make_unique<TempOutput>(JoinPath(folder_, v.name)));
    index_ = std::make_unique<TempOutput>(JoinPath(folder_, IndexName(base_)));
  }

  std::uint64_t PacketSize() const {
    return par2::head::kSize + par2::recv::kData + plan_.sliceSize;
  }

  void Compute(const ProgressFn& progress) {
    CombineJob job;
    job.sliceSize = plan_.sliceSize;
    const auto constants = par2::InputConstants(plan_.inputSlices);
    std::uint32_t slice = 0;
    for (std::size_t f = 0; f < set_.files.size(); ++f) {
      const std::uint64_t length = set_.files[f].length;
      for (std::uint64_t s = 0; s * plan_.sliceSize < length; ++s, ++slice)
        job.inputs.push_back({fds_[f].get(), s * plan_.sliceSize,
                              std::min(plan_.sliceSize, length - s * plan_.sliceSize)});
      job.sideTasks.push_back(
          [this, f](const std::stop_token& stop, std::atomic<std::int64_t>& done) {
            HashInput(fds_[f].get(), set_.files[f], plan_.sliceSize, stop, done);
          });
      job.sideBytes +=
          static_cast<std::int64_t>(CeilDiv(length, plan_.sliceSize) * plan_.sliceSize);
    }
    job.outputs = plan_.recoverySlices;
    job.matrix.resize(job.outputs * job.inputs.size());
    for (std::uint32_t e = 0; e < job.outputs; ++e) {
      for (std::size_t i = 0; i < job.inputs.size(); ++i)
        job.matrix[e * job.inputs.size() + i] = gf::Pow(constants[i], e);
    }
    for (std::uint32_t e = 0; e < job.outputs; ++e) {
      hashes_.emplace_back();
      par2::BeginRecoveryHash(hashes_.back(), set_.setId, e);
    }
    job.sink = [this](std::size_t e, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t n) {
      const auto [volume, k] = Locate(static_cast<std::uint32_t>(e));
      hashes_[e].Update(data, n);
      WriteAt(outputs_[volume]->fd(), data, n,
              k * PacketSize() + par2::head::kSize + par2::recv::kData + offset,
              outputs_[volume]->finalPath());
    };
    Combine(job, progress);
  }

  // The volume that holds exponent e, and its place there.
  std::pair<std::size_t, std::uint64_t> Locate(std::uint32_t e) const {
    for (std::size_t v = 0; v < volumes_.size(); ++v) {
      if (e < volumes_[v].first + volumes_[v].count) return {v, e - volumes_[v].first};
    }
    return {0, 0};
  }

  std::vector<std::string> Finish() {
    const std::vector<std::uint8_t> critical = CriticalPackets(set_);
    for (std::uint32_t e = 0; e < plan_.recoverySlices; ++e) {
      const auto [volume, k] = Locate(e);
      const auto head = par2::RecoveryPacketHead(set_, e, hashes_[e].Final());
      WriteAt(outputs_[volume]->fd(), head.data(), head.size(), k * PacketSize(),
              outputs_[volume]->finalPath());
    }
    for (std::size_t v = 0; v < volumes_.size(); ++v)
      WriteAt(outputs_[v]->fd(), critical.data(), critical.size(), volumes_[v].count * PacketSize(),
              outputs_[v]->finalPath());
    WriteAt(index_->fd(), critical.data(), critical.size(), 0, index_->finalPath());
    std::vector<std::string> written;
    index_->Commit();
    written.push_back(index_->finalPath());
    for (auto& o : outputs_) {
      o->Commit();
      written.push_back(o->finalPath());
    }
    return written;
  }

  const std::vector<InputFile>& files_;
  std::string folder_;
  std::string base_;
  Plan plan_;
  par2::SetInfo set_;
  std::vector<FileHandle> fds_;
  std::vector<VolumeName> volumes_;
  std::vector<std::unique_ptr<TempOutput>> outputs_;
  std::unique_ptr<TempOutput> index_;
  std::vector<par2::Md5Stream> hashes_;
};

}  // namespace

std::vector<std::string> CreateRecovery(const std::vector<InputFile>& files,
                                        const std::string& folder, const std::string& base,
                                        const Plan& plan, const ProgressFn& progress) {
  if (plan.sliceSize == 0 || plan.recoverySlices == 0) return {};
  try {
    return Creator(files, folder, base, plan).Run(progress);
  } catch (const std::system_error& e) {
    throw RecoveryError(e.code().message());
  }
}

}  // namespace pz::recovery
