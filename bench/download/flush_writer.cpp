// bench_flush_writer FILE
// The flush-bound ceiling's writer: standard input to FILE in 40960-byte chunks, each
// written and then flushed to disk before the next is read, the discipline the engine
// keeps. It never writes a short chunk except the last one, so it needs the fewest
// flushes any such writer can.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {
constexpr size_t kChunk = 40960;

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_flush_writer FILE < data\n");
    return 2;
  }
  int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 1;
  static char chunk[kChunk];
  for (bool end = false; !end;) {
    size_t have = 0;
    while (have < kChunk) {
      ssize_t r = ::read(0, chunk + have, kChunk - have);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return 1;
      if (r == 0) {
        end = true;
        break;
      }
      have += static_cast<size_t>(r);
    }
    if (have > 0 && (!WriteAll(fd, chunk, have) || ::fdatasync(fd) != 0)) return 1;
  }
  return ::close(fd) == 0 ? 0 : 1;
}
