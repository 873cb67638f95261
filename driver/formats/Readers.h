// The readers behind OpenWorkbook, one per format; each takes the descriptor of the checked,
// opened file (and closes it), so that the file read is the file that was checked.
#pragma once

#include <memory>
#include <string>

#include "driver/formats/Workbook.h"

namespace tabrix::formats {

std::unique_ptr<Workbook> OpenXlsx(int fd, const std::string& path);
std::unique_ptr<Workbook> OpenXls(int fd, const std::string& path);

// The folders: each lists its files (Folder.h) and reads one when ReadSheet asks for it.
std::unique_ptr<Workbook> OpenTextFolder(const std::string& folder, const DatabaseOptions& options);
std::unique_ptr<Workbook> OpenDbfFolder(const std::string& folder, const DatabaseOptions& options,
                                        DatabaseKind kind);

// Whether the OLE2 compound file at `fd` holds a stream named `name` (an encrypted Office
// Open XML workbook holds "EncryptedPackage"). Reads the directory's sectors only.
bool CompoundFileHasStream(int fd, const std::u16string& name);

}  // namespace tabrix::formats
