// The ways of doing the same work on the user odbc.ini: Tabrix's library, libodbcinst's
// profile calls, the odbcinst tool and the tabrix client. Each adds and removes kAddedName
// and tests whether a data source exists; each call returns whether that way reported success.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchFiles.h"

namespace bench {

class Way {
 public:
  virtual ~Way() = default;
  virtual bool Add() = 0;
  virtual bool Remove() = 0;
  virtual bool Exists(const std::string& name) = 0;
  // Whether the work happens in this process rather than in a program run per operation.
  virtual bool InProcess() const { return true; }
  // Peak resident set in kB of the last program run; 0 for ways that work in-process.
  virtual long LastProgramPeakKb() const { return 0; }
  // A run of the way's program that only starts up: the baseline of its peaks.
  virtual std::vector<std::string> IdleProgram() const { return {}; }
};

// "floor", "tabrix", "profile", "tool", "client" (the tabrix program at `client`) or
// "library-run" (the library, one process per operation); null for any other name.
std::unique_ptr<Way> MakeWay(std::string_view name, const Files& files, const std::string& client);

// One operation of the library in this process ("add", "remove", "exists" of `name`, or
// "none"): what tabrix_library_run, the program of the "library-run" way, does.
bool LibraryOnce(const std::string& op, const std::string& name);

// The command line with which the client adds the user data source `name` to the files in
// `folder`, with the keys of SourceKeys but DriverId, which it has no option for.
std::vector<std::string> ClientCreate(const std::string& client, const std::string& folder,
                                      const std::string& name);

}  // namespace bench
