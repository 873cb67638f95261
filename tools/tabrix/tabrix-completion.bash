# Bash completion for tabrix: verbs, each verb's options, --excel-version and --driver values, data-source
# names (from `tabrix list`) where a verb names an existing one, files and folders elsewhere.
# A new verb: add it to _tabrix_verbs, and a line to _tabrix_options and, when it takes
# arguments, to _tabrix_arguments.

_tabrix_verbs="create configure remove find list drivers register-mdw run export import apply about"

# The options of a verb, as `tabrix VERB --help` lists them.
_tabrix_options() {
  local properties="--description --workbook --default-dir --uid --password-stdin
    --max-scan-rows --excel-version --implicit-commit-sync --read-only --no-read-only
    --first-row-has-names --no-first-row-has-names --safe-transactions --threads
    --user-commit-sync --no-user-commit-sync"
  case $1 in
    create) echo "--help --user --system --driver $properties --dry-run --wait --config-dir --json" ;;
    configure) echo "--help --user --system $properties --dry-run --wait --config-dir --json" ;;
    remove) echo "--help --user --system --dry-run --wait --config-dir --json" ;;
    find | list) echo "--help --user --system --config-dir --json" ;;
    drivers) echo "--help --config-dir --json" ;;
    register-mdw) echo "--help --system --dry-run --wait --config-dir --json" ;;
    run) echo "--help --dry-run --wait --config-dir --json" ;;
    export) echo "--help --user --system --format --output --include-passwords --config-dir" ;;
    import) echo "--help --user --system --map-path --dry-run --wait --config-dir" ;;
    apply) echo "--help --check --diff --wait --config-dir --json" ;;
    about) echo "--help --png" ;;
  esac
}

# What a verb's arguments are, in order: dsn (an existing data source), file, or new (a name
# that does not exist yet, not completed); a last kind ending in "..." repeats.
_tabrix_arguments() {
  case $1 in
    create) echo "new" ;;
    configure | remove | find) echo "dsn" ;;
    register-mdw) echo "dsn file" ;;
    run | import | apply) echo "file" ;;
    export) echo "dsn..." ;;
  esac
}

# The options that take a value.
_tabrix_valued="--driver --description --workbook --default-dir --uid --max-scan-rows --excel-version
  --implicit-commit-sync --safe-transactions --threads --wait --config-dir --png --format -o
  --output --map-path"

# The data-source names `tabrix list` shows for this command line: its --config-dir, and its
# --user or --system (register-mdw works on user data sources unless --system is given).
_tabrix_data_sources() {
  local program=$1 verb=$2 i scope="" dir=""
  for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
    [[ $i -eq $COMP_CWORD ]] && continue
    case ${COMP_WORDS[i]} in
      --user) scope=--user ;;
      --system) scope=--system ;;
      --config-dir) dir=${COMP_WORDS[i + 1]} ;;
    esac
  done
  [[ $verb == register-mdw && -z $scope ]] && scope=--user
  dir=${dir/#\~/$HOME}
  # The names end where the SCOPE column starts: they may hold blanks.
  "$program" list $scope ${dir:+--config-dir "$dir"} 2>/dev/null | LC_ALL=C awk '
    NR == 1 { column = index($0, "  SCOPE"); next }
    column > 0 { name = substr($0, 1, column - 1); sub(/ +$/, "", name); print name }'
}

_tabrix() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=""
  [[ $COMP_CWORD -gt 0 ]] && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local program=${COMP_WORDS[0]/#\~/$HOME}
  COMPREPLY=()

  # The verb, and how many arguments stand before the word being completed.
  local i word verb="" arguments=0 skip=false
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if $skip; then
      skip=false
    elif [[ $word == -* ]]; then
      [[ " "$_tabrix_valued" " == *[[:space:]]"$word"[[:space:]]* ]] && skip=true
    elif [[ -z $verb ]]; then
      verb=$word
    else
      ((arguments++))
    fi
  done

  if [[ -z $verb ]]; then
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "--help --version" -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -W "$_tabrix_verbs" -- "$cur")
    fi
    return 0
  fi

  case $prev in
    --excel-version)
      mapfile -t COMPREPLY < <(compgen -W "Excel3 Excel4 Excel5 Excel95 Excel97 Excel2000" -- "$cur")
      return 0 ;;
    --driver)
      mapfile -t COMPREPLY < <(compgen -W "access excel text paradox dbase foxpro" -- "$cur")
      return 0 ;;
    --config-dir | --default-dir)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return 0 ;;
    --format)
      mapfile -t COMPREPLY < <(compgen -W "json reg ini" -- "$cur")
      return 0 ;;
    --workbook | --png | -o | --output)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return 0 ;;
  esac
  [[ " "$_tabrix_valued" " == *[[:space:]]"$prev"[[:space:]]* ]] && return 0

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_tabrix_options "$verb")" -- "$cur")
    return 0
  fi

  local kinds kind
  read -ra kinds <<<"$(_tabrix_arguments "$verb")"
  kind=${kinds[arguments]:-}
  if [[ -z $kind && ${#kinds[@]} -gt 0 && ${kinds[${#kinds[@]} - 1]} == *... ]]; then
    kind=${kinds[${#kinds[@]} - 1]}
  fi
  case ${kind%...} in
    dsn)
      # Names may hold blanks: match the unquoted word, offer each name quoted.
      local typed=${cur//\\/} name
      typed=${typed#[\"\']}
      while IFS= read -r name; do
        [[ $name == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
      done < <(_tabrix_data_sources "$program" "$verb")
      ;;
    file)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      ;;
  esac
  return 0
}

complete -F _tabrix tabrix
