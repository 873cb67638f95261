# Sourced by the end-to-end scripts, with $locale and $work set: runs everything below under
# LANG=LC_ALL=$locale. A locale the machine has not installed (tr_TR.UTF-8, whose 'i' and
# 'I' are no pair) is made for this run from Debian's locale sources, in $work.
case $locale in
  C | C.UTF-8 | POSIX) ;;
  *)
    mkdir -p "$work/locales"
    # localedef exits non-zero for warnings too: what counts is whether it made the locale.
    localedef -i "${locale%%.*}" -f "${locale#*.}" "$work/locales/$locale" \
      >"$work/localedef.log" 2>&1 || true
    if [ ! -d "$work/locales/$locale" ]; then
      cat "$work/localedef.log" >&2
      echo "$0: cannot make the locale $locale (Debian's package locales holds its sources)" >&2
      exit 1
    fi
    export LOCPATH=$work/locales
    ;;
esac
export LANG=$locale LC_ALL=$locale
