// An e-mail file read back by Python's e-mail package under its strict policy
// (strict_mail.py), and the strings of its JSON report, decoded to UTF-8.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

#include "scripted_client.h"

namespace server_test {

// The JSON string literal starting at json[at], decoded to UTF-8; at moves past it.
inline std::string ReadJsonString(const std::string& json, std::size_t& at) {
  std::string text;
  for (++at; at < json.size() && json[at] != '"'; ++at) {
    if (json[at] != '\\') {
      text += json[at];
      continue;
    }
    const char escape = json[++at];
    if (escape != 'u') {
      text += escape == 'n' ? '\n' : escape == 'r' ? '\r' : escape == 't' ? '\t' : escape;
      continue;
    }
    auto code = static_cast<gunichar>(std::stoul(json.substr(at + 1, 4), nullptr, 16));
    at += 4;
    if (code >= 0xD800 && code < 0xDC00 && json.compare(at + 1, 2, "\\u") == 0) {
      code = 0x10000 + ((code - 0xD800) << 10) + std::stoul(json.substr(at + 3, 4), nullptr, 16) -
             0xDC00;
      at += 6;
    }
    char utf8[6];
    text.append(utf8, static_cast<std::size_t>(g_unichar_to_utf8(code, utf8)));
  }
  ++at;
  return text;
}

using List = std::vector<std::string>;

// What strict_mail.py reported; its exit status says whether the file parsed at all.
struct ParsedMail {
  CommandResult run;

  // Every string in the value of "key" (nested lists flattened, object keys included).
  List Strings(const std::string& key) const {
    const std::string& json = run.output;
    List strings;
    std::size_t at = json.find('"' + key + "\": ");
    if (at == std::string::npos) return strings;
    at += key.size() + 4;
    int depth = 0;
    do {
      const char c = json[at];
      if (c == '"') {
        strings.push_back(ReadJsonString(json, at));
      } else {
        depth += (c == '[' || c == '{') - (c == ']' || c == '}');
        ++at;
      }
    } while (depth > 0 && at < json.size());
    return strings;
  }
  // The first string under key, "" when there is none.
  std::string String(const std::string& key) const {
    const List strings = Strings(key);
    return strings.empty() ? "" : strings[0];
  }
};

// attachments: a folder to write each attachment into under its file name.
inline ParsedMail ParseMail(const std::filesystem::path& mail,
                            const std::string& attachments = "") {
  return {RunCommand("python3 '" + TestScript("strict_mail.py").string() + "' '" + mail.string() +
                     "'" + (attachments.empty() ? "" : " '" + attachments + "'"))};
}

}  // namespace server_test
