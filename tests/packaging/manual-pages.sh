#!/usr/bin/env bash
# The manual pages the build made (help2man from the programs' --help): one for each
# program the install rules install, one for each lonctl command, and every page formats
# without a warning from man, the check lintian makes of a package's pages.
#   manual-pages.sh MAN1_FOLDER LONCTL PROGRAMS_FILE (the installed programs, one a line)
set -euo pipefail
man_dir=$1
lonctl=$2
programs_file=$3
command -v man >/dev/null || { echo "man is not installed (man-db)"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

commands=$({ "$lonctl" no-such-command 2>&1 || true; } | sed -n 's/.*Commands: \(.*\)\.$/\1/p' | tr -d ',')
[[ $commands == *write* ]] || { echo "lonctl did not list its commands"; exit 1; }
mapfile -t pages <"$programs_file"
((${#pages[@]} > 0)) || { echo "no programs in $programs_file"; exit 1; }
for command in $commands; do
  pages+=("lonctl-$command")
done

for page in "${pages[@]}"; do
  file=$man_dir/$page.1.gz
  if [[ ! -f $file ]]; then
    fail "no manual page $page.1.gz"
    continue
  fi
  # What man says while formatting the page for an 80-column terminal, as lintian runs it.
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page: $warnings"
  # The NAME line that whatis and apropos show: "<page> - <what it does>".
  name_line=$(MANWIDTH=200 man -l "$file" 2>/dev/null | sed -n '/^NAME/{n;p;q}' | sed 's/^ *//')
  [[ $name_line == "$page - "?* ]] || fail "$page: NAME line \"$name_line\""
done
echo "${#pages[@]} pages checked"
((failures == 0)) || { echo "$failures failed"; exit 1; }
