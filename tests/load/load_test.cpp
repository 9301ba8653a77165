// Sizes at every edge, up to just under 2 GiB, through the command-line program, with the
// memory it needs measured: it must not grow with the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>

#include "engine/segments.h"
#include "load_support.h"
#include "test_support.h"

namespace pz {
namespace {

using test::PatternBytes;
using test::ReadFile;
using test::SizeOf;
using test::WriteFile;

using test::FreeBytes;
using test::kMemoryLimitKb;

test::ProcessResult RunCli(const std::vector<std::string>& args) {
  test::ProcessOptions o;
  o.env = {{"LANG", "C"}, {"LC_ALL", ""}};
  return test::RunProcess(PZ_CLI, args, o);
}

TEST(Load, EverySizeEdgeOfEveryPreset) {
  test::TempDir dir;
  if (FreeBytes(dir.path()) < (std::int64_t{1} << 30)) GTEST_SKIP() << "not enough disk space";
  for (const auto& preset : kPresets) {
    if (preset.preset == SizePreset::Auto) continue;
    const std::int64_t p = preset.bytes;
    for (std::int64_t size :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{1023}, std::int64_t{1024},
          std::int64_t{1025}, p - 1025, p - 1024, p - 1023, p, p + 1, 2 * p - 1024, 2 * p - 1023}) {
      SCOPED_TRACE(std::string(preset.cliName) + " " + std::to_string(size));
      const std::string source = dir / "data.bin";
      const std::string out = dir.Sub("out"), back = dir.Sub("back");
      const std::string data =
          PatternBytes(static_cast<std::size_t>(size), static_cast<std::uint32_t>(size));
      WriteFile(source, data);
      auto r = RunCli({"split", source, "--to", out, "--size", preset.cliName, "--quiet"});
      ASSERT_EQ(r.status, 0) << r.err;
      const std::int64_t count = Anzahl_Trennungen_Berechnen(p, size);
      EXPECT_EQ(SizeOf(out + "/data.bin." + Segment_Endung(static_cast<std::uint16_t>(count - 1))),
                size + 1024 - (count - 1) * p);
      EXPECT_EQ(SizeOf(out + "/data.bin." + Segment_Endung(static_cast<std::uint16_t>(count))), -1);
      r = RunCli({"join", out + "/data.bin.PZX000", "--to", back, "--quiet"});
      ASSERT_EQ(r.status, 0) << r.err;
      ASSERT_EQ(ReadFile(back + "/data.bin"), data);
      std::filesystem::remove_all(out);
      std::filesystem::remove_all(back);
    }
  }
}

TEST(Load, JustUnderTwoGibibytesInConstantMemory) {
  test::TempDir dir;
  const std::int64_t size = 2147483647;  // the largest size the header holds
  if (FreeBytes(dir.path()) < 3 * size + (std::int64_t{1} << 30)) {
    GTEST_SKIP() << "not enough disk space for three copies of 2 GiB";
  }
  const std::string source = dir / "big.bin";
  {
    // Distinct bytes at the start, the end and every segment edge; zeros between (sparse).
    WriteFile(source, "");
    ASSERT_EQ(truncate(source.c_str(), size), 0);
    FILE* f = fopen(source.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    for (std::int64_t at = 0; at < size; at += 100431872 - 7) {
      fseeko(f, at, SEEK_SET);
      const std::string mark = PatternBytes(16, static_cast<std::uint32_t>(at));
      fwrite(mark.data(), 1, std::min<std::int64_t>(16, size - at), f);
    }
    fseeko(f, size - 5, SEEK_SET);
    fwrite("tail!", 1, 5, f);
    fclose(f);
  }
  const std::string out = dir.Sub("out"), back = dir.Sub("back");
  auto r = RunCli({"split", source, "--to", out, "--size", "100M", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_LT(r.maxRssKb, kMemoryLimitKb);
  std::cout << "split peak memory: " << r.maxRssKb << " KiB\n";
  EXPECT_EQ(SizeOf(out + "/big.bin.PZX021"), size + 1024 - 21 * 100431872);
  // The largest size that readers of the 2001 format take needs no note about the version.
  r = RunCli({"info", out + "/big.bin.PZX000"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2147483647 / 2147483647"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Parzello 1.2"), std::string::npos) << r.out;
  r = RunCli({"join", out + "/big.bin.PZX000", "--to", back, "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_LT(r.maxRssKb, kMemoryLimitKb);
  std::cout << "join peak memory: " << r.maxRssKb << " KiB\n";
  std::filesystem::remove_all(out);
  r = test::RunProcess("/usr/bin/cmp", {source, back + "/big.bin"}, {});
  EXPECT_EQ(r.status, 0) << r.out;
}

}  // namespace
}  // namespace pz
