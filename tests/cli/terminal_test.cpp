// The terminal's side of the engine's questions, with a clock of the test's own.
#include "cli/terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "test_support.h"

namespace pz {
namespace {

using Clock = TerminalInteraction::Clock;
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The time spent answering a prompt is not work: the rate counts only the seconds around it.
TEST(Terminal, TimeAtAPromptDoesNotCountAsWork) {
  const std::function<void(TerminalInteraction&)> prompts[] = {
      [](TerminalInteraction& t) {
        std::string path = "/stick/film.avi.PZX001";
        t.Datentraeger_Anfordern(path);
      },
      [](TerminalInteraction& t) { t.Passwort2_Abfragen(); },
      [](TerminalInteraction& t) { t.Passwort_Abfragen(); },
  };
  for (const auto& prompt : prompts) {
    test::BlockNumbers texts;
    char answer[] = "geheim\ngeheim\n";
    File in(fmemopen(answer, sizeof answer - 1, "r"), &std::fclose);
    File err(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(in && err);
    TerminalInteraction t(texts, in.get(), err.get());
    // Work starts at 0 s, the prompt is shown at 10 s and answered at 70 s; now it is 72 s.
    std::deque<int> seconds = {0, 10, 70, 72};
    t.SetClock([&seconds] {
      const int s = seconds.empty() ? 1000 : seconds.front();
      if (!seconds.empty()) seconds.pop_front();
      return Clock::time_point(std::chrono::seconds(s));
    });
    t.StatusText("busy");
    prompt(t);
    EXPECT_DOUBLE_EQ(t.WorkSeconds(), 12.0);
    EXPECT_TRUE(seconds.empty());
  }
}

}  // namespace
}  // namespace pz
