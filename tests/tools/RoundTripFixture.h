// Two data sources as the Linux build exports them, a user one and a system one, for the
// round trips of both builds: the Linux build's tests check that it writes exactly these
// bytes, the Windows build's tests that its registry takes them in and gives them back.
#pragma once

#include <string>

namespace roundtrip {

// The files the Linux build exported them from, with odbcinst.ini naming the driver's library
// as Windows does. Each data source's values are in the order of their names (Driver first),
// the order Wine's registry lists a key's values in: a registry keeps no order of its own.
inline const std::string kDrivers =
    "[Microsoft Excel Driver (*.xls)]\nDriver = C:\\Windows\\system32\\odbcjt32.dll\n";
inline const std::string kUserIni =
    "[ODBC Data Sources]\n"
    "TabrixRoundA = Microsoft Excel Driver (*.xls)\n"
    "\n"
    "[TabrixRoundA]\n"
    "Driver = Microsoft Excel Driver (*.xls)\n"
    "DBQ = C:\\Data\\Sales.xls\n"
    "DefaultDir = C:\\Data\n"
    "Description = Monthly figures\n"
    "FIL = Excel 8.0\n"
    "FirstRowHasNames = 1\n"
    "ImplicitCommitSync =\n"
    "MaxScanRows = 8\n"
    "PWD =\n"
    "ReadOnly = 1\n"
    "SafeTransactions = 0\n"
    "Threads = 3\n"
    "UID = admin\n"
    "UserCommitSync = No\n";
inline const std::string kSystemIni =
    "[ODBC Data Sources]\n"
    "TabrixRoundB = Microsoft Excel Driver (*.xls)\n"
    "\n"
    "[TabrixRoundB]\n"
    "Driver = Microsoft Excel Driver (*.xls)\n"
    "DBQ = C:\\Data\\Plan.xls\n"
    "DefaultDir = C:\\\n"
    "FIL = Excel 8.0\n"
    "ReadOnly = 0\n"
    "Threads = 5\n";
inline const std::string kExport = "export TabrixRoundA TabrixRoundB";

// export --format reg, before its encoding: each line ends in CRLF in the file.
inline const std::string kRegText =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI]\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources]\n"
    "\"TabrixRoundA\"=\"Microsoft Excel Driver (*.xls)\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\TabrixRoundA]\n"
    "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\n"
    "\"DBQ\"=\"C:\\\\Data\\\\Sales.xls\"\n"
    "\"DefaultDir\"=\"C:\\\\Data\"\n"
    "\"Description\"=\"Monthly figures\"\n"
    "\"FIL\"=\"Excel 8.0\"\n"
    "\"FirstRowHasNames\"=\"1\"\n"
    "\"ImplicitCommitSync\"=\"\"\n"
    "\"MaxScanRows\"=\"8\"\n"
    "\"PWD\"=\"\"\n"
    "\"ReadOnly\"=\"1\"\n"
    "\"SafeTransactions\"=\"0\"\n"
    "\"Threads\"=\"3\"\n"
    "\"UID\"=\"admin\"\n"
    "\"UserCommitSync\"=\"No\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources]\n"
    "\"TabrixRoundB\"=\"Microsoft Excel Driver (*.xls)\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\TabrixRoundB]\n"
    "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\n"
    "\"DBQ\"=\"C:\\\\Data\\\\Plan.xls\"\n"
    "\"DefaultDir\"=\"C:\\\\\"\n"
    "\"FIL\"=\"Excel 8.0\"\n"
    "\"ReadOnly\"=\"0\"\n"
    "\"Threads\"=\"5\"\n"
    "\n";

// The file's bytes: UTF-16LE with a byte-order mark, CRLF; the text is ASCII.
inline std::string RegBytes() {
  std::string bytes = "\xFF\xFE";
  for (char c : kRegText) {
    if (c == '\n') bytes += std::string("\r\0", 2);
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// export --format json.
inline const std::string kJson = R"J({
  "dsns": [
    {
      "name": "TabrixRoundA",
      "scope": "user",
      "driver": "Microsoft Excel Driver (*.xls)",
      "attributes": [
        [
          "DBQ",
          "C:\\Data\\Sales.xls"
        ],
        [
          "DefaultDir",
          "C:\\Data"
        ],
        [
          "Description",
          "Monthly figures"
        ],
        [
          "FIL",
          "Excel 8.0"
        ],
        [
          "FirstRowHasNames",
          "1"
        ],
        [
          "ImplicitCommitSync",
          ""
        ],
        [
          "MaxScanRows",
          "8"
        ],
        [
          "PWD",
          ""
        ],
        [
          "ReadOnly",
          "1"
        ],
        [
          "SafeTransactions",
          "0"
        ],
        [
          "Threads",
          "3"
        ],
        [
          "UID",
          "admin"
        ],
        [
          "UserCommitSync",
          "No"
        ]
      ]
    },
    {
      "name": "TabrixRoundB",
      "scope": "system",
      "driver": "Microsoft Excel Driver (*.xls)",
      "attributes": [
        [
          "DBQ",
          "C:\\Data\\Plan.xls"
        ],
        [
          "DefaultDir",
          "C:\\"
        ],
        [
          "FIL",
          "Excel 8.0"
        ],
        [
          "ReadOnly",
          "0"
        ],
        [
          "Threads",
          "5"
        ]
      ]
    }
  ]
}
)J";

}  // namespace roundtrip
