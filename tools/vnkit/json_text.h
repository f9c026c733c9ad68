// Stored texts (Shift-JIS bytes: entry names, settings texts) in the JSON that vnkit prints and reads.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/text.h"

namespace vn::cli {

// A text as JSON: a string when it has an exact UTF-8 form (one that converts back to the very same
// bytes); otherwise an object {"text": the text as listings show it, with \xNN for each byte that is
// no character, "hex": the stored bytes in hex}, so that two texts that differ in such bytes stay
// apart.
nlohmann::ordered_json TextToJson(const DataString& text);

// The bytes a JSON value of that form stands for: a string converted to Shift-JIS, or the "hex" of an
// object. False, with `why` set, for anything else or a string without a Shift-JIS form.
bool TextFromJson(const nlohmann::ordered_json& value, DataString& text, std::string& why);

// A JSON document, or EFormatError "SOURCE: not valid JSON: what is wrong, where" (nlohmann's
// message without its "[json.exception...]" tag).
nlohmann::ordered_json ParseJson(const std::string& text, const std::string& source);

// nlohmann's message without its "[json.exception.kind.N] " tag.
std::string JsonErrorText(const nlohmann::ordered_json::exception& e);

// True when the text's UTF-8 form converts back to the same bytes (some characters have two codes in
// code page 932, NEC's and IBM's, and only one comes back).
bool HasExactUtf8(const DataString& text, std::string& utf8);

}  // namespace vn::cli
