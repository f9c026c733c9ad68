#include "tools/vnkit/json_text.h"

#include "platform/error.h"
#include "tools/vnkit/archive_tool.h"

namespace vn::cli {

bool HasExactUtf8(const DataString& text, std::string& utf8) {
  DataString back;
  return TryCp932ToUtf8(text, utf8) && TryUtf8ToCp932(utf8, back) && back == text;
}

nlohmann::ordered_json TextToJson(const DataString& text) {
  std::string utf8;
  if (HasExactUtf8(text, utf8)) return utf8;
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text.bytes()) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  nlohmann::ordered_json object;
  object["text"] = DisplayText(text);
  object["hex"] = hex;
  return object;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool TextFromJson(const nlohmann::ordered_json& value, DataString& text, std::string& why) {
  if (value.is_string()) {
    if (TryUtf8ToCp932(value.get<std::string>(), text)) return true;
    why = "has no Shift-JIS form";
    try {
      Utf8ToCp932(value.get<std::string>());  // for the position of the first bad character
    } catch (const std::exception& e) {
      why += std::string(": ") + e.what();
    }
    return false;
  }
  const auto hex = value.is_object() ? value.find("hex") : value.end();
  if (hex == value.end() || !hex->is_string()) {
    why = "expected a string, or an object with the bytes as \"hex\"";
    return false;
  }
  const std::string& digits = hex->get_ref<const std::string&>();
  std::string bytes;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    const int high = HexDigit(digits[i]), low = HexDigit(digits[i + 1]);
    if (high < 0 || low < 0) break;
    bytes += static_cast<char>(high * 16 + low);
  }
  if (bytes.size() * 2 != digits.size()) {
    why = "\"hex\" must be pairs of hexadecimal digits";
    return false;
  }
  text = DataString(std::move(bytes));
  return true;
}

std::string JsonErrorText(const nlohmann::ordered_json::exception& e) {
  std::string text = e.what();
  if (text.compare(0, 16, "[json.exception.") == 0) {
    const size_t end = text.find("] ");
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  return text;
}

nlohmann::ordered_json ParseJson(const std::string& text, const std::string& source) {
  try {
    return nlohmann::ordered_json::parse(text);
  } catch (const nlohmann::ordered_json::exception& e) {
    // a syntax error, and a number too large for any integer or double (1e999), alike
    throw EFormatError(source + ": not valid JSON: " + JsonErrorText(e));
  }
}

}  // namespace vn::cli
