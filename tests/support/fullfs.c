/* A destination that fills up, without root: preloaded into Wine
 * (LD_PRELOAD), it makes every write to a file below $SALVORA_FULL_DIR fail
 * with ENOSPC once $SALVORA_FULL_BYTES bytes have been written below it by
 * this process, the way a full disk fails (the last write is cut short, the
 * next ones fail). Wine turns ENOSPC into ERROR_DISK_FULL. Files elsewhere
 * are untouched. Built by engine/tests/full_destination.sh with the host's
 * C compiler. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static long long written;

static int below_full_dir(int fd) {
  const char* dir = getenv("SALVORA_FULL_DIR");
  if (!dir || !*dir) return 0;
  char link[64], path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = 0;
  size_t len = strlen(dir);
  return strncmp(path, dir, len) == 0 && (path[len] == '/' || path[len] == 0);
}

/* How many of `want` bytes may still be written; sets ENOSPC when none. */
static ssize_t allowance(int fd, size_t want) {
  if (!below_full_dir(fd)) return (ssize_t)want;
  const char* limit = getenv("SALVORA_FULL_BYTES");
  long long cap = limit ? atoll(limit) : 0;
  long long room = cap - written;
  if (room <= 0) {
    errno = ENOSPC;
    return -1;
  }
  return (ssize_t)((long long)want < room ? (long long)want : room);
}

typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef ssize_t (*pwrite_fn)(int, const void*, size_t, off_t);
typedef ssize_t (*pwrite64_fn)(int, const void*, size_t, off64_t);
typedef ssize_t (*writev_fn)(int, const struct iovec*, int);

#define REAL(name) static name##_fn real_##name; if (!real_##name) real_##name = (name##_fn)dlsym(RTLD_NEXT, #name)

ssize_t write(int fd, const void* buf, size_t count) {
  REAL(write);
  ssize_t n = allowance(fd, count);
  if (n < 0) return -1;
  ssize_t r = real_write(fd, buf, (size_t)n);
  if (r > 0 && below_full_dir(fd)) written += r;
  return r;
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
  REAL(pwrite);
  ssize_t n = allowance(fd, count);
  if (n < 0) return -1;
  ssize_t r = real_pwrite(fd, buf, (size_t)n, offset);
  if (r > 0 && below_full_dir(fd)) written += r;
  return r;
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t offset) {
  REAL(pwrite64);
  ssize_t n = allowance(fd, count);
  if (n < 0) return -1;
  ssize_t r = real_pwrite64(fd, buf, (size_t)n, offset);
  if (r > 0 && below_full_dir(fd)) written += r;
  return r;
}

ssize_t writev(int fd, const struct iovec* iov, int iovcnt) {
  REAL(writev);
  if (below_full_dir(fd)) {
    /* Rare for file data under Wine: write the pieces one by one. */
    ssize_t total = 0;
    for (int i = 0; i < iovcnt; ++i) {
      ssize_t r = write(fd, iov[i].iov_base, iov[i].iov_len);
      if (r < 0) return total ? total : -1;
      total += r;
      if ((size_t)r < iov[i].iov_len) break;
    }
    return total;
  }
  return real_writev(fd, iov, iovcnt);
}
