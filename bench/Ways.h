// The three ways of doing the same work on the user odbc.ini: Tabrix's library, libodbcinst's
// profile calls, and the odbcinst tool. Each adds and removes kAddedName and tests whether a
// data source exists; each call returns whether that way reported success.
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
  // Peak resident set of the last child process in kB; 0 for ways that work in-process.
  virtual long LastChildPeakKb() const { return 0; }
};

// "tabrix", "profile" or "tool"; null for any other name.
std::unique_ptr<Way> MakeWay(std::string_view name, const Files& files);

// Runs a program with its output discarded; returns its exit status (-1 when it could not
// run or did not exit) and its peak resident set in kB.
int RunQuietly(const std::vector<std::string>& argv, long& peakKb);

}  // namespace bench
