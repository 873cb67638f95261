// The syntax of connection strings, read and written.
#include "odbc/ConnectionString.h"

namespace tabrix::odbc {
namespace {

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

}  // namespace

bool ParseConnectionString(std::string_view text, std::vector<std::pair<std::string, std::string>>& pairs,
                           std::string& error) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ';' || text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      error = "the connection string's entry '" +
              std::string(text.substr(i, semi == std::string_view::npos ? std::string_view::npos : semi - i)) +
              "' has no '='";
      return false;
    }
    std::string key = Trim(text.substr(i, eq - i));
    i = eq + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string value;
    if (i < text.size() && text[i] == '{') {
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == '}') {
          if (i + 1 < text.size() && text[i + 1] == '}') {
            value += '}';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed) {
        error = "the connection string's value of '" + key + "' has no closing '}'";
        return false;
      }
      size_t end = text.find(';', i);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(';', i);
      value = Trim(text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      i = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (key.empty()) {
      error = "the connection string has an entry without a key";
      return false;
    }
    pairs.emplace_back(key, value);
  }
  return true;
}

void AppendConnectionPair(std::string& completed, const std::string& key, const std::string& value) {
  if (!completed.empty()) completed += ';';
  if (value.find_first_of(";{}= ") == std::string::npos) {
    completed += key + "=" + value;
    return;
  }
  std::string escaped;
  for (char c : value) {
    escaped += c;
    if (c == '}') escaped += '}';
  }
  completed += key + "={" + escaped + "}";
}

}  // namespace tabrix::odbc
