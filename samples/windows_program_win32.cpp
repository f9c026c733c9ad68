// A stand-in for a disc's Windows game and runtime setups, cross-built with mingw (the sample disc set
// of a Windows launcher, the tests): it writes the ANSI code page it runs under, its working folder
// and its arguments to "vnsetup-test-game.txt" in the folder named by %VN_TEST_GAME_OUT%
// (else its working folder), one item a line, then ends.
// Started with "--fonts" it writes instead, for each Windows font games name, a line
// "NAME|enumerable|FAMILY|GLYPHS": whether EnumFontFamiliesExW finds the name (1/0), the family
// name recorded in the font file that CreateFontW gives for it, and how many of "あア漢" that font
// has glyphs for (UTF-8).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Utf8(const wchar_t* text, int length = -1) {
  char buffer[512] = {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, buffer, sizeof buffer - 1, nullptr, nullptr);
  return std::string(buffer, n > 0 && length < 0 ? n - 1 : (n > 0 ? n : 0));
}

int CALLBACK Found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<int*>(found) = 1;
  return 0;
}

unsigned Big16(const unsigned char* p) {
  return static_cast<unsigned>(p[0] << 8 | p[1]);
}

// The family name (name id 1) of the font selected into `dc`, from its 'name' table: the English
// record for Windows in UTF-16BE.
std::string FamilyName(HDC dc) {
  const DWORD tag = 'n' | 'a' << 8 | 'm' << 16 | static_cast<DWORD>('e') << 24;
  const DWORD size = GetFontData(dc, tag, 0, nullptr, 0);
  if (size == GDI_ERROR || size < 6) return "?";
  std::string table(size, '\0');
  GetFontData(dc, tag, 0, table.data(), size);
  const auto* t = reinterpret_cast<const unsigned char*>(table.data());
  const unsigned count = Big16(t + 2), strings = Big16(t + 4);
  for (unsigned i = 0; i < count && 6 + 12 * (i + 1) <= size; ++i) {
    const unsigned char* r = t + 6 + 12 * i;
    if (Big16(r) != 3 || Big16(r + 4) != 0x409 || Big16(r + 6) != 1) continue;
    const unsigned length = Big16(r + 8), offset = strings + Big16(r + 10);
    if (offset + length > size) break;
    std::wstring name;
    for (unsigned k = 0; k + 1 < length; k += 2) name += static_cast<wchar_t>(Big16(t + offset + k));
    return Utf8(name.c_str(), static_cast<int>(name.size()));
  }
  return "?";
}

void WriteFonts(FILE* out) {
  const wchar_t* const names[] = {L"ＭＳ ゴシック", L"ＭＳ Ｐゴシック", L"ＭＳ 明朝", L"ＭＳ Ｐ明朝"};
  HDC dc = CreateCompatibleDC(nullptr);
  for (const wchar_t* name : names) {
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, name, LF_FACESIZE);
    int enumerable = 0;
    EnumFontFamiliesExW(dc, &wanted, Found, reinterpret_cast<LPARAM>(&enumerable), 0);
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, name);
    HGDIOBJ old = SelectObject(dc, font);
    WORD glyphs[3] = {};
    GetGlyphIndicesW(dc, L"あア漢", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    int present = 0;
    for (WORD glyph : glyphs) present += glyph != 0xFFFF && glyph != 0;
    std::fprintf(out, "%s|%d|%s|%d\n", Utf8(name).c_str(), enumerable, FamilyName(dc).c_str(), present);
    SelectObject(dc, old);
    DeleteObject(font);
  }
  DeleteDC(dc);
}

}  // namespace

int main(int argc, char** argv) {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  char out_folder[MAX_PATH] = {};
  if (GetEnvironmentVariableA("VN_TEST_GAME_OUT", out_folder, MAX_PATH) == 0) lstrcpyA(out_folder, folder);
  char out_path[MAX_PATH + 32];
  std::snprintf(out_path, sizeof out_path, "%s\\vnsetup-test-game.txt", out_folder);
  FILE* out = std::fopen(out_path, "wb");
  if (!out) return 1;
  if (argc == 2 && std::strcmp(argv[1], "--fonts") == 0) {
    WriteFonts(out);
  } else {
    std::fprintf(out, "acp=%u\ncwd=%s\n", GetACP(), folder);
    for (int i = 1; i < argc; ++i) std::fprintf(out, "arg=%s\n", argv[i]);
  }
  std::fclose(out);
  return 0;
}
