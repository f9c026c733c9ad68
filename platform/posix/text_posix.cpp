// Code page 932 <-> UTF-8 through glibc's iconv ("CP932": 0x5C is the backslash, not the yen sign).
#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/error.h"
#include "platform/text.h"

namespace vn {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw EConvertError(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts in; stops at the first byte without counterpart and reports its offset in bad_offset.
  // With lossy set, such a byte becomes `replacement` and conversion goes on.
  bool Run(std::string_view in, std::string& out, size_t* bad_offset, std::string_view replacement,
           bool lossy) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    out.resize(in.size() * 2 + 8);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    size_t written = 0;
    while (src_left > 0) {
      char* dst = out.data() + written;
      size_t dst_left = out.size() - written;
      const size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
      written = out.size() - dst_left;
      if (r != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ or EINVAL (a character cut off at the end)
      if (!lossy) {
        *bad_offset = static_cast<size_t>(src - in.data());
        return false;
      }
      out.resize(written);
      out.append(replacement);
      written = out.size();
      out.resize(written + src_left * 2 + 8);
      ++src;
      --src_left;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(written);
    return true;
  }

 private:
  iconv_t cd_;
};

Converter& ToUtf8() {
  thread_local Converter c("UTF-8", "CP932");
  return c;
}
Converter& ToCp932() {
  thread_local Converter c("CP932", "UTF-8");
  return c;
}

// A conversion to code page 932 is exact only when it converts back to the same text: iconv maps
// some characters to codes that stand for others (U+00A5 to the backslash 0x5C, U+2212 to the code
// of U+FF0D), and a name stored that way would be a different name.
bool ToCp932Exactly(std::string_view utf8, std::string& out) {
  size_t bad = 0;
  if (!ToCp932().Run(utf8, out, &bad, {}, false)) return false;
  std::string back;
  return ToUtf8().Run(out, back, &bad, {}, false) && back == utf8;
}

// Byte offset of the first character of utf8 that has no exact code page 932 form.
size_t FirstInexactCharacter(std::string_view utf8) {
  std::string piece;
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    while (i + n < utf8.size() && (static_cast<uint8_t>(utf8[i + n]) & 0xC0) == 0x80) ++n;
    if (!ToCp932Exactly(utf8.substr(i, n), piece)) return i;
    i += n;
  }
  return 0;
}

}  // namespace

bool TryCp932ToUtf8(const DataString& text, std::string& out) {
  size_t bad = 0;
  return ToUtf8().Run(text.bytes(), out, &bad, {}, false);
}

bool TryUtf8ToCp932(std::string_view utf8, DataString& out) {
  return ToCp932Exactly(utf8, out.bytes());
}

std::string Cp932ToUtf8(const DataString& text) {
  std::string out;
  size_t bad = 0;
  if (!ToUtf8().Run(text.bytes(), out, &bad, {}, false)) {
    throw EConvertError("Shift-JIS text has a byte sequence without a Unicode character at offset " +
                        std::to_string(bad));
  }
  return out;
}

DataString Utf8ToCp932(std::string_view utf8) {
  DataString out;
  if (!ToCp932Exactly(utf8, out.bytes())) {
    const size_t bad = FirstInexactCharacter(utf8);
    throw EConvertError("\"" + std::string(utf8) + "\" has a character at byte " + std::to_string(bad) +
                        " that Shift-JIS (code page 932) cannot hold");
  }
  return out;
}

std::string Cp932ToUtf8Lossy(const DataString& text) {
  std::string out;
  size_t bad = 0;
  ToUtf8().Run(text.bytes(), out, &bad, "\xEF\xBF\xBD", true);
  return out;
}

}  // namespace vn
