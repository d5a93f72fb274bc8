// An e-mail file read back by Python's e-mail package under its strict policy
// (strict_mail.py), and the strings of its JSON report.
#pragma once

#include <string>
#include <vector>

#include "scripted_client.h"

namespace server_test {

// The JSON string literal starting at json[at], unescaped; at moves past it. strict_mail.py
// writes UTF-8 as it is, so no \u escapes but those of control characters, which no
// expected value holds.
inline std::string ReadJsonString(const std::string& json, std::size_t& at) {
  std::string text;
  for (++at; at < json.size() && json[at] != '"'; ++at) {
    if (json[at] != '\\') {
      text += json[at];
      continue;
    }
    const char escape = json[++at];
    text += escape == 'n' ? '\n' : escape == 'r' ? '\r' : escape == 't' ? '\t' : escape;
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
