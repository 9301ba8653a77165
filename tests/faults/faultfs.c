// An interposed file layer for tests: loaded with LD_PRELOAD into the program under test, it
// makes file operations on chosen paths fail or slow down, as a bad disk or a full volume would.
//
//   PZ_FAULT_PATH   substring of the paths to affect (required)
//   PZ_FAULT_OP     "open" (opening fails), "read" (reading fails after PZ_FAULT_AFTER bytes),
//                   "write" (writing fails after PZ_FAULT_AFTER bytes), "slow" (every write
//                   waits PZ_FAULT_DELAY_US microseconds), "slowread" (every read waits),
//                   "unlink" (removing fails), "fsync" (flushing to the disk fails), "skip"
//                   (once PZ_FAULT_AFTER bytes are written, the next write lands one byte
//                   further on, as a copy that lost its place); several joined by "+"
//                   ("write+unlink"), "access" (a check for writing fails, as in a
//                   read-only folder)
//   PZ_FAULT_ERRNO  the error to report (default EIO)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FDS 4096

static unsigned char marked[MAX_FDS];
static long long done_bytes[MAX_FDS];
static unsigned char skipped[MAX_FDS];

static const char* env(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}

static int op_is(const char* op) {
  const char* ops = env("PZ_FAULT_OP");
  const size_t n = strlen(op);
  for (const char* p = ops; (p = strstr(p, op)) != NULL; p += n) {
    if ((p == ops || p[-1] == '+') && (p[n] == '\0' || p[n] == '+')) return 1;
  }
  return 0;
}

static int fault_errno(void) {
  const char* e = env("PZ_FAULT_ERRNO");
  if (strcmp(e, "ENOSPC") == 0) return ENOSPC;
  if (strcmp(e, "EACCES") == 0) return EACCES;
  if (strcmp(e, "EROFS") == 0) return EROFS;
  return EIO;
}

static long long after(void) {
  return atoll(env("PZ_FAULT_AFTER"));
}

static int matches(const char* path) {
  const char* p = env("PZ_FAULT_PATH");
  return path && *p && strstr(path, p) != NULL;
}

static int is_marked(int fd) {
  return fd >= 0 && fd < MAX_FDS && marked[fd];
}

static int mark(int fd, const char* path) {
  if (fd >= 0 && fd < MAX_FDS) {
    marked[fd] = (unsigned char)matches(path);
    done_bytes[fd] = 0;
    skipped[fd] = 0;
  }
  return fd;
}

/* ISO C has no cast from dlsym's object pointer to a function pointer; the bytes are copied. */
#define REAL(type, name, ...)                  \
  static type (*real_##name)(__VA_ARGS__);     \
  if (!real_##name) {                          \
    void* sym_ = dlsym(RTLD_NEXT, #name);      \
    memcpy(&real_##name, &sym_, sizeof(sym_)); \
  }

static int do_open(int (*real)(const char*, int, ...), const char* path, int flags, mode_t mode) {
  if (op_is("open") && matches(path)) {
    errno = fault_errno();
    return -1;
  }
  return mark(real(path, flags, mode), path);
}

// open and open64 differ only in the symbol they forward to.
#define OPEN_WRAPPER(name)                          \
  int name(const char* path, int flags, ...) {      \
    REAL(int, name, const char*, int, ...);         \
    mode_t mode = 0;                                \
    if (flags & (O_CREAT | O_TMPFILE)) {            \
      va_list ap;                                   \
      va_start(ap, flags);                          \
      mode = (mode_t)va_arg(ap, int);               \
      va_end(ap);                                   \
    }                                               \
    return do_open(real_##name, path, flags, mode); \
  }

OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)

// Files made relative to a folder (the unpacking engine's) are matched by their relative name.
int openat(int dir, const char* path, int flags, ...) {
  REAL(int, openat, int, const char*, int, ...);
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = (mode_t)va_arg(ap, int);
    va_end(ap);
  }
  if (op_is("open") && matches(path)) {
    errno = fault_errno();
    return -1;
  }
  return mark(real_openat(dir, path, flags, mode), path);
}

int access(const char* path, int mode) {
  REAL(int, access, const char*, int);
  if (op_is("access") && (mode & W_OK) != 0 && matches(path)) {
    errno = fault_errno();
    return -1;
  }
  return real_access(path, mode);
}

// Returns how many of n bytes may still go through, -1 when the fault strikes now.
static ssize_t allowance(int fd, size_t n, const char* op) {
  if (!is_marked(fd) || !op_is(op)) return (ssize_t)n;
  long long left = after() - done_bytes[fd];
  if (left <= 0) {
    errno = fault_errno();
    return -1;
  }
  return (ssize_t)((long long)n < left ? (long long)n : left);
}

ssize_t read(int fd, void* buf, size_t n) {
  REAL(ssize_t, read, int, void*, size_t);
  if (is_marked(fd) && op_is("slowread")) usleep((useconds_t)atoi(env("PZ_FAULT_DELAY_US")));
  ssize_t allowed = allowance(fd, n, "read");
  if (allowed < 0) return -1;
  ssize_t got = real_read(fd, buf, (size_t)allowed);
  if (got > 0 && is_marked(fd)) done_bytes[fd] += got;
  return got;
}

ssize_t pread64(int fd, void* buf, size_t n, off_t off) {
  REAL(ssize_t, pread64, int, void*, size_t, off_t);
  ssize_t allowed = allowance(fd, n, "read");
  if (allowed < 0) return -1;
  ssize_t got = real_pread64(fd, buf, (size_t)allowed, off);
  if (got > 0 && is_marked(fd)) done_bytes[fd] += got;
  return got;
}

ssize_t pread(int fd, void* buf, size_t n, off_t off) {
  return pread64(fd, buf, n, off);
}

// "skip": writes stop at the mark, and the first one after it starts a byte further on.
static size_t skip_at_mark(int fd, size_t n) {
  if (!is_marked(fd) || !op_is("skip") || skipped[fd]) return n;
  long long left = after() - done_bytes[fd];
  if (left > 0) return (long long)n < left ? n : (size_t)left;
  lseek(fd, 1, SEEK_CUR);
  skipped[fd] = 1;
  return n;
}

ssize_t write(int fd, const void* buf, size_t n) {
  REAL(ssize_t, write, int, const void*, size_t);
  n = skip_at_mark(fd, n);
  if (is_marked(fd) && op_is("slow")) usleep((useconds_t)atoi(env("PZ_FAULT_DELAY_US")));
  ssize_t allowed = allowance(fd, n, "write");
  if (allowed < 0) return -1;
  ssize_t put = real_write(fd, buf, (size_t)allowed);
  if (put > 0 && is_marked(fd)) done_bytes[fd] += put;
  return put;
}

// The archive library writes through stdio, whose own calls of write cannot be interposed.
size_t fwrite(const void* buf, size_t size, size_t count, FILE* stream) {
  REAL(size_t, fwrite, const void*, size_t, size_t, FILE*);
  const int fd = fileno(stream);
  if (size == 0 || !is_marked(fd) || !op_is("write")) return real_fwrite(buf, size, count, stream);
  const ssize_t allowed = allowance(fd, size * count, "write");
  const size_t whole = allowed < 0 ? 0 : (size_t)allowed / size;
  const size_t put = whole > 0 ? real_fwrite(buf, size, whole, stream) : 0;
  done_bytes[fd] += (long long)(put * size);
  if (put < count) errno = fault_errno();
  return put;
}

// Kernel copies bypass read and write; let the program fall back to them on affected files.
ssize_t copy_file_range(int in, loff_t* in_off, int out, loff_t* out_off, size_t n,
                        unsigned flags) {
  REAL(ssize_t, copy_file_range, int, loff_t*, int, loff_t*, size_t, unsigned);
  if (is_marked(in) || is_marked(out)) {
    errno = EXDEV;
    return -1;
  }
  return real_copy_file_range(in, in_off, out, out_off, n, flags);
}

int close(int fd) {
  REAL(int, close, int);
  if (fd >= 0 && fd < MAX_FDS) marked[fd] = 0;
  return real_close(fd);
}

int unlink(const char* path) {
  REAL(int, unlink, const char*);
  if (op_is("unlink") && matches(path)) {
    errno = fault_errno();
    return -1;
  }
  return real_unlink(path);
}

int fsync(int fd) {
  REAL(int, fsync, int);
  if (is_marked(fd) && op_is("fsync")) {
    errno = fault_errno();
    return -1;
  }
  return real_fsync(fd);
}
