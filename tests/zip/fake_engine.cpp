// A stand-in for both engine libraries: reports a version chosen by the test, records the
// command block it receives (with the texts it points to), plays a scripted sequence of
// callbacks and returns a scripted count. Built twice, as ZIPENG.DLL and UNZENG.DLL.
#include "tests/zip/fake_engine.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/engine_abi.h"

namespace {

using namespace pz::zipabi;

struct State {
  int version = 0;  // 0: take PZ_FAKE_ENGINE_VERSION
  int result = 1;
  std::vector<FakeCall> script;
  FakeRecord record;
};

State& S() {
  static State s;
  return s;
}

int Version() {
  if (S().version != 0) return S().version;
  const char* env = std::getenv("PZ_FAKE_ENGINE_VERSION");
  return env != nullptr ? std::atoi(env) : 152;
}

std::string Text(Addr a) {
  return a != 0 ? std::string(reinterpret_cast<const char*>(a)) : "";
}

template <typename Head>
void Play(const Head& head) {
  auto cb = reinterpret_cast<EngineCallback>(head.callback);
  for (const FakeCall& c : S().script) {
    CallbackRecord r{};
    r.caller = head.caller;
    r.action = c.action;
    r.error = c.error;
    r.size = c.size;
    std::memcpy(r.text, c.text, sizeof r.text);
    const int answer = cb(&r);
    S().record.answers.push_back(answer);
    if (answer != 0) break;  // the caller asked to stop
  }
}

template <typename Block>
void Keep(const void* block, bool isZip) {
  FakeRecord& r = S().record;
  r = FakeRecord{};
  r.calls = 1;
  r.isZip = isZip;
  r.versionSeen = Version();
  r.blockSize = sizeof(Block);
  r.bytes.assign(static_cast<const unsigned char*>(block),
                 static_cast<const unsigned char*>(block) + sizeof(Block));
  const auto& b = *static_cast<const Block*>(block);
  r.archive = Text(b.head.archive);
  if (b.head.password != 0) r.password.assign(reinterpret_cast<const char*>(b.head.password), 81);
}

template <typename Old, typename New, typename Spec>
int Exec(void* block, bool isZip, int newFrom) {
  const bool old = Version() < newFrom;
  if (old) {
    Keep<Old>(block, isZip);
    const auto& b = *static_cast<const Old*>(block);
    for (int i = 0; i < b.head.count; ++i) S().record.specs.push_back(Text(b.specs[i]));
    Play(b.head);
  } else {
    Keep<New>(block, isZip);
    const auto& b = *static_cast<const New*>(block);
    const auto* specs = reinterpret_cast<const Spec*>(b.specArray);
    for (int i = 0; i < b.head.count; ++i) {
      S().record.specs.push_back(Text(specs[i].fileSpec));
      S().record.specRecordsZero &=
          std::all_of(std::begin(specs[i].reserved), std::end(specs[i].reserved),
                      [](unsigned char c) { return c == 0; });
    }
    if constexpr (std::is_same_v<New, ZipBlockNew>) S().record.tempDir = Text(b.tempDir);
    Play(b.head);
  }
  return S().result;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void FakeSetVersion(int v) {
  S().version = v;
}
__attribute__((visibility("default"))) void FakeSetResult(int n) {
  S().result = n;
}
__attribute__((visibility("default"))) void FakeSetScript(const FakeCall* calls, int n) {
  S().script.assign(calls, calls + n);
}
__attribute__((visibility("default"))) const FakeRecord* FakeLastRecord() {
  return &S().record;
}
__attribute__((visibility("default"))) void FakeReset() {
  S() = State{};
}

__attribute__((visibility("default"))) std::int32_t GetZipEngVersion() {
  return Version();
}
__attribute__((visibility("default"))) std::int32_t GetUnzEngVersion() {
  return Version();
}
__attribute__((visibility("default"))) std::int32_t ZipEngExec(void* block) {
  return Exec<ZipBlockOld, ZipBlockNew, ZipSpec>(block, true, kZipNewLayoutVersion);
}
__attribute__((visibility("default"))) std::int32_t UnzEngExec(void* block) {
  return Exec<UnzipBlockOld, UnzipBlockNew, UnzipSpec>(block, false, kUnzipNewLayoutVersion);
}
}
