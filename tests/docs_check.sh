#!/bin/sh
# Checks that the manual page renders without a warning and names the project's
# version, and that every example in the manual page and the README, a line
# "$ [dir/]SEALWRIT ARGS..." followed by the output line, is what the program
# really prints.
#   docs_check.sh SEALWRIT MANPAGE README VERSION
set -eu
program=$1 manpage=$2 readme=$3 version=$4
failed=0

if ! grep -q "^\.TH SEALWRIT 1 .* \"SEALWRIT $version\"" "$manpage"; then
  echo "the .TH line of $manpage does not name version $version:"
  grep '^\.TH' "$manpage"
  failed=1
fi

warnings=$(groff -man -ww -z "$manpage" 2>&1)
if [ -n "$warnings" ]; then
  printf 'groff warns about %s:\n%s\n' "$manpage" "$warnings"
  failed=1
fi

# A header name broken across lines cannot be copied from the page: at the usual
# widths it stays whole.
for width in 72 80 100; do
  if ! groff -man -Tutf8 -rLL=${width}n "$manpage" 2>/dev/null | sed 's/.\x08//g' |
       grep -q '<sealwrit/CRijnDael.h>'; then
    echo "$manpage breaks <sealwrit/CRijnDael.h> across lines at $width columns"
    failed=1
  fi
done

# Prints "ARGS<US>OUTPUT" for each example in a text (US, the unit separator, cannot
# occur in either, and unlike a tab it keeps an empty ARGS).
us=$(printf '\037')
examples() {
  awk -v us="$us" '/^[ \t]*\$ ([^ ]*\/)?SEALWRIT( |$)/ {
         sub(/^[ \t]*\$ ([^ ]*\/)?SEALWRIT ?/, ""); args = $0
         if ((getline out) > 0) { sub(/^[ \t]*/, "", out); print args us out }
       }'
}

check() {  # NAME, then the text on standard input
  count=0
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    args=${line%%"$us"*} expected=${line#*"$us"}
    count=$((count + 1))
    # The examples are written for a shell, quotes and all.
    actual=$(eval "\"\$program\" $args")
    if [ "$actual" = "$expected" ]; then
      echo "$1: SEALWRIT $args -> $actual"
    else
      printf '%s: SEALWRIT %s\n  documented: %s\n  printed:    %s\n' "$1" "$args" "$expected" "$actual"
      failed=1
    fi
  done <<ENDOFEXAMPLES
$(examples)
ENDOFEXAMPLES
  if [ "$count" -eq 0 ]; then
    echo "$1: no examples found"
    failed=1
  fi
}

rendered=$(groff -man -Tutf8 -P-cbou "$manpage")
check "manual page" <<ENDOFPAGE
$rendered
ENDOFPAGE
check README < "$readme"
exit "$failed"
