// What the fake engine library records, shared with the tests that inspect it.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

struct FakeCall {
  int action;
  int error;
  int size;
  char text[512];
};

struct FakeRecord {
  int calls = 0;
  bool isZip = false;
  int versionSeen = 0;
  std::size_t blockSize = 0;
  std::vector<unsigned char> bytes;  // the block as received
  std::string archive;
  std::string password;  // all 81 bytes of the buffer
  std::string tempDir;
  std::vector<std::string> specs;
  bool specRecordsZero = true;
  std::vector<int> answers;  // what the callback returned, call by call
};

extern "C" {
using FakeSetVersionFn = void (*)(int);
using FakeSetResultFn = void (*)(int);
using FakeSetScriptFn = void (*)(const FakeCall*, int);
using FakeLastRecordFn = const FakeRecord* (*)();
using FakeResetFn = void (*)();
}
