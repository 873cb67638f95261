// A folder that is a database (of text or .dbf files): which of its files are tables, and
// opening one of them so that nothing can block and what is read is what was checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabrix::formats {

struct FolderFile {
  std::string path;       // the folder's path joined with the name
  std::string name;       // the file's name in the folder ("sales.csv")
  std::string stem;       // the name without its extension ("sales")
  std::string extension;  // without the dot ("csv"), as the name spells it; empty for none
};

// The entries of the folder at `folder` whose extension is one of `extensions` (compared
// without regard to case; "*" takes every name, "" a name without an extension), by name.
// Sub-folders are never tables; other entries that are no regular file (FIFOs, devices,
// sockets, links to such) are listed, so that reading them is refused by name rather than
// their absence going untold. Throws FormatError naming the folder when it is missing, no
// folder, or cannot be listed.
std::vector<FolderFile> ListFolder(const std::string& folder,
                                   const std::vector<std::string>& extensions);

// Splits "txt,csv;tab" (commas, semicolons or blanks between, dots before an extension
// allowed: "*.csv") into extensions, lower-cased.
std::vector<std::string> ParseExtensions(const std::string& list);

// The descriptor of the regular file at `path`, opened read-only and never blocking on open
// (a FIFO or a device is refused by what it is, before and after opening). The caller owns
// it. `size` receives the file's size. Throws FormatError naming the path.
int OpenRegularFile(const std::string& path, uint64_t& size);

// A descriptor closed when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace tabrix::formats
