// Debian's age and this program read each other's encrypted data: age decrypts the data part of
// a set this program split, and this program joins a set whose data part age wrote. age takes
// passphrases from a terminal only, so it runs on a pseudo-terminal here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/header.h"
#include "engine/segments.h"
#include "engine_fixture.h"
#include "lang/textblocks.h"
#include "platform/filehandle.h"
#include "test_support.h"

namespace pz {
namespace {

using test::PatternBytes;
using test::ReadFile;
using test::WriteFile;

constexpr const char* kAge = "/usr/bin/age";

// Runs age with args on a new terminal and types passphrase at each of its prompts; the exit
// status.
int RunAgeOnTerminal(const std::vector<std::string>& args, const std::string& passphrase) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(kAge)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(kAge, argv.data());
    ::_exit(127);
  }
  if (pid < 0) return -1;
  FileHandle terminal(master);
  std::string seen;
  std::size_t answered = 0;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 30000) <= 0) break;
    char buf[512];
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;  // the child closed its terminal
    seen.append(buf, static_cast<std::size_t>(n));
    // Each prompt names the passphrase once.
    for (std::size_t at = 0; (at = seen.find("passphrase", at)) != std::string::npos; ++at) {
      if (at < answered) continue;
      answered = at + 1;
      const std::string line = passphrase + "\r";
      if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class AgePeer : public test::EngineFixture {};

TEST_F(AgePeer, AgeDecryptsTheDataPartOfAnEncryptedSet) {
  const std::string data = PatternBytes(3 * 65536 + 123);
  WriteFile(dir / "source.bin", data);
  ui.passwords.push_back("Kennwort mit Leerzeichen");
  SplitJob job;
  job.quelle = job.quellName = dir / "source.bin";
  job.passwort = true;
  job.zielPfad = out;
  job.zielName = "source.bin";
  job.trennGroesse = 50000;  // chunks cross segment bounds
  ASSERT_TRUE(Datei_Trennen(job, ctx));

  std::string joined = ReadFile(SegmentDateiPfad(out, "source.bin", 0)).substr(kHeaderSize);
  for (std::uint16_t n = 1; test::Exists(SegmentDateiPfad(out, "source.bin", n)); ++n)
    joined += ReadFile(SegmentDateiPfad(out, "source.bin", n));
  EXPECT_EQ(joined.find(data.substr(1000, 64)), std::string::npos);  // no plaintext
  WriteFile(dir / "data.age", joined);

  EXPECT_EQ(RunAgeOnTerminal({"-d", "-o", dir / "plain.bin", dir / "data.age"}, "falsch"), 1);
  EXPECT_FALSE(test::Exists(dir / "plain.bin"));
  ASSERT_EQ(RunAgeOnTerminal({"-d", "-o", dir / "plain.bin", dir / "data.age"},
                             "Kennwort mit Leerzeichen"),
            0);
  EXPECT_EQ(ReadFile(dir / "plain.bin"), data);
}

TEST_F(AgePeer, ASetWhoseDataAgeEncryptedJoins) {
  const std::string data = PatternBytes(2 * 65536 + 9, 7);
  WriteFile(dir / "plain.bin", data);
  ASSERT_EQ(RunAgeOnTerminal({"-p", "-o", dir / "data.age", dir / "plain.bin"}, "vom Peer"), 0);
  const std::string file = ReadFile(dir / "data.age");
  ASSERT_EQ(file.rfind("age-encryption.org/v1\n-> scrypt ", 0), 0u);

  // The header of an encrypted set, recording the size of age's file, then the file in two
  // segments.
  ui.passwords.push_back("unused");
  HeaderBytes h;
  Header_Aufbauen(h, 0, {"plain.bin", false, true}, ui);
  const std::string size = std::to_string(file.size());
  h[hdr::kSizeLength.offset] = static_cast<unsigned char>('0' + size.size() / 10);
  h[hdr::kSizeLength.offset + 1] = static_cast<unsigned char>('0' + size.size() % 10);
  std::copy(size.begin(), size.end(), h.begin() + hdr::kSize.offset);
  const std::string header(h.begin(), h.end());
  WriteFile(SegmentDateiPfad(out, "plain.bin", 0), header + file.substr(0, 70000));
  WriteFile(SegmentDateiPfad(out, "plain.bin", 1), file.substr(70000));

  ui.passwords2 = {"vom peer", "vom Peer"};
  EXPECT_FALSE(
      Trennsegmente_Zusammenfuehren({SegmentDateiPfad(out, "plain.bin", 0), back, "x"}, ctx));
  EXPECT_TRUE(ui.Showed("[" + std::to_string(tb::kWrongPassword) + "]"));
  ASSERT_TRUE(
      Trennsegmente_Zusammenfuehren({SegmentDateiPfad(out, "plain.bin", 0), back, "x"}, ctx));
  EXPECT_EQ(ReadFile(back + "/x"), data);
}

}  // namespace
}  // namespace pz
