// The GF(2^16) multiply-add on one core, per kernel the processor runs, and making recovery files
// for given files directly (the split's last step, without the split before it).
// Usage: pz_recovery_bench kernels
//        pz_recovery_bench create PERCENT FOLDER BASE FILE...   (prints the input block count)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os.h"
#include "recovery/gf16.h"
#include "recovery/recoveryset.h"

namespace {

int Kernels() {
  constexpr std::size_t kRegion = 64U << 10;  // stays in the first caches: the kernel alone
  std::vector<std::uint8_t> src(kRegion, 0x5A);
  std::vector<std::uint8_t> dst(kRegion, 0xA5);
  for (std::size_t k = 0; k < pz::gf::KernelCount(); ++k) {
    const auto& kernel = pz::gf::KernelAt(k);
    if (!kernel.supported()) continue;
    std::size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    for (std::uint16_t c = 2; seconds < 0.5; ++c) {
      for (int i = 0; i < 64; ++i) kernel.fn(dst.data(), src.data(), kRegion, c);
      bytes += 64 * kRegion;
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::printf("multiply-add %-8s %6.2f GB/s per core%s\n", std::string(kernel.name).c_str(),
                static_cast<double>(bytes) / seconds / 1e9,
                &kernel == &pz::gf::BestKernel() ? "  (chosen)" : "");
  }
  return 0;
}

int Create(int argc, char** argv) {
  const int percent = std::atoi(argv[2]);
  std::vector<pz::recovery::InputFile> inputs;
  std::vector<std::uint64_t> sizes;
  for (int i = 5; i < argc; ++i) {
    inputs.push_back({argv[i], pz::FileNamePart(argv[i])});
    sizes.push_back(static_cast<std::uint64_t>(pz::FileSize(argv[i])));
  }
  const auto plan = pz::recovery::PlanFor(sizes, percent);
  pz::recovery::CreateRecovery(inputs, argv[3], argv[4], plan, {});
  std::printf("%u\n", plan.inputSlices);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "kernels") == 0) return Kernels();
  if (argc >= 6 && std::strcmp(argv[1], "create") == 0) return Create(argc, argv);
  std::fprintf(stderr, "usage: pz_recovery_bench kernels | create PERCENT FOLDER BASE FILE...\n");
  return 2;
}
