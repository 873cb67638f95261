#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <system_error>
#include <unordered_set>

#include "platform/odbcini/OdbcIni.h"
#include "platform/text/Text.h"
#include "tools/tabrix/Host.h"

namespace tabrix::cli::host {

namespace ini = platform::odbcini;

void AddConfigDirOption(CLI::App& verb, std::string& dir) {
  verb.add_option("--config-dir", dir,
                  "A private folder holding odbcinst.ini (the drivers), odbc.ini (system data "
                  "sources) and odbc.user.ini (user data sources), instead of unixODBC's own "
                  "files")
      ->check(CLI::ExistingDirectory);
}

void UseConfigDir(const std::string& dir) {
  if (dir.empty()) return;
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  setenv("ODBCINI", (dir + "/odbc.user.ini").c_str(), 1);
  unsetenv("ODBCSEARCH");
}

std::string WhereDataSourcesLive() {
  return "Files: unixODBC's own (odbcinst -j shows them), or with --config-dir DIR the folder's "
         "odbcinst.ini, odbc.ini and odbc.user.ini.";
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::shared_ptr<void> LockDataSources(bool system) {
  return std::make_shared<ini::FileLock>(system ? ini::SystemFile() : ini::UserFile());
}

void UseLockWait(double seconds) {
  ini::SetLockWait({seconds, [](const std::string& file) {
                      std::cerr << "tabrix: " << file << " is locked by another process (" << file
                                << ".lock); waiting" << std::endl;
                    }});
}

std::string ReadWholeFile(const std::string& path) {
  std::string text;
  if (!ini::ReadFile(path, text)) throw std::runtime_error(path + ": no such file");
  return text;
}

namespace {

// The terminal's settings while echo is off, for a signal that ends the run at the prompt.
termios echoing{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreEchoAndDie(int signal) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);  // async-signal-safe
  ::signal(signal, SIG_DFL);
  raise(signal);  // dies of it as it would have, with its exit status
}

}  // namespace

bool ReadSecretLine(const std::string& prompt, std::string& line) {
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved) == 0;
  struct sigaction previous[std::size(kEndingSignals)] = {};
  if (terminal) {
    // ^C, a kill or a hang-up at the prompt must not leave the terminal without echo.
    echoing = saved;
    struct sigaction restore {};
    restore.sa_handler = RestoreEchoAndDie;
    sigemptyset(&restore.sa_mask);
    for (int sig : kEndingSignals) sigaddset(&restore.sa_mask, sig);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &restore, &previous[i]);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::cerr << prompt << std::flush;
  }
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
      sigaction(kEndingSignals[i], &previous[i], nullptr);
  }
  return read;
}

std::string ReadableByOthers(bool system) {
  const std::string file = system ? ini::SystemFile() : ini::UserFile();
  struct stat st {};
  if (stat(file.c_str(), &st) != 0 || (st.st_mode & 044) == 0) return "";
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  return file + " (mode " + mode + ")";
}

namespace {

using platform::text::Folded;

// Whether a section's bytes read the same taken on their own: it starts a line, ends one (or
// the text), and has the text's line end.
bool ReadsAlone(std::string_view text, const ini::Section& s, const std::string& eol) {
  const std::string_view section = text.substr(s.header, s.end - s.header);
  return (s.header == 0 || text[s.header - 1] == '\n') && ini::LineEnd(section) == eol &&
         (s.end == text.size() || section.back() == '\n');
}

// What becomes of one name's sections: the first rewritten with `keys`, or every one removed.
struct Rewrite {
  ini::KeyValues keys;
  ini::Merge merge = ini::Merge::Update;
  bool remove = false;
  bool done = false;
};

// WriteSection and RemoveSection for many names in one pass: each section is changed on its
// own and the text put together once, where one call per name would read the whole text each
// time. A section whose bytes could read otherwise on their own (a header inside a long line,
// another line end than the file's) is changed in the whole text instead.
void RewriteSections(std::string& text, std::unordered_map<std::string, Rewrite>& rewrites) {
  if (rewrites.empty()) return;
  const std::string eol = ini::LineEnd(text);
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  size_t copied = 0;
  std::vector<std::pair<std::string, Rewrite*>> slow;
  ini::ForEachSection(text, [&](const ini::Section& s) {
    auto it = rewrites.find(Folded(s.name));
    if (it == rewrites.end() || it->second.done) return true;
    Rewrite& r = it->second;
    r.done = !r.remove;  // a removal takes every section of the name
    if (!ReadsAlone(text, s, eol)) {
      slow.emplace_back(std::string(s.name), &r);  // a removal there takes every section
      r.done = true;
      return true;
    }
    std::string section = text.substr(s.header, s.end - s.header);
    if (r.remove)
      ini::RemoveSection(section, s.name);
    else
      ini::WriteSection(section, s.name, r.keys, r.merge);
    out.append(text, copied, s.header - copied);
    out += section;
    copied = s.end;
    return true;
  });
  out.append(text, copied, std::string::npos);
  text = std::move(out);
  for (auto& [name, r] : slow)
    if (r->remove)
      ini::RemoveSection(text, name);
    else
      ini::WriteSection(text, name, r->keys, r->merge);
}

// The listing lines of the removed data sources, from the listing alone rather than the whole
// text once per name.
void RemoveListed(std::string& text, const std::vector<SourceEdit>& edits) {
  std::optional<ini::Section> listing = ini::FindSection(text, ini::kDataSourcesSection);
  if (!listing) return;
  const bool alone = ReadsAlone(text, *listing, ini::LineEnd(text));
  std::string section = text.substr(listing->header, listing->end - listing->header);
  std::string& target = alone ? section : text;
  bool removed = false;
  for (const SourceEdit& e : edits)
    if (e.kind == SourceEdit::Kind::Remove) {
      ini::RemoveKey(target, ini::kDataSourcesSection, e.name);
      removed = true;
    }
  if (alone && removed) text.replace(listing->header, listing->end - listing->header, section);
}

// Keeps the first value of each keyword in `keys`, the one unixODBC reads, and answers where
// each later one stands ("FILE:LINE: ..."). The lines are counted only when there is a repeat.
std::vector<std::string> KeepFirst(ini::KeyValues& keys, std::string_view all,
                                   const ini::Section& s, ini::Reader reader,
                                   const std::string& file) {
  std::unordered_set<std::string> seen;
  bool repeated = false;
  for (const auto& pair : keys) repeated = !seen.insert(Folded(pair.first)).second || repeated;
  if (!repeated) return {};
  seen.clear();
  keys.clear();
  std::vector<std::string> ignored;
  size_t line = 1 + static_cast<size_t>(std::count(all.begin(), all.begin() + s.body, '\n'));
  const std::string_view body = all.substr(s.body, s.end - s.body);
  for (size_t at = 0; at < body.size(); ++line) {
    size_t eol = body.find('\n', at);
    if (eol == std::string_view::npos) eol = body.size();
    for (auto& [k, v] : ini::ReadKeys(body.substr(at, eol - at), reader)) {
      if (seen.insert(Folded(k)).second)
        keys.emplace_back(std::move(k), std::move(v));
      else
        ignored.push_back(file + ":" + std::to_string(line) + ": [" + std::string(s.name) +
                          "] gives \"" + k + "\" again, which unixODBC does not read (it reads "
                          "the first)");
    }
    at = eol + 1;
  }
  return ignored;
}

}  // namespace

StoredSources ReadDataSources(bool system) {
  const std::string file = system ? ini::SystemFile() : ini::UserFile();
  // The system file is read beneath the user's, as the driver manager finds a data source.
  const ini::Reader reader = system ? ini::Reader::Append : ini::Reader::Open;
  StoredSources stored;
  std::string text;
  if (!ini::ReadFile(file, text)) return stored;
  if (std::string why = ini::WhyUnread(text, file); !why.empty()) throw std::runtime_error(why);
  const std::string_view all(text);
  std::unordered_set<std::string> seen;
  ini::ForEachSection(
      all,
      [&](const ini::Section& s) {
        if (s.name.empty() || !seen.insert(Folded(s.name)).second) return true;
        ini::KeyValues keys = ini::ReadKeys(all.substr(s.body, s.end - s.body), reader);
        std::vector<std::string> ignored = KeepFirst(keys, all, s, reader, file);
        if (platform::IsListingName(s.name))
          stored.listing = std::move(keys);
        else
          stored.sources.push_back({std::string(s.name), std::move(keys), std::move(ignored)});
        return true;
      },
      reader);
  return stored;
}

std::string WhyNotStorable(const std::string& name, const Pairs& values) {
  return ini::WhyNotStorable(name, values);
}

void EditDataSources(bool system, const std::vector<SourceEdit>& edits) {
  if (edits.empty()) return;
  const std::string file = system ? ini::SystemFile() : ini::UserFile();
  auto edit = [&](std::string& text, std::string&) {
    std::unordered_set<std::string> present;
    ini::ForEachSection(text, [&](const ini::Section& s) {
      present.insert(Folded(s.name));
      return true;
    });
    // Removals first, so that what is added follows what is left; then the listing, as
    // create writes it, in one pass for all its new lines.
    std::unordered_map<std::string, Rewrite> removals, rewrites;
    ini::KeyValues listed;
    for (const SourceEdit& e : edits) {
      if (e.kind == SourceEdit::Kind::Remove) {
        removals[Folded(e.name)].remove = true;
        present.erase(Folded(e.name));
      } else if (e.kind == SourceEdit::Kind::Replace || !e.driver.empty()) {
        listed.emplace_back(e.name, e.driver);
      }
    }
    RewriteSections(text, removals);
    RemoveListed(text, edits);
    if (!listed.empty())
      ini::WriteSection(text, ini::kDataSourcesSection, listed, ini::Merge::Update);
    for (const SourceEdit& e : edits) {
      if (e.kind == SourceEdit::Kind::Remove) continue;
      ini::KeyValues keys;
      if (!e.driver.empty()) keys.emplace_back("Driver", e.driver);
      keys.insert(keys.end(), e.values.begin(), e.values.end());
      if (present.count(Folded(e.name))) {
        const ini::Merge merge =
            e.kind == SourceEdit::Kind::Replace ? ini::Merge::Replace : ini::Merge::Update;
        rewrites[Folded(e.name)] = Rewrite{std::move(keys), merge};
      } else {
        ini::AppendSection(text, e.name, keys);
        present.insert(Folded(e.name));
      }
    }
    RewriteSections(text, rewrites);
    return true;
  };
  std::string reason;
  // Files made for the user hold passwords: readable by the user alone.
  if (!ini::RewriteFile(file, true, system ? 0644 : 0600, edit, reason))
    throw std::runtime_error(reason);
}

namespace {

// Where a symbolic link leads, followed to its end whether or not that end exists yet: an
// export through a dangling link makes the file it names, as a shell's redirection does.
std::string Followed(const std::string& requested) {
  std::string path = requested;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) break;
    target.resize(static_cast<size_t>(n));
    if (target.empty() || target[0] != '/') {
      const size_t slash = path.rfind('/');
      target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
    }
    path = target;
  }
  if (char* real = realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  return path;
}

// A file to replace by rename must be a regular file the caller may write: a rename would
// put a file in place of a device or a FIFO, and would bypass a file's own permissions. A
// symbolic link is written through to the file it names, as the configuration files are.
// Answers the path and the mode the file has (0 for a new one).
std::pair<std::string, mode_t> OutputTarget(const std::string& requested) {
  const std::string path = Followed(requested);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {path, 0};  // a new file
  const char* kind = S_ISREG(st.st_mode)    ? nullptr
                     : S_ISDIR(st.st_mode)  ? "a folder"
                     : S_ISFIFO(st.st_mode) ? "a FIFO"
                     : S_ISCHR(st.st_mode)  ? "a character device"
                     : S_ISBLK(st.st_mode)  ? "a block device"
                                            : "not a regular file";
  if (kind)
    throw std::runtime_error(path + " is " + kind + "; an export is written to a regular file");
  if (std::string why = platform::odbcini::WhyNotWritable(path); !why.empty())
    throw std::runtime_error(why);
  return {path, st.st_mode & 07777};
}

}  // namespace

void WriteOutputFile(const std::string& requested, const std::string& bytes, bool secret) {
  // A file replaced keeps its mode, so an owner-only one stays owner-only; a new file without
  // secrets gets what the umask allows, as a shell's redirection would. Passwords are for the
  // owner alone either way.
  const mode_t mask = umask(0);
  umask(mask);
  const auto [path, mode] = OutputTarget(requested);
  mode_t wanted = mode != 0 ? mode : 0666 & ~mask;
  if (secret) wanted &= 0700;
  platform::odbcini::ReplaceFile(path, bytes, wanted);
}

void WriteStandardOutput(const std::string& bytes) { std::cout.write(bytes.data(), bytes.size()); }

}  // namespace tabrix::cli::host
