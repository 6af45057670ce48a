#!/bin/sh
# valgrind memcheck on SEALWRIT with a text of LENGTH letters: any memory error or
# leak fails. The Base64 string is freed before exit, so nothing is left reachable
# but what the C library keeps for itself.
#   valgrind_program.sh VALGRIND SEALWRIT LENGTH
set -eu
valgrind=$1 program=$2 length=$3
text=$(head -c "$length" /dev/zero | tr '\0' 'q')
"$valgrind" --tool=memcheck --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=all --quiet "$program" -t ENC "$text" >/dev/null
