#include "engine/checksum.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "engine/filecopy.h"
#include "engine/partialfile.h"
#include "engine/recoveryuse.h"
#include "platform/os.h"

namespace pz {

// ---------------------------------------------------------------- Sha256

struct Sha256::Ctx {
  EVP_MD_CTX* md = nullptr;
  Ctx() : md(EVP_MD_CTX_new()) {
    if (md == nullptr || EVP_DigestInit_ex(md, EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
  }
  ~Ctx() { EVP_MD_CTX_free(md); }
  Ctx(const Ctx&) = delete;
  Ctx& operator=(const Ctx&) = delete;
};

Sha256::Sha256() : ctx_(std::make_unique<Ctx>()) {}

Sha256::Sha256(const Sha256& o) : ctx_(std::make_unique<Ctx>()) {
  if (EVP_MD_CTX_copy_ex(ctx_->md, o.ctx_->md) != 1) throw std::bad_alloc();
}

Sha256& Sha256::operator=(const Sha256& o) {
  if (this != &o && EVP_MD_CTX_copy_ex(ctx_->md, o.ctx_->md) != 1) throw std::bad_alloc();
  return *this;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  EVP_DigestUpdate(ctx_->md, data, size);
}

std::string Sha256::Hex() const {
  Sha256 copy(*this);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_DigestFinal_ex(copy.ctx_->md, digest, &n);
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < n; ++i) {
    hex += digits[digest[i] >> 4];
    hex += digits[digest[i] & 15];
  }
  return hex;
}

// ---------------------------------------------------------------- RangeHasher

namespace {

constexpr std::size_t kHashBuffer = 1 << 20;
// Buffers of a hasher that feeds two hashes.
constexpr std::size_t kHashRing = 4;
// How far the copy may run ahead of the hashing: well inside the page cache.
constexpr std::int64_t kMaxLag = 64 << 20;

}  // namespace

RangeHasher::RangeHasher() : thread_([this] { Run(); }) {}

RangeHasher::~RangeHasher() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // What is still queued is dropped; the range in hand is finished before the hashes go.
    stop_ = true;
    jobs_.clear();
    queued_ = 0;
  }
  wake_.notify_all();
  thread_.join();
}

void RangeHasher::Add(int fd, std::int64_t offset, std::int64_t length, Sha256* a, Sha256* b) {
  if (length <= 0) return;
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return queued_ < kMaxLag; });
  Job* last = jobs_.empty() ? nullptr : &jobs_.back();
  if (last != nullptr && last->fd == fd && last->a == a && last->b == b &&
      last->offset + last->length == offset) {
    last->length += length;
  } else {
    jobs_.push_back({fd, offset, length, a, b});
  }
  queued_ += length;
  added_ += length;
  wake_.notify_one();
}

bool RangeHasher::Drain(int* error) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return jobs_.empty() && !busy_; });
  const int err = error_;
  error_ = 0;
  if (error != nullptr) *error = err;
  return err == 0;
}

std::int64_t RangeHasher::Added() {
  std::lock_guard<std::mutex> lock(mutex_);
  return added_;
}

std::int64_t RangeHasher::Hashed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return hashed_;
}

namespace {

// Reads exactly size bytes at offset; the errno of a failure, EIO when the file is shorter.
int ReadExactly(int fd, char* data, std::size_t size, std::int64_t offset) {
  while (size > 0) {
    const ssize_t n = ReadAt(fd, data, size, offset);
    if (n < 0) return errno;
    if (n == 0) return EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return 0;
}

}  // namespace

// Feeds a second hash on a thread of its own from the buffers that the first is fed from, so
// both hashes of the same bytes take the time of one, and the bytes are read only once. The
// pieces queue up over a ring of buffers: neither hash waits for the other piece by piece, only
// when one is a whole ring behind.
class SecondHash {
 public:
  SecondHash() : thread_([this] { Run(); }) {}
  ~SecondHash() {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      done_.wait(lock, [&] { return pieces_.empty(); });
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  SecondHash(const SecondHash&) = delete;
  SecondHash& operator=(const SecondHash&) = delete;

  // The data must stay untouched until it is no longer owed (see WaitBelow).
  void Start(Sha256* hash, const char* data, std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    pieces_.push_back({hash, data, size});
    wake_.notify_one();
  }
  // Waits until fewer than n pieces are owed: the oldest buffers are free again.
  void WaitBelow(std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return pieces_.size() < n; });
  }

 private:
  struct Piece {
    Sha256* hash;
    const char* data;
    std::size_t size;
  };
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || !pieces_.empty(); });
      if (pieces_.empty()) return;
      const Piece piece = pieces_.front();  // stays owed until it is hashed
      lock.unlock();
      piece.hash->Update(piece.data, piece.size);
      lock.lock();
      pieces_.pop_front();
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::deque<Piece> pieces_;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the members above are ready
};

void RangeHasher::Run() {
  // A ring of buffers: the next piece is read while the second hash may still work on the
  // others. All but the first only once a range feeds two hashes, so a hasher of one hash keeps
  // one buffer.
  std::vector<char> buffers[kHashRing] = {std::vector<char>(kHashBuffer)};
  std::size_t turn = 0;
  std::optional<SecondHash> second;  // started with the first range that feeds two hashes
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
    if (stop_) return;
    // Take the next piece off the queue, so nothing else refers to it while it is read.
    Job& front = jobs_.front();
    Job piece = front;
    piece.length = std::min<std::int64_t>(front.length, kHashBuffer);
    front.offset += piece.length;
    front.length -= piece.length;
    if (front.length == 0) jobs_.pop_front();
    busy_ = true;
    lock.unlock();
    const auto size = static_cast<std::size_t>(piece.length);
    if (second) second->WaitBelow(kHashRing);  // the buffer of this turn is free
    std::vector<char>& buffer = buffers[turn];
    buffer.resize(kHashBuffer);
    const int err = ReadExactly(piece.fd, buffer.data(), size, piece.offset);
    if (err == 0 && piece.b != nullptr) {
      if (!second) second.emplace();
      second->Start(piece.b, buffer.data(), size);
      turn = (turn + 1) % kHashRing;
    }
    if (err == 0) piece.a->Update(buffer.data(), size);
    lock.lock();
    // Nothing more to do: the second hash must be complete before Drain can return.
    if (second && jobs_.empty()) {
      lock.unlock();
      second->WaitBelow(1);
      lock.lock();
    }
    busy_ = false;
    hashed_ += piece.length;
    if (!stop_) queued_ -= piece.length;
    if (err != 0 && error_ == 0) error_ = err;
    done_.notify_all();
  }
}

// ---------------------------------------------------------------- SegmentHashes

unsigned SegmentHashes::DefaultThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
}

SegmentHashes::SegmentHashes(unsigned threads) {
  for (unsigned i = 0; i < std::max(threads, 1U); ++i) slots_.push_back(std::make_unique<Slot>());
}

void SegmentHashes::Begin(std::string name, int fd, std::int64_t offset, const void* prefix,
                          std::size_t prefixSize) {
  if (owed_.size() >= slots_.size()) throw std::logic_error("SegmentHashes: no thread free");
  Slot& slot = *slots_[begun_++ % slots_.size()];
  slot.hash = Sha256();
  if (prefixSize > 0) slot.hash.Update(prefix, prefixSize);
  slot.name = std::move(name);
  owed_.push_back(&slot);
  fd_ = fd;
  offset_ = offset;
}

void SegmentHashes::Add(std::int64_t length) {
  if (length <= 0) return;
  Slot& slot = *owed_.back();
  slot.hasher.Add(fd_, offset_, length, &slot.hash, nullptr);
  offset_ += length;
}

SegmentHashes::Done SegmentHashes::Oldest() {
  Slot& slot = *owed_.front();
  owed_.pop_front();
  Done done;
  done.name = std::move(slot.name);
  if (slot.hasher.Drain(&done.error)) done.hex = slot.hash.Hex();
  return done;
}

std::optional<std::string> HashFile(const std::string& path, const std::stop_token& stop) {
  FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!f.valid()) return std::nullopt;
  ::posix_fadvise(f.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  std::vector<char> buffer(kHashBuffer);
  Sha256 hash;
  for (;;) {
    if (stop.stop_requested()) {
      errno = ECANCELED;
      return std::nullopt;
    }
    const ssize_t n = ::read(f.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    hash.Update(buffer.data(), static_cast<std::size_t>(n));
  }
  return hash.Hex();
}

// ---------------------------------------------------------------- checksum file

namespace {

constexpr const char* kChecksumSuffix = ".PZX.sha256";
// Far above what 65536 segments need; a larger file is no checksum file of a set.
constexpr std::int64_t kMaxChecksumFileSize = 32 << 20;

bool IsHex(const std::string& s) {
  return s.size() == 64 && std::all_of(s.begin(), s.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// sha256sum's escapes: "\\", "\n" and "\r"; anything else after a backslash, or a NUL, is
// no name.
std::optional<std::string> Unescaped(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\0') return std::nullopt;
    if (name[i] != '\\') {
      out += name[i];
      continue;
    }
    if (++i == name.size()) return std::nullopt;
    if (name[i] == '\\')
      out += '\\';
    else if (name[i] == 'n')
      out += '\n';
    else if (name[i] == 'r')
      out += '\r';
    else
      return std::nullopt;
  }
  return out;
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

struct Line {
  std::string hex;
  std::string name;
};

// What follows "SHA256 (": the name up to the last ")", then "=" and the hash, blanks around
// the "=" allowed.
std::optional<Line> TaggedLine(std::string_view rest, bool escaped) {
  const std::size_t close = rest.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::size_t i = close + 1;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  if (i == rest.size() || rest[i] != '=') return std::nullopt;
  ++i;
  while (i < rest.size() && IsBlank(rest[i])) ++i;
  const std::string hex(rest.substr(i));
  std::optional<std::string> name(rest.substr(0, close));
  if (escaped) name = Unescaped(*name);
  if (!IsHex(hex) || !name) return std::nullopt;
  return Line{Lower(hex), *name};
}

// The two untagged forms: "HASH  NAME" / "HASH *NAME" as sha256sum writes them, and
// "HASH NAME" as BSD tools write them. One file uses one of them throughout, so a name with
// a leading blank cannot be mistaken for the other form.
enum class Form { Open, Gnu, Bsd };

std::optional<Line> UntaggedLine(std::string_view s, bool escaped, Form& form) {
  constexpr std::size_t kHexDigits = 64;
  if (s.size() < kHexDigits + 2 || !IsBlank(s[kHexDigits])) return std::nullopt;
  const std::string hex(s.substr(0, kHexDigits));
  if (!IsHex(hex)) return std::nullopt;
  std::size_t i = kHexDigits + 1;
  if (s.size() - i == 1 || (s[i] != ' ' && s[i] != '*')) {
    if (form == Form::Gnu) return std::nullopt;
    form = Form::Bsd;
  } else if (form != Form::Bsd) {
    form = Form::Gnu;
    ++i;  // the mode mark
  }
  std::optional<std::string> name(s.substr(i));
  if (escaped) name = Unescaped(*name);
  if (!name) return std::nullopt;
  return Line{Lower(hex), *name};
}

// One line without its line end; nullopt when sha256sum -c would call it improperly formatted.
std::optional<Line> ChecksumTextLine(std::string_view s, Form& form) {
  constexpr std::string_view kTag = "SHA256";
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  const bool escaped = i < s.size() && s[i] == '\\';
  if (escaped) ++i;
  s.remove_prefix(i);
  if (s.substr(0, kTag.size()) == kTag) {
    s.remove_prefix(kTag.size());
    if (!s.empty() && s[0] == ' ') s.remove_prefix(1);
    if (s.empty() || s[0] != '(') return std::nullopt;
    return TaggedLine(s.substr(1), escaped);
  }
  return UntaggedLine(s, escaped, form);
}

}  // namespace

std::string ChecksumFileName(const std::string& setName) {
  return setName + kChecksumSuffix;
}

std::string SetNameOfSegment(const std::string& segmentPath) {
  const std::string name = FileNamePart(segmentPath);
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ChecksumLine(const std::string& hex, const std::string& name) {
  std::string escaped;
  bool escapes = false;
  for (char c : name) {
    if (c == '\\' || c == '\n' || c == '\r') {
      escapes = true;
      escaped += '\\';
      escaped += c == '\\' ? '\\' : (c == '\n' ? 'n' : 'r');
    } else {
      escaped += c;
    }
  }
  return (escapes ? "\\" : "") + hex + "  " + escaped + "\n";
}

ChecksumList ParseChecksumText(const std::string& text) {
  ChecksumList list;
  Form form = Form::Open;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.front() == '#') continue;  // a comment
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const std::optional<Line> entry = ChecksumTextLine(line, form);
    if (!entry) {
      list.unreadable.push_back(number);
      continue;
    }
    if (!PlainName(entry->name)) continue;  // never followed: not a file beside the checksum file
    if (list.conflicting.count(entry->name) != 0) continue;
    const auto [it, added] = list.hashes.emplace(entry->name, entry->hex);
    if (!added && it->second != entry->hex) {
      // Either line may be the true one: the name is checked against neither.
      list.conflicting.insert(entry->name);
      list.hashes.erase(it);
    }
  }
  list.damaged = !list.unreadable.empty() || !list.conflicting.empty();
  return list;
}

std::optional<ChecksumList> ReadChecksumFile(const std::string& path) {
  auto unreadable = [](int err) {
    ChecksumList list;
    list.readError = std::strerror(err);
    list.damaged = true;
    return list;
  };
  FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!f.valid()) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    return unreadable(errno);
  }
  struct stat st {};
  if (::fstat(f.get(), &st) != 0) return unreadable(errno);
  if (S_ISDIR(st.st_mode)) return std::nullopt;  // a folder of that name is no checksum file
  if (!S_ISREG(st.st_mode)) return unreadable(EINVAL);
  if (st.st_size > kMaxChecksumFileSize) return unreadable(EFBIG);
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(f.get(), text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return unreadable(errno);
    if (n == 0) break;  // shorter than a moment ago: what is there is read
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  return ParseChecksumText(text);
}

bool WriteChecksumFile(const std::string& path,
                       const std::vector<std::pair<std::string, std::string>>& lines) {
  std::string text;
  for (const auto& [name, hex] : lines) text += ChecksumLine(hex, name);
  PartialFile file = PartialFile::Create(path);
  if (!file.valid()) return false;
  if (!WriteAll(file.fd(), text.data(), text.size())) return false;
  return file.Commit();
}

// ---------------------------------------------------------------- SetCheck

SetCheck::SetCheck(std::string setName, std::string wholeName)
    : setName_(std::move(setName)), wholeName_(std::move(wholeName)) {}

void SetCheck::LookIn(const std::string& folder) {
  if (list_ || !searched_.insert(folder).second) return;
  // Found whatever the case of its suffix, as the segments are.
  const std::string path =
      ExistingInAnyCase(JoinPath(folder, ChecksumFileName(setName_)), setName_.size() + 1);
  list_ = ReadChecksumFile(path);
  if (!list_) return;
  path_ = path;
  CheckPending();
}

bool SetCheck::Segment(const std::string& fileName, const std::string& hex) {
  pending_.emplace_back(fileName, hex);
  CheckPending();
  return bad_.empty();
}

void SetCheck::CheckPending() {
  if (!list_) return;
  for (const auto& [name, hex] : pending_) {
    if (!bad_.empty()) break;
    compared_.push_back(name);
    const auto it = list_->hashes.find(name);
    if (list_->conflicting.count(name) != 0)
      conflicting_.push_back(name);
    else if (it == list_->hashes.end())
      notListed_.push_back(name);
    else if (it->second != hex)
      bad_ = name;
    else
      matched_.push_back(name);
  }
  pending_.clear();
}

bool SetCheck::IsSegmentName(const std::string& name) const {
  const std::string prefix = setName_ + ".PZX";
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
         std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

const std::string* SetCheck::Listed(const std::string& fileName) const {
  if (!list_) return nullptr;
  const auto it = list_->hashes.find(fileName);
  return it == list_->hashes.end() ? nullptr : &it->second;
}

const std::string* SetCheck::WholeLine() const {
  if (!list_) return nullptr;
  if (const std::string* named = Listed(wholeName_)) return named;
  const std::string* whole = nullptr;
  int others = 0;
  for (const auto& entry : list_->hashes) {
    // Recovery files are listed too, but are no candidates for the file itself.
    if (!IsSegmentName(entry.first) && !IsRecoveryFileName(setName_, entry.first) && ++others == 1)
      whole = &entry.second;
  }
  return others == 1 ? whole : nullptr;
}

std::vector<std::string> SetCheck::ListedSegments() const {
  std::vector<std::string> names;
  if (!list_) return names;
  for (const auto& entry : list_->hashes) {
    if (IsSegmentName(entry.first)) names.push_back(entry.first);
  }
  // By number, not by text: PZX1000 comes after PZX999.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

Verdict SetCheck::FinishFromSegments() {
  whole_ = CheckAccount::Whole::Proven;
  if (!bad_.empty()) return verdict_ = Verdict::SegmentDiffers;
  if (!list_) return verdict_ = Verdict::NoChecksumFile;
  const bool everything = notListed_.empty() && conflicting_.empty();
  return verdict_ = everything ? Verdict::Verified : Verdict::Incomplete;
}

Verdict SetCheck::Finish(const std::optional<std::string>& wholeHex) {
  if (segmentLinesOnly_) return FinishFromSegments();
  using Whole = CheckAccount::Whole;
  const std::string* whole = WholeLine();
  whole_ = whole == nullptr      ? Whole::NotListed
           : !wholeHex           ? Whole::NotChecked
           : *whole == *wholeHex ? Whole::Matched
                                 : Whole::Differs;
  if (!bad_.empty()) return verdict_ = Verdict::SegmentDiffers;
  if (!list_) return verdict_ = Verdict::NoChecksumFile;
  if (whole_ == Whole::Differs) {
    bad_ = wholeName_;
    return verdict_ = Verdict::WholeDiffers;
  }
  const bool everything = notListed_.empty() && conflicting_.empty() && whole_ == Whole::Matched;
  return verdict_ = everything ? Verdict::Verified : Verdict::Incomplete;
}

CheckAccount SetCheck::Account(bool complete, bool packed) const {
  CheckAccount a;
  a.verdict = verdict_;
  a.checksumPath = path_;
  a.segments = compared_.size();
  a.matched = matched_;
  a.notListed = notListed_;
  a.conflicting = conflicting_;
  using Whole = CheckAccount::Whole;
  a.whole = whole_;
  if (whole_ == Whole::NotChecked && !complete) a.whole = Whole::NotReached;
  if (whole_ == Whole::NotChecked && complete && packed) a.whole = Whole::Later;
  if (!list_) return a;
  a.readError = list_->readError;
  a.unreadableLines = list_->unreadable;
  if (complete) {
    for (const std::string& name : ListedSegments()) {
      if (std::find(compared_.begin(), compared_.end(), name) == compared_.end())
        a.beyond.push_back(name);
    }
  }
  return a;
}

}  // namespace pz
