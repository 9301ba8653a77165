// Recovery files made and used: round trips through loss and damage, the counts when there is
// too little, a cancelled creation, and Debian's par2 as the independent peer both ways.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "platform/filehandle.h"
#include "platform/os.h"
#include "recovery/recoveryset.h"
#include "test_support.h"

namespace pz::recovery {
namespace {

using pz::test::TempDir;

struct Built {
  std::vector<std::string> names;
  std::vector<std::string> contents;
  Plan plan;
};

// Files of the given sizes in the folder, and their recovery files at percent.
Built MakeSet(const TempDir& dir, const std::vector<std::size_t>& sizes, int percent) {
  Built b;
  std::vector<InputFile> inputs;
  std::vector<std::uint64_t> lengths;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    b.names.push_back("data.PZX00" + std::to_string(i));
    b.contents.push_back(test::PatternBytes(sizes[i], static_cast<std::uint32_t>(i + 3)));
    test::WriteFile(dir / b.names.back(), b.contents.back());
    inputs.push_back({dir / b.names.back(), b.names.back()});
    lengths.push_back(sizes[i]);
  }
  b.plan = PlanFor(lengths, percent);
  CreateRecovery(inputs, dir.path(), "data.PZX", b.plan, {});
  return b;
}

std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> names;
  const DirHandle d(::opendir(folder.c_str()));
  while (const dirent* e = ::readdir(d.get())) {
    if (e->d_name[0] != '.') names.insert(e->d_name);
  }
  return names;
}

void Damage(const std::string& path, std::size_t at, std::size_t n) {
  std::string bytes = test::ReadFile(path);
  for (std::size_t i = at; i < at + n && i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(~bytes[i]);
  test::WriteFile(path, bytes);
}

TEST(Plan, TheDefaultRebuildsAWholeSegment) {
  struct Row {
    std::vector<std::uint64_t> sizes;
  };
  const Row rows[] = {
      {{100000000, 100000000, 100000000, 100000000, 100000000, 100000000, 100000000, 100000000,
        100000000, 100000000, 73741824}},
      {{1457664, 1457664, 500000}},
      {{1025}},
      {std::vector<std::uint64_t>(1000, 362496)},
  };
  for (const Row& r : rows) {
    const Plan p = PlanFor(r.sizes, kDefaultPercent);
    EXPECT_GE(p.wholeFiles, 1U) << r.sizes.size();
    EXPECT_EQ(p.sliceSize % 4, 0U);
    EXPECT_LE(p.inputSlices, par2::kMaxSlices);
  }
}

TEST(Roundtrip, LostAndDamagedFilesAreRebuilt) {
  struct Row {
    const char* what;
    std::vector<std::size_t> sizes;
    int percent;
    std::vector<std::size_t> lost;                             // files removed
    std::vector<std::pair<std::size_t, std::size_t>> damaged;  // file, offset of 100 bytes
  };
  const Row rows[] = {
      {"one byte, lost", {1}, 10, {0}, {}},
      {"one file, lost", {50000}, 10, {0}, {}},
      {"the last shorter than a slice", {40000, 40000, 40000, 1001}, 30, {3}, {}},
      {"one of several lost", {40000, 40000, 40000, 40000, 40000, 12345}, 20, {2}, {}},
      {"several lost", {30000, 30000, 30000, 30000, 30000, 30000, 30000, 30000}, 30, {1, 6}, {}},
      {"damaged bytes inside", {40000, 40000, 40000, 9999}, 25, {}, {{1, 20000}}},
      {"the first one's header damaged", {40000, 40000, 40000, 40000}, 25, {}, {{0, 0}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const TempDir dir;
    const Built b = MakeSet(dir, r.sizes, r.percent);
    for (std::size_t f : r.lost) ASSERT_TRUE(DeleteFile(dir / b.names[f]));
    for (const auto& [f, at] : r.damaged) Damage(dir / b.names[f], at, 100);
    const Examination exam = Examine(dir / "data.PZX.par2", {dir.path()}, {});
    ASSERT_TRUE(exam.found);
    EXPECT_FALSE(exam.Intact());
    ASSERT_TRUE(exam.Repairable()) << exam.MissingSlices() << " of " << exam.RecoverySlices();
    const auto rebuilt = Repair(exam, dir.path(), {});
    EXPECT_EQ(rebuilt.size(), r.lost.size() + r.damaged.size());
    for (std::size_t i = 0; i < b.names.size(); ++i)
      EXPECT_EQ(test::ReadFile(dir / b.names[i]), b.contents[i]) << b.names[i];
    EXPECT_TRUE(Examine(dir / "data.PZX.par2", {dir.path()}, {}).Intact());
  }
}

TEST(Roundtrip, TooLittleRecoveryDataIsRefusedWithTheCounts) {
  const TempDir dir;
  const Built b =
      MakeSet(dir, {40000, 40000, 40000, 40000, 40000, 40000, 40000, 40000, 40000, 40000, 40000},
              kDefaultPercent);
  for (std::size_t f : {0, 4, 9}) ASSERT_TRUE(DeleteFile(dir / b.names[f]));
  const Examination exam = Examine(dir / "data.PZX.par2", {dir.path()}, {});
  ASSERT_TRUE(exam.found);
  EXPECT_FALSE(exam.Repairable());
  EXPECT_EQ(exam.RecoverySlices(), b.plan.recoverySlices);
  EXPECT_EQ(exam.MissingSlices(), 3 * (b.plan.inputSlices / 11));
  EXPECT_THROW(Repair(exam, dir.path(), {}), RecoveryError);
  EXPECT_FALSE(test::Exists(dir / b.names[0]));
}

TEST(Create, ACancelledCreationLeavesNothing) {
  const TempDir dir;
  std::vector<InputFile> inputs;
  for (int i = 0; i < 4; ++i) {
    const std::string name = "c.PZX00" + std::to_string(i);
    test::WriteFile(dir / name, test::PatternBytes(3 << 20, static_cast<std::uint32_t>(i)));
    inputs.push_back({dir / name, name});
  }
  const auto before = Listing(dir.path());
  const Plan plan = PlanFor({3 << 20, 3 << 20, 3 << 20, 3 << 20}, 50);
  struct Cancelled {};
  EXPECT_THROW(CreateRecovery(inputs, dir.path(), "c.PZX", plan,
                              [](std::int64_t done, std::int64_t) {
                                if (done > 0) throw Cancelled{};
                              }),
               Cancelled);
  EXPECT_EQ(Listing(dir.path()), before);
}

// Debian's par2, the independent peer.
std::string Par2() {
  return FileExists("/usr/bin/par2") ? "/usr/bin/par2" : "";
}

TEST(Par2Peer, Par2VerifiesAndRepairsOurFiles) {
  if (Par2().empty()) GTEST_SKIP() << "par2 is not installed";
  const TempDir dir;
  const Built b =
      MakeSet(dir, {60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 7777},
              kDefaultPercent);
  const auto verify = test::RunProcess(Par2(), {"verify", "-q", dir / "data.PZX.par2"}, {});
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  ASSERT_TRUE(DeleteFile(dir / b.names[3]));
  Damage(dir / b.names[0], 10, 10);
  const auto repair = test::RunProcess(Par2(), {"repair", "-q", dir / "data.PZX.par2"}, {});
  EXPECT_EQ(repair.status, 0) << repair.out << repair.err;
  EXPECT_EQ(test::ReadFile(dir / b.names[3]), b.contents[3]);
  EXPECT_EQ(test::ReadFile(dir / b.names[0]), b.contents[0]);
}

TEST(Par2Peer, WeRepairWhatPar2Created) {
  if (Par2().empty()) GTEST_SKIP() << "par2 is not installed";
  const TempDir dir;
  std::vector<std::string> args{"create", "-q", "-s8000", "-r20", dir / "set.par2"};
  std::vector<std::string> contents;
  for (int i = 0; i < 6; ++i) {
    contents.push_back(test::PatternBytes(30000 + static_cast<std::size_t>(i) * 1111,
                                          static_cast<std::uint32_t>(i + 9)));
    test::WriteFile(dir / ("f" + std::to_string(i)), contents.back());
    args.push_back(dir / ("f" + std::to_string(i)));
  }
  const auto create = test::RunProcess(Par2(), args, {});
  ASSERT_EQ(create.status, 0) << create.out << create.err;
  ASSERT_TRUE(DeleteFile(dir / "f2"));
  Damage(dir / "f5", 100, 50);
  const Examination exam = Examine(dir / "set.par2", {dir.path()}, {});
  ASSERT_TRUE(exam.found);
  ASSERT_TRUE(exam.Repairable());
  EXPECT_EQ(Repair(exam, dir.path(), {}).size(), 2U);
  EXPECT_EQ(test::ReadFile(dir / "f2"), contents[2]);
  EXPECT_EQ(test::ReadFile(dir / "f5"), contents[5]);
}

}  // namespace
}  // namespace pz::recovery
