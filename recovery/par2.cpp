#include "recovery/par2.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "platform/filehandle.h"
#include "recovery/gf16.h"

namespace pz::par2 {

namespace {

void PutLe(std::uint8_t* at, std::uint64_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint64_t GetLe(const std::uint8_t* at, std::size_t width) {
  std::uint64_t v = 0;
  for (std::size_t i = width; i-- > 0;) v = (v << 8) | at[i];
  return v;
}
void Put(std::vector<std::uint8_t>& body, std::size_t base, const Field& f, std::uint64_t v) {
  PutLe(body.data() + base + f.offset, v, f.width);
}
void PutHash(std::vector<std::uint8_t>& body, std::size_t at, const Hash& h) {
  std::copy(h.begin(), h.end(), body.begin() + static_cast<std::ptrdiff_t>(at));
}
Hash GetHash(const std::uint8_t* at) {
  Hash h;
  std::copy(at, at + h.size(), h.begin());
  return h;
}
std::size_t Padded(std::size_t n) {
  return (n + 3) / 4 * 4;
}

// A whole packet around a body: the header with its length and hash.
std::vector<std::uint8_t> Packet(const Hash& setId, std::string_view type,
                                 const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> p(head::kSize + body.size());
  std::copy(head::kMagicBytes.begin(), head::kMagicBytes.end(), p.begin());
  PutLe(p.data() + head::kLength.offset, p.size(), head::kLength.width);
  PutHash(p, head::kSetId.offset, setId);
  std::copy(type.begin(), type.end(), p.begin() + head::kType.offset);
  std::copy(body.begin(), body.end(), p.begin() + head::kSize);
  const Hash h = Md5(p.data() + head::kSetId.offset, p.size() - head::kSetId.offset);
  PutHash(p, head::kHash.offset, h);
  return p;
}

bool IdLess(const Hash& a, const Hash& b) {
  // As little-endian numbers: the last byte weighs most.
  return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

std::vector<std::uint8_t> MainBody(const SetInfo& set) {
  std::vector<std::uint8_t> body(mainp::kFileIds + 16 * set.files.size());
  Put(body, 0, mainp::kSliceSize, set.sliceSize);
  Put(body, 0, mainp::kFileCount, set.files.size());
  for (std::size_t i = 0; i < set.files.size(); ++i)
    PutHash(body, mainp::kFileIds + 16 * i, set.files[i].id);
  return body;
}

}  // namespace

Md5Stream::Md5Stream() : ctx_(EVP_MD_CTX_new()) {
  if (ctx_ == nullptr || EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(ctx_), EVP_md5(), nullptr) != 1)
    throw std::runtime_error("MD5 unavailable");
}
Md5Stream::~Md5Stream() {
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_));
}
Md5Stream::Md5Stream(Md5Stream&& o) noexcept : ctx_(o.ctx_) {
  o.ctx_ = nullptr;
}
Md5Stream& Md5Stream::operator=(Md5Stream&& o) noexcept {
  std::swap(ctx_, o.ctx_);
  return *this;
}
void Md5Stream::Update(const void* data, std::size_t size) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx_), data, size);
}
Hash Md5Stream::Final() {
  Hash h{};
  EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx_), h.data(), nullptr);
  return h;
}

Hash Md5(const void* data, std::size_t size) {
  Md5Stream md5;
  md5.Update(data, size);
  return md5.Final();
}

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  while (size > 0) {
    const auto n = static_cast<uInt>(std::min<std::size_t>(size, 1U << 30));
    crc = static_cast<std::uint32_t>(::crc32(crc, p, n));
    p += n;
    size -= n;
  }
  return crc;
}

Hash FileId(const Hash& hash16k, std::uint64_t length, const std::string& name) {
  std::vector<std::uint8_t> in(16 + 8 + name.size());
  PutHash(in, 0, hash16k);
  PutLe(in.data() + 16, length, 8);
  std::copy(name.begin(), name.end(), in.begin() + 24);
  return Md5(in.data(), in.size());
}

void Seal(SetInfo& set) {
  for (FileEntry& f : set.files) f.id = FileId(f.hash16k, f.length, f.name);
  std::sort(set.files.begin(), set.files.end(),
            [](const FileEntry& a, const FileEntry& b) { return IdLess(a.id, b.id); });
  const std::vector<std::uint8_t> body = MainBody(set);
  set.setId = Md5(body.data(), body.size());
}

std::uint32_t SetInfo::SliceCount() const {
  std::uint32_t n = 0;
  for (const FileEntry& f : files) n += static_cast<std::uint32_t>(f.slices.size());
  return n;
}

std::vector<std::uint32_t> SetInfo::FirstSlices() const {
  std::vector<std::uint32_t> first;
  std::uint32_t n = 0;
  for (const FileEntry& f : files) {
    first.push_back(n);
    n += static_cast<std::uint32_t>(f.slices.size());
  }
  return first;
}

std::vector<std::uint16_t> InputConstants(std::uint32_t count) {
  std::vector<std::uint16_t> c;
  c.reserve(count);
  for (std::uint32_t n = 1; c.size() < count; ++n) {
    if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0) c.push_back(gf::Exp(n));
  }
  return c;
}

std::vector<std::uint8_t> MainPacket(const SetInfo& set) {
  return Packet(set.setId, type::kMain, MainBody(set));
}

std::vector<std::uint8_t> FileDescPacket(const SetInfo& set, const FileEntry& f) {
  std::vector<std::uint8_t> body(filedesc::kName + Padded(f.name.size()));
  PutHash(body, filedesc::kFileId.offset, f.id);
  PutHash(body, filedesc::kFileHash.offset, f.hash);
  PutHash(body, filedesc::kHash16k.offset, f.hash16k);
  Put(body, 0, filedesc::kLength, f.length);
  std::copy(f.name.begin(), f.name.end(), body.begin() + filedesc::kName);
  return Packet(set.setId, type::kFileDesc, body);
}

std::vector<std::uint8_t> SliceChecksumPacket(const SetInfo& set, const FileEntry& f) {
  std::vector<std::uint8_t> body(ifsc::kEntries + ifsc::kEntrySize * f.slices.size());
  PutHash(body, ifsc::kFileId.offset, f.id);
  for (std::size_t i = 0; i < f.slices.size(); ++i) {
    const std::size_t at = ifsc::kEntries + ifsc::kEntrySize * i;
    PutHash(body, at + ifsc::kEntryMd5.offset, f.slices[i].md5);
    Put(body, at, ifsc::kEntryCrc, f.slices[i].crc);
  }
  return Packet(set.setId, type::kSliceChecksums, body);
}

std::vector<std::uint8_t> CreatorPacket(const SetInfo& set, std::string_view client) {
  std::vector<std::uint8_t> body(Padded(client.size()));
  std::copy(client.begin(), client.end(), body.begin());
  return Packet(set.setId, type::kCreator, body);
}

void BeginRecoveryHash(Md5Stream& md5, const Hash& setId, std::uint32_t exponent) {
  std::uint8_t e[recv::kExponent.width];
  PutLe(e, exponent, sizeof e);
  md5.Update(setId.data(), setId.size());
  md5.Update(type::kRecoverySlice.data(), type::kRecoverySlice.size());
  md5.Update(e, sizeof e);
}

std::vector<std::uint8_t> RecoveryPacketHead(const SetInfo& set, std::uint32_t exponent,
                                             const Hash& packetHash) {
  std::vector<std::uint8_t> p(head::kSize + recv::kData);
  std::copy(head::kMagicBytes.begin(), head::kMagicBytes.end(), p.begin());
  PutLe(p.data() + head::kLength.offset, head::kSize + recv::kData + set.sliceSize,
        head::kLength.width);
  PutHash(p, head::kHash.offset, packetHash);
  PutHash(p, head::kSetId.offset, set.setId);
  std::copy(type::kRecoverySlice.begin(), type::kRecoverySlice.end(),
            p.begin() + head::kType.offset);
  PutLe(p.data() + head::kSize + recv::kExponent.offset, exponent, recv::kExponent.width);
  return p;
}

namespace {

// A packet found in a file: its header, and its body when it is small enough to keep.
struct Found {
  Hash setId;
  std::string type;
  std::vector<std::uint8_t> body;  // empty for a recovery slice, whose data stays in the file
  std::uint32_t exponent = 0;
  std::string path;
  std::uint64_t dataOffset = 0;
  std::uint64_t dataLength = 0;
};

constexpr std::uint64_t kKeptBodyLimit = 64ULL << 20;

// Reads the packets of one file; skips to the next magic after a damaged one.
class PacketReader {
 public:
  PacketReader(const std::string& path, std::vector<Found>& out, std::size_t& damaged)
      : path_(path), out_(out), damaged_(damaged) {}

  void Run() {
    FileHandle f(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!f.valid() || fstat(f.get(), &st) != 0) return;
    fd_ = f.get();
    size_ = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t pos = 0;
    while (pos + head::kSize <= size_) {
      const std::uint64_t length = TryPacket(pos);
      if (length > 0) {
        pos += length;
        continue;
      }
      ++damaged_;
      pos = NextMagic(pos + 1);
    }
  }

 private:
  bool Read(std::uint64_t at, void* buf, std::size_t n) const {
    return ::pread(fd_, buf, n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
  }

  // The packet's length when an intact one starts at pos, else 0.
  std::uint64_t TryPacket(std::uint64_t pos) {
    std::uint8_t h[head::kSize];
    if (!Read(pos, h, sizeof h)) return 0;
    if (std::memcmp(h, head::kMagicBytes.data(), head::kMagic.width) != 0) return 0;
    const std::uint64_t length = GetLe(h + head::kLength.offset, head::kLength.width);
    if (length < head::kSize || length % 4 != 0 || length > size_ - pos) return 0;
    Found found;
    found.setId = GetHash(h + head::kSetId.offset);
    found.type.assign(reinterpret_cast<const char*>(h + head::kType.offset), head::kType.width);
    const bool recovery = found.type == type::kRecoverySlice;
    if (!recovery && length > kKeptBodyLimit) return 0;
    Md5Stream md5;
    md5.Update(h + head::kSetId.offset, head::kSize - head::kSetId.offset);
    std::vector<std::uint8_t> buf(std::min<std::uint64_t>(length - head::kSize, 1U << 20));
    std::vector<std::uint8_t> body;
    for (std::uint64_t at = head::kSize; at < length;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), length - at));
      if (!Read(pos + at, buf.data(), n)) return 0;
      md5.Update(buf.data(), n);
      if (at == head::kSize && recovery && n >= recv::kData)
        found.exponent = static_cast<std::uint32_t>(GetLe(buf.data(), recv::kExponent.width));
      if (!recovery) body.insert(body.end(), buf.begin(), buf.begin() + static_cast<long>(n));
      at += n;
    }
    if (md5.Final() != GetHash(h + head::kHash.offset)) return 0;
    if (recovery && length < head::kSize + recv::kData) return 0;
    found.body = std::move(body);
    found.path = path_;
    found.dataOffset = pos + head::kSize + recv::kData;
    found.dataLength = length - head::kSize - recv::kData;
    out_.push_back(std::move(found));
    return length;
  }

  std::uint64_t NextMagic(std::uint64_t from) const {
    std::vector<std::uint8_t> buf(1U << 20);
    for (std::uint64_t at = from; at + head::kMagic.width <= size_;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size_ - at));
      if (!Read(at, buf.data(), n)) return size_;
      const auto* hit = static_cast<const std::uint8_t*>(
          ::memmem(buf.data(), n, head::kMagicBytes.data(), head::kMagic.width));
      if (hit != nullptr) return at + static_cast<std::uint64_t>(hit - buf.data());
      if (n < head::kMagic.width) return size_;
      at += n - (head::kMagic.width - 1);
    }
    return size_;
  }

  const std::string& path_;
  std::vector<Found>& out_;
  std::size_t& damaged_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

std::optional<FileEntry> ParseFileDesc(const std::vector<std::uint8_t>& b) {
  if (b.size() < filedesc::kName) return std::nullopt;
  FileEntry f;
  f.id = GetHash(b.data() + filedesc::kFileId.offset);
  f.hash = GetHash(b.data() + filedesc::kFileHash.offset);
  f.hash16k = GetHash(b.data() + filedesc::kHash16k.offset);
  f.length = GetLe(b.data() + filedesc::kLength.offset, filedesc::kLength.width);
  f.name.assign(b.begin() + filedesc::kName, b.end());
  f.name.erase(std::find(f.name.begin(), f.name.end(), '\0'), f.name.end());
  return f;
}

std::vector<SliceCheck> ParseChecksums(const std::vector<std::uint8_t>& b) {
  std::vector<SliceCheck> out;
  for (std::size_t at = ifsc::kEntries; at + ifsc::kEntrySize <= b.size(); at += ifsc::kEntrySize) {
    SliceCheck s;
    s.md5 = GetHash(b.data() + at + ifsc::kEntryMd5.offset);
    s.crc = static_cast<std::uint32_t>(GetLe(b.data() + at + ifsc::kEntryCrc.offset, 4));
    out.push_back(s);
  }
  return out;
}

// The set of the first intact main packet, when every file it names is described.
std::optional<SetInfo> BuildSet(const std::vector<Found>& found) {
  const auto main = std::find_if(found.begin(), found.end(),
                                 [](const Found& f) { return f.type == type::kMain; });
  if (main == found.end() || main->body.size() < mainp::kFileIds) return std::nullopt;
  SetInfo set;
  set.setId = main->setId;
  set.sliceSize = GetLe(main->body.data() + mainp::kSliceSize.offset, mainp::kSliceSize.width);
  const auto count = GetLe(main->body.data() + mainp::kFileCount.offset, 4);
  if (set.sliceSize == 0 || set.sliceSize % 4 != 0 ||
      main->body.size() < mainp::kFileIds + 16 * count)
    return std::nullopt;
  std::map<Hash, FileEntry> described;
  std::map<Hash, std::vector<SliceCheck>> checksums;
  for (const Found& f : found) {
    if (f.setId != set.setId) continue;
    if (f.type == type::kFileDesc) {
      if (auto d = ParseFileDesc(f.body)) described[d->id] = *d;
    } else if (f.type == type::kSliceChecksums && f.body.size() >= ifsc::kEntries) {
      checksums[GetHash(f.body.data())] = ParseChecksums(f.body);
    }
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const Hash id = GetHash(main->body.data() + mainp::kFileIds + 16 * i);
    const auto d = described.find(id);
    const auto c = checksums.find(id);
    if (d == described.end() || c == checksums.end()) return std::nullopt;
    FileEntry f = d->second;
    f.slices = c->second;
    if (f.slices.size() != (f.length + set.sliceSize - 1) / set.sliceSize) return std::nullopt;
    set.files.push_back(std::move(f));
  }
  return set;
}

}  // namespace

ScanResult ScanFiles(const std::vector<std::string>& paths) {
  ScanResult result;
  std::vector<Found> found;
  for (const std::string& p : paths) PacketReader(p, found, result.damagedPackets).Run();
  result.set = BuildSet(found);
  if (!result.set) return result;
  std::map<std::uint32_t, RecoverySliceRef> byExponent;
  for (const Found& f : found) {
    if (f.setId == result.set->setId && f.type == type::kRecoverySlice &&
        f.dataLength == result.set->sliceSize && f.exponent < kMaxRecovery)
      byExponent.emplace(f.exponent, RecoverySliceRef{f.exponent, f.path, f.dataOffset});
  }
  for (auto& [e, ref] : byExponent) result.recovery.push_back(ref);
  return result;
}

}  // namespace pz::par2
