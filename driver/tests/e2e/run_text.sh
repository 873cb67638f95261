#!/bin/bash
# run_text.sh BUILD CLIENT LOCALE: the Text driver through unixODBC's driver manager with one
# client (isql, pyodbc, perl), in a private ODBC folder, under LANG=LOCALE. The files are
# written by Python's csv module and by hand; the data source by tabrix create.
set -euo pipefail
build=$1 client=$2 locale=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$here/locale.sh"
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini HOME=$work
unset ODBCSEARCH ODBCINSTINI

/usr/bin/python3 "$here/make_text_files.py" "$work/data"
cat >"$work/odbcinst.ini" <<INI
[Microsoft Text Driver (*.txt, *.csv)]
Description=Tabrix ODBC driver for folders of text files
Driver=$build/libtabrixodbc.so
INI
"$build/tabrix" create Texts --user --driver text --default-dir "$work/data" >/dev/null

foreign=()
if [[ "${TABRIX_SANITIZE:-OFF}" == ON ]]; then
  foreign=(env "LD_PRELOAD=$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)"
           "ASAN_OPTIONS=detect_leaks=0:replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0")
fi

case $client in
  isql)
    "${foreign[@]}" isql -b -v -d'|' Texts <"$here/text.sql" >"$work/out" 2>&1 || true
    sed "s|$work|@FOLDER@|g" "$work/out" | diff -u "$here/text.expected" -
    ;;
  pyodbc) "${foreign[@]}" /usr/bin/python3 "$here/text_pyodbc.py" "$work/data" ;;
  perl) "${foreign[@]}" perl "$here/text_dbd_odbc.pl" "$work/data" ;;
  *) echo "run_text.sh: unknown client '$client'" >&2; exit 2 ;;
esac
