// Checksums beside the segments: SHA-256 hashing, the checksum file "NAME.PZX.sha256" in the
// text format of coreutils' sha256sum, and the check of a set against it. The segment format
// itself stays as it is, so every reader of segments can still read them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pz {

// SHA-256 of libcrypto, which uses the processor's SHA instructions where it has them.
class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256& o);
  Sha256& operator=(const Sha256& o);
  Sha256(Sha256&&) noexcept = default;
  Sha256& operator=(Sha256&&) noexcept = default;
  ~Sha256();

  void Update(const void* data, std::size_t size);
  // The digest of everything so far, as 64 lowercase hex digits; the state stays usable.
  std::string Hex() const;

 private:
  struct Ctx;
  std::unique_ptr<Ctx> ctx_;
};

// Hashes ranges of open files on a thread of its own (and a second hash of the same bytes on
// another). The ranges are read back once, while they are still in the page cache, right after
// the kernel has copied them, so the copy itself stays a kernel copy and hashing costs it little
// time. One 1 MiB buffer; four while it feeds two hashes.
class RangeHasher {
 public:
  RangeHasher();
  // Drops what is still queued and waits for the range in hand: declared after the hashes it
  // feeds, it never outlives them, also when a failure leaves the scope early.
  ~RangeHasher();
  RangeHasher(const RangeHasher&) = delete;
  RangeHasher& operator=(const RangeHasher&) = delete;

  // Queues length bytes of fd from offset for the given hashes (b may be null). The hashes and
  // the file must stay untouched until Drain has returned. Waits while the thread lags far
  // behind, so what it reads is still cached.
  void Add(int fd, std::int64_t offset, std::int64_t length, Sha256* a, Sha256* b);
  // Waits until every queued range is hashed. False when a read failed (its errno in *error, and
  // the hashes are then incomplete); the failure is cleared.
  bool Drain(int* error);
  // Bytes queued so far, and how many of them the first hash has had: a range queued while
  // Added() was n is in its first hash once Hashed() >= n (complete only if Drain succeeds).
  std::int64_t Added();
  std::int64_t Hashed();

 private:
  struct Job {
    int fd;
    std::int64_t offset;
    std::int64_t length;
    Sha256* a;
    Sha256* b;
  };
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::deque<Job> jobs_;
  std::int64_t queued_ = 0;
  std::int64_t added_ = 0;
  std::int64_t hashed_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  int error_ = 0;
  std::thread thread_;
};

// The join's hashing: each segment is hashed from the rebuilt file itself, at the offset where
// its data belongs, so a matching line proves both the data and its place, and every byte is
// hashed once. Segments take turns on several threads (one RangeHasher each), so one segment is
// still hashed while the kernel copies the next.
class SegmentHashes {
 public:
  // A hash owed for a segment: as Begin named it, its hash, and the errno of a failed read.
  struct Done {
    std::string name;
    std::string hex;
    int error = 0;
  };

  explicit SegmentHashes(unsigned threads = DefaultThreads());
  // Two, or as many as the machine has cores up to four: one buffer each, memory stays small.
  static unsigned DefaultThreads();

  // Starts the next segment, whose data will stand in fd from offset on; prefix (the header of
  // a first segment) is hashed before it. Only while owed() < threads().
  void Begin(std::string name, int fd, std::int64_t offset, const void* prefix,
             std::size_t prefixSize);
  // The next length bytes of the segment begun last stand in the file now.
  void Add(std::int64_t length);
  // Waits for the oldest segment still owed and hands its hash over. Only while owed() > 0.
  Done Oldest();

  std::size_t owed() const { return owed_.size(); }
  std::size_t threads() const { return slots_.size(); }

 private:
  struct Slot {
    Sha256 hash;
    std::string name;
    RangeHasher hasher;  // last: stops before the hash it feeds goes
  };
  std::vector<std::unique_ptr<Slot>> slots_;
  std::deque<Slot*> owed_;
  std::size_t begun_ = 0;
  int fd_ = -1;
  std::int64_t offset_ = 0;
};

// The hash of a whole file; nullopt (errno set) when it cannot be read, or when stop was
// requested before the end (errno ECANCELED).
std::optional<std::string> HashFile(const std::string& path, const std::stop_token& stop = {});

// "NAME.PZX.sha256" for the set whose segments are NAME.PZX000, NAME.PZX001, ...
std::string ChecksumFileName(const std::string& setName);
// The set name of a segment path: its file name without the extension.
std::string SetNameOfSegment(const std::string& segmentPath);

// One line as sha256sum writes it in text mode, "HASH  NAME\n". Like sha256sum, a name with a
// backslash, line feed or carriage return is written escaped, the line starting with "\".
std::string ChecksumLine(const std::string& hex, const std::string& name);

// What a checksum file lists, read as "sha256sum -c" reads it: "HASH  NAME" and "HASH *NAME",
// the tagged form "SHA256 (NAME) = HASH", names escaped with a leading backslash, CRLF line
// ends, a last line without its line end, blank lines and "#" comments. Only plain file names
// count: a line naming a path ("../x", "/etc/x", "a/b"), "." or ".." is passed over, so nothing
// outside the set's folders is ever looked at.
struct ChecksumList {
  std::map<std::string, std::string> hashes;  // file name -> lowercase hex
  std::vector<std::size_t> unreadable;        // lines (from 1) that sha256sum would refuse too
  std::set<std::string> conflicting;  // listed twice with different hashes: in no line above
  std::string readError;              // why the file could not be read at all ("" when it was)
  bool damaged = false;               // any of the three above
};
ChecksumList ParseChecksumText(const std::string& text);
// nullopt when there is no such file; a file that is there but cannot be read has readError.
std::optional<ChecksumList> ReadChecksumFile(const std::string& path);

// Writes a checksum file under a temporary name and moves it into place, so a full volume
// leaves no part of one. False (errno set) on failure.
bool WriteChecksumFile(const std::string& path,
                       const std::vector<std::pair<std::string, std::string>>& lines);

// How a set compared with its checksum file.
enum class Verdict {
  NoChecksumFile,  // none was found: nothing could be checked
  Incomplete,      // nothing differs, but not every segment and the whole file could be checked
  Verified,        // every segment and the whole file matched
  SegmentDiffers,  // a segment's hash differs
  WholeDiffers,    // the rebuilt file's hash differs
};

// What exactly was checked, what matched and what could not be checked, for the messages.
struct CheckAccount {
  Verdict verdict = Verdict::NoChecksumFile;
  std::string checksumPath;
  std::string readError;                 // the checksum file is there but could not be read
  std::size_t segments = 0;              // segments of the set that were compared
  std::vector<std::string> matched;      // segments that matched their line
  std::vector<std::string> notListed;    // segments without a line
  std::vector<std::string> conflicting;  // segments listed twice with different hashes
  std::vector<std::string> beyond;       // lines for segments past the end of a complete set
  std::vector<std::size_t> unreadableLines;
  enum class Whole {
    NotListed,  // no line for the whole file
    Matched,
    Differs,
    NotChecked,  // its hash could not be taken
    Later,       // a packed set: checked once it is unpacked
    NotReached,  // the set is not complete: there is no whole file to check
    Proven,      // its segments, matched where they stand in it, prove it
  } whole = Whole::NotChecked;
};

// Checks the segments of one set as they are read. The checksum file may turn up beside any
// segment (an automatic split writes it beside the last); segments read before it was found
// are checked as soon as it is.
class SetCheck {
 public:
  // setName: from the first segment's path; wholeName: the file name the header records.
  SetCheck(std::string setName, std::string wholeName);

  // The set is encrypted: its checksum file lists the segments only, and a full list of them is
  // a full check.
  void SegmentLinesOnly() { segmentLinesOnly_ = true; }
  // Looks for the checksum file in this folder, unless one was found already.
  void LookIn(const std::string& folder);
  // A segment file and its hash; false when it, or an earlier one, differs from its line.
  bool Segment(const std::string& fileName, const std::string& hex);
  // The verdict, given the whole file's hash (nullopt: it could not be taken).
  Verdict Finish(const std::optional<std::string>& wholeHex);
  // The verdict of a join whose segments were hashed where they stand in the rebuilt file:
  // they prove the whole file, whose line is then not needed.
  Verdict FinishFromSegments();

  bool found() const { return list_.has_value(); }
  const std::string& checksumPath() const { return path_; }
  // The first segment or file whose hash differs.
  const std::string& bad() const { return bad_; }
  // The listed hash of a file name; nullptr when there is no line for it.
  const std::string* Listed(const std::string& fileName) const;
  // A file name the list holds twice with different hashes.
  bool Conflicting(const std::string& fileName) const {
    return list_ && list_->conflicting.count(fileName) != 0;
  }
  // The whole file's line: the recorded name's, else the one line that is no segment of the set.
  const std::string* WholeLine() const;
  // The segment names the list holds for this set, in order.
  std::vector<std::string> ListedSegments() const;
  // After Finish: what was checked. complete: the set's segments hold all its data, so listed
  // segments that were not compared lie beyond its end; packed: the whole file is checked later.
  CheckAccount Account(bool complete, bool packed = false) const;

 private:
  void CheckPending();
  bool IsSegmentName(const std::string& name) const;

  std::string setName_;
  std::string wholeName_;
  std::set<std::string> searched_;
  std::optional<ChecksumList> list_;
  std::string path_;
  std::vector<std::pair<std::string, std::string>> pending_;
  std::vector<std::string> compared_;  // in the order they were read
  std::vector<std::string> matched_;
  std::vector<std::string> notListed_;
  std::vector<std::string> conflicting_;
  bool segmentLinesOnly_ = false;
  std::string bad_;
  Verdict verdict_ = Verdict::NoChecksumFile;
  CheckAccount::Whole whole_ = CheckAccount::Whole::NotChecked;
};

}  // namespace pz
