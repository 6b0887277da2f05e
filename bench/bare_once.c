/* Start-up reference: reads one frame, answers it with a short fixed frame and exits at
   the end of its input. Written in C so that natively it links the C library only and
   under Windows only kernel32 and the C runtime: the floor that a user could reach with
   a host that does nothing. The host's spawn-to-reply and spawn-to-exit are compared
   with this program's, and the libraries a "hello" makes the host load with the ones
   this program loads. */

#include <stddef.h>
#include <stdint.h>
#include <string.h>

static const char REPLY_BODY[] = "{\"id\":1,\"ok\":true,\"result\":{\"bare\":true}}";
/* Frames longer than this are read and dropped piece by piece. */
#define BODY_PIECE 4096

#ifdef _WIN32
#include <windows.h>

static size_t read_some(void* data, size_t size) {
  DWORD got = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), data, (DWORD)size, &got, NULL)) return 0;
  return got;
}

static int write_all(const char* data, size_t size) {
  while (size > 0) {
    DWORD put = 0;
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data, (DWORD)size, &put, NULL) || put == 0) return 0;
    data += put;
    size -= put;
  }
  return 1;
}
#else
#include <errno.h>
#include <unistd.h>

static size_t read_some(void* data, size_t size) {
  for (;;) {
    const ssize_t got = read(0, data, size);
    if (got >= 0) return (size_t)got;
    if (errno != EINTR) return 0;
  }
}

static int write_all(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t put = write(1, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    data += put;
    size -= (size_t)put;
  }
  return 1;
}
#endif

static int read_exact(unsigned char* data, size_t size) {
  while (size > 0) {
    const size_t got = read_some(data, size);
    if (got == 0) return 0;
    data += got;
    size -= got;
  }
  return 1;
}

static int run(void) {
  unsigned char prefix[4];
  unsigned char body[BODY_PIECE];
  if (!read_exact(prefix, sizeof prefix)) return 1;
  uint32_t left = (uint32_t)prefix[0] | (uint32_t)prefix[1] << 8 | (uint32_t)prefix[2] << 16 | (uint32_t)prefix[3] << 24;
  while (left > 0) {
    const size_t piece = left < BODY_PIECE ? left : BODY_PIECE;
    if (!read_exact(body, piece)) return 1;
    left -= (uint32_t)piece;
  }
  char frame[4 + sizeof REPLY_BODY - 1];
  const uint32_t length = sizeof REPLY_BODY - 1;
  for (int i = 0; i < 4; ++i) frame[i] = (char)((length >> (8 * i)) & 0xFF);
  memcpy(frame + 4, REPLY_BODY, length);
  if (!write_all(frame, sizeof frame)) return 1;
  /* Like the host, it exits when its input ends. */
  while (read_some(body, sizeof body) > 0) {
  }
  return 0;
}

#ifdef _WIN32
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  ExitProcess((UINT)run());
}
#else
int main(void) { return run(); }
#endif
