#!/bin/sh
# Writes mksetup's manual page (roff) from its own --help texts, so that the
# page never disagrees with the program: make-manpage.sh MKSETUP OUT.1
set -eu
tool=$1
out=$2
# Backslashes doubled; a line may not start with a dot or an apostrophe.
text() { sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"; }
version=$("$tool" --version | sed 's/^mksetup //')
{
  echo ".TH MKSETUP 1 \"\" \"mksetup $version\" \"User Commands\""
  echo ".SH NAME"
  echo "mksetup \\- build, list, test and extract single-file Windows setups"
  echo ".SH SYNOPSIS"
  echo ".nf"
  "$tool" --help | text
  echo ".fi"
  for command in build list test extract; do
    echo ".SH \"MKSETUP $(echo $command | tr a-z A-Z)\""
    echo ".nf"
    "$tool" "$command" --help | text
    echo ".fi"
  done
} >"$out"
