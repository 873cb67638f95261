#!/bin/bash
# dbase.sh BUILD CLIENT LOCALE: the dBase and Visual FoxPro data sources, read by one client
# (isql, pyodbc, perl) through unixODBC's driver manager, in a private ODBC folder, under
# LANG=LOCALE. The tables are written by python3-dbf (make_tables.py).
set -euo pipefail
build=$1 client=$2 locale=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$here/locale.sh"
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini HOME=$work
unset ODBCSEARCH ODBCINSTINI

/usr/bin/python3 "$here/make_tables.py" "$work"
cat >"$work/odbcinst.ini" <<INI
[Microsoft dBase Driver (*.dbf)]
Driver=$build/libtabrixodbc.so

[Microsoft Visual FoxPro Driver (*.dbf)]
Driver=$build/libtabrixodbc.so
INI
# The data sources as tabrix create makes them: the folder as DefaultDir (dBase) or as DBQ
# (FoxPro).
"$build/tabrix" create Towns --user --driver dbase --default-dir "$work/dbase" >/dev/null
"$build/tabrix" create Stock --user --driver foxpro --workbook "$work/foxpro" >/dev/null

foreign=()
if [[ "${TABRIX_SANITIZE:-OFF}" == ON ]]; then
  foreign=(env "LD_PRELOAD=$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)"
           "ASAN_OPTIONS=detect_leaks=0:replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0")
fi

case $client in
  isql)
    for dsn in Towns Stock; do
      echo "== $dsn"
      "${foreign[@]}" isql -b -v -d'|' "$dsn" <"$here/dbase-$dsn.sql" 2>&1 || true
    done >"$work/out"
    sed "s|$work|@FOLDER@|g" "$work/out" | diff -u "$here/dbase-isql.expected" -
    ;;
  pyodbc) "${foreign[@]}" /usr/bin/python3 "$here/dbase_pyodbc.py" "$work" ;;
  perl) "${foreign[@]}" perl "$here/dbase_dbd_odbc.pl" "$work" ;;
  *) echo "dbase.sh: unknown client '$client'" >&2; exit 2 ;;
esac
