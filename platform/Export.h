// TABRIX_API marks what a package library exports: the units' declarations for their users,
// the package table, and the framework classes those declarations derive from or take.
// Everything else stays inside the library: its objects are compiled with hidden visibility
// on Linux, and on Windows the linker exports only what is marked once anything is.
#pragma once

#ifdef _WIN32
#define TABRIX_API __declspec(dllexport)
#else
#define TABRIX_API __attribute__((visibility("default")))
#endif
