// Where unixODBC's configuration files are.
#pragma once

#include <string>

namespace platform::odbcini {

// The files, found as unixODBC 2.3.11 finds them: the user file is $ODBCINI, else the home
// directory from the password database plus "/.odbc.ini" (an entry that does not fit a
// 1,024-byte buffer, or none, gives "/home/.odbc.ini"); the system file is
// $ODBCSYSINI/odbc.ini; the drivers file is $ODBCSYSINI/$ODBCINSTINI ("odbcinst.ini" when
// unset; set but empty, the folder itself, which reads as empty).
std::string UserFile();
std::string SystemFile();
std::string DriversFile();
// The user's drivers, which unixODBC reads beneath the drivers file with Reader::Append:
// $HOME/.odbcinst.ini ("/home/.odbcinst.ini" without $HOME). A driver the drivers file
// defines is never taken from it.
std::string UserDriversFile();
// Reads the drivers file as ReadFile does, except that a path ending in "/" ($ODBCINSTINI set
// but empty) reads as an empty file, as unixODBC's fopen and fgets read the folder; the user's
// drivers are still read beneath it.
bool ReadDriversFile(const std::string& path, std::string& text);

}  // namespace platform::odbcini
