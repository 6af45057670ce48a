#!/bin/sh
# Checks that rijndael's manual page renders without a warning and names the
# project's version, and that its examples and the README's do what they show: each
# line "$ COMMAND" is run, in one shell so that a variable set by one example serves
# the next, and what it prints must be the lines under it, up to a blank line.
#   rijndael_docs_check.sh RIJNDAEL MANPAGE README VERSION
set -eu
program=$(realpath "$1") manpage=$(realpath "$2") readme=$(realpath "$3") version=$4
failed=0

if ! grep -q "^\.TH RIJNDAEL 1 .* \"SEALWRIT $version\"" "$manpage"; then
  echo "the .TH line of $manpage does not name version $version"
  failed=1
fi
warnings=$(groff -man -ww -z "$manpage" 2>&1)
if [ -n "$warnings" ]; then
  printf 'groff warns about %s:\n%s\n' "$manpage" "$warnings"
  failed=1
fi

# The examples call the program by its name, or as the README's build/program/rijndael.
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
ln -s "$(cd "$(dirname "$program")" && pwd)/$(basename "$program")" "$bin/rijndael"
PATH=$bin:$PATH
cd "$bin"  # examples that write files write them here

count=0 command="" expected=""
run() {
  [ -n "$command" ] || return 0
  count=$((count + 1))
  eval "$(printf "%s\n" "$command" | sed 's#[^ ]*/rijndael #rijndael #g')" >"$bin/out" 2>&1 || true
  # A NUL byte, which the shell would drop, shows as "@".
  actual=$(tr '\000' @ <"$bin/out")
  if [ "$actual" = "$expected" ]; then
    printf '%s: %s -> %s\n' "$1" "$command" "$actual"
  else
    printf '%s: %s\n  documented: %s\n  printed:    %s\n' "$1" "$command" "$expected" "$actual"
    failed=1
  fi
  command=""
}
check() {  # NAME PATTERN, the text on standard input: runs the commands that match PATTERN
  count=0
  while IFS= read -r line; do
    line=$(printf "%s\n" "$line" | sed 's/^[ \t]*//')
    case $line in
      '$ '*) run "$1"; command=${line#??} expected=""
             printf "%s\n" "$command" | grep -q "$2" || command="" ;;
      '' | '```'*) run "$1" ;;
      *) [ -z "$command" ] || expected=${expected:+$expected
}$line ;;
    esac
  done
  run "$1"
  if [ "$count" -eq 0 ]; then
    echo "$1: no examples found"
    failed=1
  fi
}

# The table of PHP's and .NET's names is the same in -h and on the page, and every
# option it names is one the program takes. (What each means is held to PHP and .NET
# themselves by tests/rijndael_legacy_test.cpp.)
rijndael -h | sed -n '/^What PHP/,/^See/p' | sed '1d;$d;s/^ *//' | tr -s ' ' >"$bin/help-table"
groff -man -Tutf8 -P-cbou "$manpage" | sed -n '/^PHP AND .NET/,/^EXIT STATUS/p' |
  grep -E '  (-[mpb] |\(Rijndael)' | sed 's/^ *//' | tr -s ' ' >"$bin/page-table"
if ! diff "$bin/help-table" "$bin/page-table" || [ "$(wc -l <"$bin/help-table")" -lt 10 ]; then
  echo "the table of PHP's and .NET's names differs between -h and $manpage"
  failed=1
fi
zeros=00000000000000000000000000000000
for option in $(grep -oE -- '-[mpb] [a-z0-9]+' "$bin/help-table" | tr ' ' =); do
  name=${option%%=*} value=${option#*=} iv="-iv $zeros"
  [ "$name" != -b ] || iv="-iv $(printf "%0$((value * 2))d" 0)"
  [ "$value" != ecb ] || iv=""
  if ! rijndael -e "$name" "$value" -K $zeros $iv </dev/null >/dev/null; then
    echo "the table names $name $value, which rijndael refuses"
    failed=1
  fi
done

groff -man -Tutf8 -P-cbou "$manpage" | sed -n '/^EXAMPLES/,/^SECURITY/p' >"$bin/page"
check "manual page" . <"$bin/page"
check README rijndael <"$readme"
exit "$failed"
