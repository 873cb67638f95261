// <windows.h> and the Windows API headers our Windows sources use, included only from here.
// Their macros would rewrite names our own headers declare (the registry roots, the
// installer's request codes, ShellExecute, SW_SHOWNORMAL, DEFAULT_CHARSET); each of ours
// stands for the same value as Windows' own, so those macros are removed here, and our
// headers may come before or after this one.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max stay functions
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN  // the headers we need are named below
#endif

#include <windows.h>
// Each needs windows.h before it.
#include <commdlg.h>
#include <odbcinst.h>
#include <shellapi.h>

#undef DEFAULT_CHARSET
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef ODBC_ADD_DSN
#undef ODBC_CONFIG_DSN
#undef ODBC_REMOVE_DSN
#undef ODBC_ADD_SYS_DSN
#undef ODBC_CONFIG_SYS_DSN
#undef ODBC_REMOVE_SYS_DSN
#undef ODBC_REMOVE_DEFAULT_DSN
#undef SW_SHOWNORMAL
#undef ShellExecute
