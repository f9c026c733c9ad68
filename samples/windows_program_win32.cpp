// A stand-in for a disc's Windows game and runtime setups, cross-built with mingw (the sample disc set
// of a Windows launcher, the tests): it writes the ANSI code page it runs under, its working folder
// and its arguments to "vnsetup-test-game.txt" in the folder named by %VN_TEST_GAME_OUT%
// (else its working folder), one item a line, then ends.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  char out_folder[MAX_PATH] = {};
  if (GetEnvironmentVariableA("VN_TEST_GAME_OUT", out_folder, MAX_PATH) == 0) lstrcpyA(out_folder, folder);
  char out_path[MAX_PATH + 32];
  std::snprintf(out_path, sizeof out_path, "%s\\vnsetup-test-game.txt", out_folder);
  FILE* out = std::fopen(out_path, "wb");
  if (!out) return 1;
  std::fprintf(out, "acp=%u\ncwd=%s\n", GetACP(), folder);
  for (int i = 1; i < argc; ++i) std::fprintf(out, "arg=%s\n", argv[i]);
  std::fclose(out);
  return 0;
}
