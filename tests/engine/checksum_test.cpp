// Joins that never leave a partial file, and checksum files beside the segments.
#include "engine/checksum.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/segments.h"
#include "engine_fixture.h"
#include "lang/textblocks.h"
#include "platform/filehandle.h"
#include "test_support.h"

namespace pz {
namespace {

using test::Exists;
using test::PatternBytes;
using test::ReadFile;
using test::WriteFile;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* d = ::opendir(folder.c_str());
  while (dirent* e = d != nullptr ? ::readdir(d) : nullptr) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  if (d != nullptr) ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// sha256sum -c --ignore-missing in a folder: its exit status and report.
test::ProcessResult Sha256sumCheck(const std::string& folder, const std::string& sums) {
  test::ProcessOptions o;
  o.cwd = folder;
  return test::RunProcess("/usr/bin/sha256sum", {"-c", "--ignore-missing", sums}, o);
}

class Checksums : public test::EngineFixture {
 protected:
  bool Split(const std::string& bytes, std::int64_t size, const std::string& folder = "") {
    WriteFile(dir / "film.avi", bytes);
    SplitJob job{dir / "film.avi",
                 dir / "film.avi",
                 false,
                 false,
                 folder.empty() ? out : folder,
                 "film.avi",
                 size,
                 false};
    return Datei_Trennen(job, ctx);
  }
  // Replacing allowed: what these cases check is that a failed join keeps the file it would
  // replace.
  bool Join(const std::string& first, const std::string& name = "film.avi") {
    return Trennsegmente_Zusammenfuehren({first, back, name, true}, ctx, &report);
  }
  std::string Seg(int n, const std::string& folder = "") const {
    return SegmentDateiPfad(folder.empty() ? out : folder, "film.avi",
                            static_cast<std::uint16_t>(n));
  }
  std::string Sums(const std::string& folder = "") const {
    return (folder.empty() ? out : folder) + "/film.avi.PZX.sha256";
  }

  JoinReport report;
  std::string data = PatternBytes(10000);
};

TEST_F(Checksums, FailedJoinLeavesAnExistingFileAndNoPartialOne) {
  ASSERT_TRUE(Split(data, 3000));
  WriteFile(back + "/film.avi", "the user's own file");

  // Cancelled at a missing segment.
  ASSERT_EQ(std::rename(Seg(2).c_str(), (dir / "away").c_str()), 0);
  // While the join waits at the prompt, its output stands beside the file under a name that
  // says it is partial, readable by the owner only.
  std::string partial;
  ui.volumes.push_back({false, "", [&] {
                          const std::vector<std::string> names = Names(back);
                          ASSERT_EQ(names.size(), 2u);
                          partial = names[1];
                          struct stat st {};
                          ASSERT_EQ(::stat((back + "/" + partial).c_str(), &st), 0);
                          EXPECT_EQ(st.st_mode & 0777, 0600u);
                        }});
  EXPECT_FALSE(Join(Seg(0)));
  EXPECT_EQ(partial.rfind("film.avi.partial-", 0), 0u) << partial;
  EXPECT_TRUE(report.partialRemoved);
  EXPECT_NE(JoinReportText(report, false, texts).find("[175]"), std::string::npos);
  EXPECT_EQ(ReadFile(back + "/film.avi"), "the user's own file");
  EXPECT_EQ(Names(back), std::vector<std::string>{"film.avi"});

  // Once every segment is there, the result replaces the file and keeps its permissions.
  ASSERT_EQ(std::rename((dir / "away").c_str(), Seg(2).c_str()), 0);
  ASSERT_EQ(::chmod((back + "/film.avi").c_str(), 0640), 0);
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(ReadFile(back + "/film.avi"), data);
  EXPECT_EQ(Names(back), std::vector<std::string>{"film.avi"});
  struct stat st {};
  ASSERT_EQ(::stat((back + "/film.avi").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Checksums, SplitWritesSha256sumFilesThatTheJoinVerifies) {
  ASSERT_TRUE(Split(data, 3000));
  ASSERT_TRUE(Exists(Sums()));
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::Verified);
  EXPECT_EQ(ReadFile(back + "/film.avi"), data);
  EXPECT_EQ(JoinReportText(report, true, texts), "[170]");

  // coreutils accepts the pieces in their folder and the rebuilt file in its own.
  test::ProcessResult r = Sha256sumCheck(out, Sums());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("film.avi.PZX003: OK"), std::string::npos) << r.out;
  r = Sha256sumCheck(back, Sums());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("film.avi: OK"), std::string::npos) << r.out;

  // Without the checksum file the join works as before and says it could not verify.
  std::remove(Sums().c_str());
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::NoChecksumFile);
  EXPECT_EQ(JoinReportText(report, true, texts), "[171]");
}

TEST_F(Checksums, AutomaticSplitKeepsItBesideTheLastSegmentWhereTheJoinFindsIt) {
  const std::string v1 = dir.Sub("v1"), v2 = dir.Sub("v2"), v3 = dir.Sub("v3");
  std::map<std::string, std::int64_t> free{{v1, 5000}, {v2, 3000}, {v3, 1 << 20}};
  ctx.freeSpace = [&](const std::string& f) { return free.count(f) ? free[f] : -1; };
  WriteFile(Sums(v1), "stale file of an earlier split\n");
  ui.volumes = {{true, v2, nullptr}, {true, v3, nullptr}};
  WriteFile(dir / "film.avi", data);
  SplitJob job{dir / "film.avi", dir / "film.avi", false, false, v1, "film.avi", 0, true};
  ASSERT_TRUE(Datei_Trennen(job, ctx));
  EXPECT_FALSE(Exists(Sums(v1)));  // outdated by the new segment beside it
  EXPECT_FALSE(Exists(Sums(v2)));
  ASSERT_TRUE(Exists(Sums(v3)));

  // The join meets the checksum file only with the last segment and checks the earlier ones
  // then: a damaged first segment is still found.
  std::string first = ReadFile(Seg(0, v1));
  first[2000] ^= 1;
  WriteFile(Seg(0, v1), first);
  ui.volumes = {{true, Seg(1, v2), nullptr}, {true, Seg(2, v3), nullptr}};
  EXPECT_FALSE(Join(Seg(0, v1)));
  EXPECT_EQ(report.verdict, Verdict::SegmentDiffers);
  EXPECT_EQ(report.bad, "film.avi.PZX000");

  first[2000] ^= 1;
  WriteFile(Seg(0, v1), first);
  ui.volumes = {{true, Seg(1, v2), nullptr}, {true, Seg(2, v3), nullptr}};
  ASSERT_TRUE(Join(Seg(0, v1)));
  EXPECT_EQ(report.verdict, Verdict::Verified);
}

TEST_F(Checksums, FirstBadSegmentIsNamedAndNothingIsKept) {
  ASSERT_TRUE(Split(data, 3000));
  WriteFile(back + "/film.avi", "old");

  // A flipped byte in a middle segment.
  std::string middle = ReadFile(Seg(2));
  middle[100] ^= 0x20;
  WriteFile(Seg(2), middle);
  EXPECT_FALSE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::SegmentDiffers);
  EXPECT_EQ(report.bad, "film.avi.PZX002");
  EXPECT_EQ(JoinReportText(report, false, texts), "[173] \"film.avi.PZX002\"\n[175]");
  EXPECT_EQ(Names(back), std::vector<std::string>{"film.avi"});
  EXPECT_EQ(ReadFile(back + "/film.avi"), "old");

  // A segment of the same size from another split of a file of the same size.
  middle[100] ^= 0x20;
  WriteFile(Seg(2), middle);
  const std::string other = dir.Sub("other");
  ASSERT_TRUE(Split(PatternBytes(10000, 7), 3000, other));
  ASSERT_EQ(std::rename(Seg(1, other).c_str(), Seg(1).c_str()), 0);
  EXPECT_FALSE(Join(Seg(0)));
  EXPECT_EQ(report.bad, "film.avi.PZX001");
  EXPECT_EQ(ReadFile(back + "/film.avi"), "old");
}

TEST_F(Checksums, DamagedOrHostileChecksumFilesNeverVerifyAndAreNeverFollowed) {
  ASSERT_TRUE(Split(data, 3000));
  const std::string good = ReadFile(Sums());

  // Cut short in the middle of a line: what is left still catches nothing wrong, but the join
  // does not claim to have verified, and says what it could and could not check.
  WriteFile(Sums(), good.substr(0, good.size() / 2));
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::Incomplete);
  EXPECT_EQ(JoinReportText(report, true, texts),
            "[172]\n[203] 2 / 4\n[204] \"film.avi.PZX002\" \"film.avi.PZX003\"\n[210] 3");
  EXPECT_EQ(ReadFile(back + "/film.avi"), data);

  // Lines that name files outside the folder are passed over; lines of the set still count.
  const std::string outside = dir / "secret";
  WriteFile(outside, "secret");
  const std::string zero(64, '0');
  WriteFile(Sums(), good + ChecksumLine(zero, "../secret") + ChecksumLine(zero, outside) +
                        ChecksumLine(zero, "a/b") + ChecksumLine(zero, "..") +
                        ChecksumLine(zero, "bell\a\x1b[2J"));
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::Verified);
  const VerifyReport v = Trennsegmente_Pruefen(Seg(0), ctx);
  EXPECT_TRUE(v.allGood);
  for (const SegmentVerdict& s : v.segments)
    EXPECT_EQ(s.path.rfind(out + "/film.avi.PZX", 0), 0u) << s.path;
  EXPECT_EQ(ReadFile(outside), "secret");

  // Lines that contradict the set: the whole file's line against matching segment lines, and a
  // second, different line for a segment (a name listed twice with different hashes is checked
  // against neither line, so the join is done but not verified).
  // verify, which hashes the whole file, never calls them all good; the join, whose segment
  // lines prove the rebuilt file, judges the segment lines.
  struct Contradiction {
    const char* what;
    std::string text;
    bool verifies;
    std::optional<Verdict> join;  // nullopt: the join's verdict is not at stake
  };
  std::string wholeChanged = good;
  const std::size_t wholeAt = wholeChanged.rfind("  film.avi\n") - 64;
  wholeChanged[wholeAt] = wholeChanged[wholeAt] == '0' ? '1' : '0';
  const std::string segmentLine = good.substr(0, good.find('\n') + 1);
  const std::string other = ChecksumLine(zero, "film.avi.PZX000");
  for (const Contradiction& c :
       {Contradiction{"whole file", wholeChanged, false, std::nullopt},
        Contradiction{"duplicate after", good + other, false, Verdict::Incomplete},
        Contradiction{"duplicate before", other + good, false, Verdict::Incomplete},
        Contradiction{"same line twice", good + segmentLine, true, Verdict::Verified}}) {
    SCOPED_TRACE(c.what);
    WriteFile(Sums(), c.text);
    const VerifyReport checked = Trennsegmente_Pruefen(Seg(0), ctx);
    EXPECT_EQ(checked.allGood, c.verifies);
    if (!c.join) continue;
    std::remove((back + "/film.avi").c_str());
    const bool joins = *c.join != Verdict::SegmentDiffers;
    EXPECT_EQ(Join(Seg(0)), joins);
    EXPECT_EQ(report.verdict, *c.join);
    EXPECT_EQ(Exists(back + "/film.avi"), joins);
  }

  const ChecksumList list = ParseChecksumText(
      ChecksumLine(zero, "../x") + ChecksumLine(zero, "/etc/passwd") + "\\" + zero + "  a\\qb\n");
  EXPECT_TRUE(list.hashes.empty());
  EXPECT_TRUE(list.damaged);  // "\q" is no escape sha256sum writes
}

TEST_F(Checksums, NamesThatSha256sumEscapesReadBackAsWritten) {
  const std::string names[] = {"back\\slash", "new\nline", "car\rriage", "plain name"};
  std::string text;
  for (const std::string& name : names) {
    WriteFile(dir / name, name);
    text += ChecksumLine(*HashFile(dir / name), name);
  }
  // Exactly what coreutils writes for the same files.
  test::ProcessOptions o;
  o.cwd = dir.path();
  const test::ProcessResult r =
      test::RunProcess("/usr/bin/sha256sum", {names[0], names[1], names[2], names[3]}, o);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(text, r.out);
  const ChecksumList list = ParseChecksumText(r.out);
  EXPECT_FALSE(list.damaged);
  for (const std::string& name : names) EXPECT_EQ(list.hashes.at(name), *HashFile(dir / name));
}

// What "sha256sum -c" makes of a checksum file: the names it checks, whether each matched, and
// how many lines it calls improperly formatted. Names it prints escaped are decoded.
struct PeerReading {
  std::map<std::string, bool> checked;  // name -> matched
  std::size_t improper = 0;
};

PeerReading Sha256sumReading(const std::string& folder, const std::string& text) {
  WriteFile(folder + "/sums", text);
  test::ProcessOptions o;
  o.cwd = folder;
  const test::ProcessResult r = test::RunProcess("/usr/bin/sha256sum", {"-c", "sums"}, o);
  PeerReading peer;
  std::size_t start = 0;
  for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = r.out.substr(start, end - start);
    const std::size_t colon = line.rfind(": ");
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    if (!name.empty() && name[0] == '\\') {
      std::string plain;
      for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
          ++i;
          plain += name[i] == 'n' ? '\n' : name[i] == 'r' ? '\r' : name[i];
        } else {
          plain += name[i];
        }
      }
      name = plain;
    }
    peer.checked[name] = line.substr(colon + 2) == "OK";
  }
  // "sha256sum: WARNING: 2 lines are improperly formatted"
  const std::size_t improper = r.err.find(" improperly formatted");
  const std::size_t warn = r.err.rfind("WARNING: ", improper);
  if (improper != std::string::npos && warn != std::string::npos)
    peer.improper = std::stoul(r.err.substr(warn + 9));
  return peer;
}

// Anything coreutils accepts is accepted, and what it refuses is counted as unreadable.
TEST_F(Checksums, ChecksumFilesAreReadAsSha256sumReadsThem) {
  const std::string folder = dir.Sub("peer");
  const std::string names[] = {"film.avi.PZX000", "film.avi.PZX001", "back\\slash", "two  spaces"};
  std::map<std::string, std::string> h;
  for (const std::string& name : names) {
    WriteFile(folder + "/" + name, "bytes of " + name);
    h[name] = *HashFile(folder + "/" + name);
  }
  const std::string h0 = h["film.avi.PZX000"], h1 = h["film.avi.PZX001"];
  std::string upper = h0;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string zero(64, '0');
  struct Case {
    const char* what;
    std::string text;
    std::size_t names;       // names read
    std::size_t unreadable;  // lines refused
  };
  const Case cases[] = {
      {"as written", h0 + "  film.avi.PZX000\n" + h1 + "  film.avi.PZX001\n", 2, 0},
      {"CRLF", h0 + "  film.avi.PZX000\r\n" + h1 + "  film.avi.PZX001\r\n", 2, 0},
      {"no final line end", h0 + "  film.avi.PZX000\n" + h1 + "  film.avi.PZX001", 2, 0},
      {"blank lines, comments",
       "\n# made by hand\n" + h0 + "  film.avi.PZX000\n\r\n#" + h1 + "  film.avi.PZX001\n", 1, 0},
      {"tagged", "SHA256 (film.avi.PZX000) = " + h0 + "\nSHA256(film.avi.PZX001)=" + h1 + "\n", 2,
       0},
      {"tagged, CRLF, no final line end",
       "SHA256 (film.avi.PZX000) = " + h0 + "\r\nSHA256 (film.avi.PZX001) = " + h1, 2, 0},
      {"binary mark, capitals", h0 + " *film.avi.PZX000\n" + upper + "  film.avi.PZX000\n", 1, 0},
      {"escaped names",
       "\\" + h["back\\slash"] + "  back\\\\slash\n\\SHA256 (back\\\\slash) = " + h["back\\slash"] +
           "\n",
       1, 0},
      {"blanks before, tab after the hash", "  " + h0 + "\t film.avi.PZX000\n", 1, 0},
      {"name with two spaces", h["two  spaces"] + "  two  spaces\n", 1, 0},
      {"BSD order", h0 + " film.avi.PZX000\n" + h1 + " film.avi.PZX001\n", 2, 0},
      {"forms mixed", h0 + "  film.avi.PZX000\n" + h1 + " film.avi.PZX001\n", 1, 1},
      {"a wrong hash still counts as read", zero + "  film.avi.PZX000\n", 1, 0},
      {"not lines",
       "no checksum here\n" + h0.substr(0, 60) + "  film.avi.PZX000\n #" + h1 +
           "  film.avi.PZX001\nSHA256 (film.avi.PZX001) = " + h1 + " \n" + h0 +
           "  film.avi.PZX000\n",
       1, 4},
      {"bad escape, cut tag",
       "\\" + h0 + "  a\\qb\nSHA256 (film.avi.PZX000 = " + h0 + "\n" + h1 + "  film.avi.PZX001\n",
       1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChecksumList list = ParseChecksumText(c.text);
    const PeerReading peer = Sha256sumReading(folder, c.text);
    std::map<std::string, bool> ours;
    for (const auto& [name, hex] : list.hashes) ours[name] = h.count(name) && h[name] == hex;
    EXPECT_EQ(ours, peer.checked);
    EXPECT_EQ(list.unreadable.size(), peer.improper);
    EXPECT_EQ(ours.size(), c.names);
    EXPECT_EQ(list.unreadable.size(), c.unreadable);
  }
}

TEST_F(Checksums, PackedSetIsCheckedAgainstTheFileItselfOnceUnpacked) {
  // The split cuts an archive, but the whole file's line is that of the packed file.
  const std::string archive = dir / "archive.bin";
  WriteFile(archive, PatternBytes(5000, 3));
  WriteFile(dir / "film.avi", data);
  SplitJob job{archive, dir / "film.avi", true, false, out, "film.avi", 3000, false};
  ASSERT_TRUE(Datei_Trennen(job, ctx));
  EXPECT_NE(ReadFile(Sums()).find(*HashFile(dir / "film.avi") + "  film.avi\n"), std::string::npos);
  // That hash runs beside the cut and gives up when the split ends early.
  std::stop_source stop;
  stop.request_stop();
  errno = 0;
  EXPECT_FALSE(HashFile(dir / "film.avi", stop.get_token()));
  EXPECT_EQ(errno, ECANCELED);

  std::string unpacked = data;
  ctx.dekomprimieren = [&](const std::string&, const std::string& folder, const std::string&) {
    WriteFile(folder + "/film.avi", unpacked);
    return true;
  };
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::Verified);

  std::remove((back + "/film.avi").c_str());
  unpacked[7] ^= 1;
  EXPECT_FALSE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::WholeDiffers);
  EXPECT_FALSE(Exists(back + "/film.avi"));
}

TEST_F(Checksums, JoinHashesEachSegmentWhereItStandsInTheRebuiltFile) {
  // Five segments as a join lays them out, except that the copy put the third a byte too far
  // on: it still matches its own line, but not where it belongs, and neither does the fourth.
  const std::string header = "HEADER";
  std::vector<std::string> parts;
  for (std::uint32_t n = 1; n <= 5; ++n) parts.push_back(PatternBytes(n * 70001, n));
  WriteFile(dir / "joined", parts[0] + parts[1] + "?" + parts[2] + parts[3] + parts[4]);
  const std::vector<bool> inPlace = {true, true, false, false, false};
  FileHandle joined(::open((dir / "joined").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(joined.valid());

  SegmentHashes hashes(2);
  std::vector<SegmentHashes::Done> done;
  std::int64_t offset = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (hashes.owed() == hashes.threads()) done.push_back(hashes.Oldest());
    hashes.Begin("seg" + std::to_string(i), joined.get(), offset, header.data(),
                 i == 0 ? header.size() : 0);
    // In runs, as the kernel copies them.
    const auto size = static_cast<std::int64_t>(parts[i].size());
    hashes.Add(size / 3);
    hashes.Add(size - size / 3);
    offset += size;
  }
  while (hashes.owed() > 0) done.push_back(hashes.Oldest());

  ASSERT_EQ(done.size(), parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(i);
    Sha256 own;
    if (i == 0) own.Update(header.data(), header.size());
    own.Update(parts[i].data(), parts[i].size());
    EXPECT_EQ(done[i].name, "seg" + std::to_string(i));  // oldest first
    EXPECT_EQ(done[i].error, 0);
    EXPECT_EQ(done[i].hex == own.Hex(), inPlace[i]);
  }

  // A segment whose place lies past the end of the file cannot be read there.
  hashes.Begin("beyond", joined.get(), offset + 10, nullptr, 0);
  hashes.Add(100);
  EXPECT_EQ(hashes.Oldest().error, EIO);
}

TEST_F(Checksums, ChecksumFileThatCannotBeWrittenIsAWarningOnly) {
  ASSERT_EQ(::mkdir(Sums().c_str(), 0700), 0);  // its name is taken by a folder
  ASSERT_TRUE(Split(data, 3000));
  EXPECT_TRUE(ui.Showed("[" + std::to_string(tb::kChecksumWriteFailed) + "]"));
  EXPECT_EQ(Names(out).size(), 5u);  // four segments and the folder, no partial file
  ASSERT_TRUE(Join(Seg(0)));
  EXPECT_EQ(report.verdict, Verdict::NoChecksumFile);
}

}  // namespace
}  // namespace pz
