#!/bin/sh
# Prints the mirror this machine's apt takes its own release from, in either form of sources, so that a root
# made from it comes from the same archive; says so and fails when there is none.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
miroir=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v s="$suite" 'BEGIN { RS = "" }
    { u = ""; ok = 0; n = split($0, l, "\n")
      for (i = 1; i <= n; i++) {
          if (l[i] ~ /^URIs:/) { split(l[i], c, " "); u = c[2] }
          if (l[i] ~ /^Suites:/ && (l[i] " ") ~ (" " s " ")) ok = 1
      }
      if (ok && u != "") { print u; exit } }')
[ -n "$miroir" ] || miroir=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
    | sed 's/\[[^]]*\] *//' | awk -v s="$suite" '$1 == "deb" && $3 == s { print $2; exit }')
if [ -z "$suite" ] || [ -z "$miroir" ]; then
    echo "no mirror for this machine's release (${suite:-unknown}) in /etc/apt/sources.list or sources.list.d" >&2
    exit 1
fi
echo "$miroir"
