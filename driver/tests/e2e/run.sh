#!/bin/bash
# run.sh BUILD CLIENT LOCALE: one client (isql, iusql, pyodbc, perl, c, threads) against the driver built
# in BUILD, through unixODBC's driver manager, in a private ODBC folder, under LANG=LOCALE.
# Workbooks are written by independent writers; the data sources by the built client.
set -euo pipefail
build=$1 client=$2 locale=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$here/locale.sh"
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini HOME=$work
unset ODBCSEARCH ODBCINSTINI

/usr/bin/python3 "$here/make_workbooks.py" "$work"
cat >"$work/odbcinst.ini" <<INI
[Microsoft Excel Driver (*.xls)]
Description=Tabrix ODBC driver for Excel workbooks
Driver=$build/libtabrixodbc.so
INI
for dsn in Sales:sales.xlsx People:people.xlsx Legacy:legacy.xls; do
  "$build/tabrix" create "${dsn%%:*}" --user --workbook "$work/${dsn#*:}" >/dev/null
done

# Programs built without the sanitizers load a driver built with them only if their runtime is
# loaded first, with the C++ runtime whose exceptions it intercepts (these programs are C);
# their own leaks and string overlaps (iusql's strncpy) are not the driver's.
foreign=()
if [[ "${TABRIX_SANITIZE:-OFF}" == ON ]]; then
  foreign=(env "LD_PRELOAD=$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)"
           "ASAN_OPTIONS=detect_leaks=0:replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0")
fi

case $client in
  isql|iusql)
    # isql through the ANSI entry points, iusql through the wide ones. iusql widens each byte
    # it reads as a signed char (0xC3 becomes U+FFC3) and narrows what it prints, so its
    # statements and answers are ASCII; the wide calls' non-ASCII text is the C client's and
    # pyodbc's to test.
    "${foreign[@]}" "$client" -b -v -d'|' Sales <"$here/$client.sql" >"$work/out" 2>&1 || true
    sed "s|$work|@FOLDER@|g" "$work/out" | diff -u "$here/$client.expected" -
    ;;
  pyodbc) "${foreign[@]}" /usr/bin/python3 "$here/pyodbc_client.py" "$work" ;;
  perl) "${foreign[@]}" perl "$here/dbd_odbc_client.pl" "$work" ;;
  c) "$build/driver/tests/driver_e2e_client" "$work" ;;
  threads) "$build/driver/tests/driver_e2e_threads" "$work" ;;
  *) echo "run.sh: unknown client '$client'" >&2; exit 2 ;;
esac
