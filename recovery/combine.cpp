#include "recovery/combine.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "recovery/gf16.h"

namespace pz::recovery {

namespace {

constexpr std::size_t kStripe = 256U << 10;  // input bytes a task reads from each slice
constexpr std::size_t kAlign = 64;

std::size_t RoundDown(std::size_t n, std::size_t to) {
  return n / to * to;
}

// Tasks handed out one by one to the worker threads; the first failure stops the rest.
class TaskRun {
 public:
  TaskRun(std::size_t count, std::function<void(std::size_t, const std::stop_token&)> task)
      : count_(count), task_(std::move(task)) {}

  // Runs the tasks; the calling thread reports progress until they are done.
  void Run(const std::function<void()>& report) {
    std::vector<std::jthread> threads;
    for (unsigned t = 0; t < std::min<std::size_t>(WorkerCount(), count_); ++t)
      threads.emplace_back([this](const std::stop_token& stop) { Work(stop); });
    try {
      std::unique_lock lock(mutex_);
      while (finished_ < threads.size()) {
        lock.unlock();
        report();
        lock.lock();
        done_.wait_for(lock, std::chrono::milliseconds(50));
      }
    } catch (...) {
      for (auto& t : threads) t.request_stop();
      throw;
    }
    threads.clear();
    if (error_) std::rethrow_exception(error_);
    report();
  }

 private:
  void Work(const std::stop_token& stop) {
    try {
      for (std::size_t i = next_++; i < count_ && !stop.stop_requested() && !failed_; i = next_++)
        task_(i, stop);
    } catch (...) {
      const std::lock_guard lock(mutex_);
      if (!error_) error_ = std::current_exception();
      failed_ = true;
    }
    const std::lock_guard lock(mutex_);
    ++finished_;
    done_.notify_all();
  }

  std::size_t count_;
  std::function<void(std::size_t, const std::stop_token&)> task_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t finished_ = 0;
  std::exception_ptr error_;
};

void ReadFully(int fd, std::uint8_t* buf, std::size_t n, std::uint64_t at) {
  while (n > 0) {
    const ssize_t r = ::pread(fd, buf, n, static_cast<off_t>(at));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) throw std::system_error(r == 0 ? EIO : errno, std::generic_category());
    buf += r;
    n -= static_cast<std::size_t>(r);
    at += static_cast<std::uint64_t>(r);
  }
}

// One pass: outputs bytes [start, start + length) of every output slice.
class Pass {
 public:
  Pass(const CombineJob& job, std::uint64_t start, std::size_t length, std::uint8_t* out,
       std::size_t outStride, std::atomic<std::int64_t>& done)
      : job_(job), start_(start), length_(length), out_(out), stride_(outStride), done_(done) {
    // The output pieces of one step stay in the second-level cache together.
    chunk_ = std::clamp<std::size_t>(
        RoundDown((512U << 10) / std::max<std::size_t>(job.outputs, 1), kAlign), 2048, 32768);
  }

  std::size_t Stripes() const { return (length_ + kStripe - 1) / kStripe; }

  void Stripe(std::size_t s, const std::stop_token& stop) {
    const std::size_t from = s * kStripe;
    const std::size_t width = std::min(kStripe, length_ - from);
    std::unique_ptr<std::uint8_t[]> in(new std::uint8_t[width]);
    for (std::size_t i = 0; i < job_.inputs.size() && !stop.stop_requested(); ++i) {
      const SliceSource& src = job_.inputs[i];
      const std::uint64_t at = start_ + from;
      const std::size_t have =
          at >= src.length
              ? 0
              : static_cast<std::size_t>(std::min<std::uint64_t>(width, src.length - at));
      if (have > 0) ReadFully(src.fd, in.get(), have, src.offset + at);
      std::memset(in.get() + have, 0, width - have);
      if (have > 0) Apply(i, from, in.get(), width);
      done_ += static_cast<std::int64_t>(width);
    }
  }

 private:
  void Apply(std::size_t input, std::size_t from, const std::uint8_t* in, std::size_t width) {
    const gf::MulAddFn mulAdd = gf::BestKernel().fn;
    const std::uint16_t* row = job_.matrix.data() + input;
    const std::size_t n = job_.inputs.size();
    for (std::size_t c = 0; c < width; c += chunk_) {
      const std::size_t len = std::min(chunk_, width - c);
      for (std::size_t o = 0; o < job_.outputs; ++o)
        mulAdd(out_ + o * stride_ + from + c, in + c, len, row[o * n]);
    }
  }

  const CombineJob& job_;
  std::uint64_t start_;
  std::size_t length_;
  std::uint8_t* out_;
  std::size_t stride_;
  std::atomic<std::int64_t>& done_;
  std::size_t chunk_;
};

}  // namespace

void RunTasks(std::size_t count,
              const std::function<void(std::size_t, const std::stop_token&)>& task,
              const std::function<void()>& report) {
  TaskRun(count, task).Run(report);
}

unsigned WorkerCount() {
  return std::max(1U, std::thread::hardware_concurrency());
}

void Combine(const CombineJob& job,
             const std::function<void(std::int64_t done, std::int64_t total)>& progress) {
  const std::uint64_t slice = job.sliceSize;
  const std::size_t outputs = std::max<std::size_t>(job.outputs, 1);
  std::size_t passBytes = RoundDown(job.memoryBudget / outputs, kAlign);
  passBytes = static_cast<std::size_t>(
      std::min<std::uint64_t>(slice, std::max<std::size_t>(passBytes, kAlign)));
  const std::int64_t total = static_cast<std::int64_t>(slice * job.inputs.size()) + job.sideBytes;
  std::atomic<std::int64_t> done{0};
  std::vector<std::uint8_t> out(passBytes * job.outputs);
  bool first = true;
  for (std::uint64_t start = 0; start < slice || first; start += passBytes) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(passBytes, slice - start));
    std::fill(out.begin(), out.end(), 0);
    Pass pass(job, start, length, out.data(), passBytes, done);
    const std::size_t side = first ? job.sideTasks.size() : 0;
    TaskRun run(side + pass.Stripes(), [&](std::size_t t, const std::stop_token& stop) {
      if (t < side)
        job.sideTasks[t](stop, done);
      else
        pass.Stripe(t - side, stop);
    });
    run.Run([&] {
      if (progress) progress(done.load(), total);
    });
    for (std::size_t o = 0; o < job.outputs && length > 0; ++o)
      job.sink(o, start, out.data() + o * passBytes, length);
    first = false;
    if (slice == 0) break;
  }
}

}  // namespace pz::recovery
