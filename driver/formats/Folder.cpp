#include "driver/formats/Folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

const char* WhatItIs(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

class Directory {
 public:
  explicit Directory(DIR* dir) : dir_(dir) {}
  ~Directory() {
    if (dir_) closedir(dir_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

}  // namespace

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

std::vector<std::string> ParseExtensions(const std::string& list) {
  std::vector<std::string> out;
  std::string current;
  bool any = false;
  auto flush = [&] {
    if (!any) return;
    std::string e = current;
    if (e.rfind("*.", 0) == 0) e = e.substr(2);
    else if (!e.empty() && e[0] == '.') e = e.substr(1);
    e = Lower(e);
    if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
    current.clear();
    any = false;
  };
  for (char c : list) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t') {
      flush();
    } else {
      current += c;
      any = true;
    }
  }
  flush();
  return out;
}

std::vector<FolderFile> ListFolder(const std::string& folder,
                                   const std::vector<std::string>& extensions) {
  struct stat st{};
  if (::stat(folder.c_str(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT) throw FormatError(folder + ": no such folder");
    throw FormatError(folder + ": cannot be read (" + std::strerror(error) + ")");
  }
  if (!S_ISDIR(st.st_mode))
    throw FormatError(folder + ": " + WhatItIs(st.st_mode) + ", not a folder of tables");
  Directory dir(::opendir(folder.c_str()));
  if (!dir.get()) {
    throw FormatError(folder + ": cannot be listed (" + std::strerror(errno) + ")");
  }
  const bool every = std::find(extensions.begin(), extensions.end(), "*") != extensions.end();
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';
  std::vector<FolderFile> files;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      if (errno != 0) {
        throw FormatError(folder + ": cannot be listed (" + std::strerror(errno) + ")");
      }
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderFile file;
    file.name = name;
    file.path = base + name;
    const size_t dot = name.rfind('.');
    // A leading dot makes a hidden name, not an extension.
    if (dot != std::string::npos && dot > 0) {
      file.stem = name.substr(0, dot);
      file.extension = name.substr(dot + 1);
    } else {
      file.stem = name;
    }
    if (!every && std::find(extensions.begin(), extensions.end(), Lower(file.extension)) ==
                      extensions.end()) {
      continue;
    }
    struct stat entrySt{};
    if (::stat(file.path.c_str(), &entrySt) == 0 && S_ISDIR(entrySt.st_mode)) continue;
    files.push_back(std::move(file));
  }
  std::sort(files.begin(), files.end(),
            [](const FolderFile& a, const FolderFile& b) { return a.name < b.name; });
  return files;
}

int OpenRegularFile(const std::string& path, uint64_t& size) {
  // As for a workbook: what is no regular file by its name is refused unopened; O_NONBLOCK
  // keeps a FIFO swapped in after that check from holding the open, and fstat then decides.
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw FormatError(path + ": " + WhatItIs(st.st_mode) + ", not a file that can be read");
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) throw FormatError(path + ": no such file");
    throw FormatError(path + ": cannot be opened (" + std::strerror(error) + ")");
  }
  FileDescriptor owner(fd);
  if (::fstat(fd, &st) != 0)
    throw FormatError(path + ": cannot be read (" + std::strerror(errno) + ")");
  if (!S_ISREG(st.st_mode))
    throw FormatError(path + ": " + WhatItIs(st.st_mode) + ", not a file that can be read");
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  size = static_cast<uint64_t>(st.st_size);
  return owner.release();
}

}  // namespace tabrix::formats
