# Sourced by the shell tests: named checks counted and reported as ctest shows them, and polling.
reussis=0 echoues=0
verifier() { # description, then the command that must succeed
    if "${@:2}"; then reussis=$((reussis + 1)) && echo "PASS   : $1"; else echoues=$((echoues + 1)) && echo "FAIL!  : $1"; fi
}
attendre() { # seconds, then a command polled until it succeeds
    local fin=$((SECONDS + $1))
    until "${@:2}"; do [ $SECONDS -lt $fin ] && sleep 0.3 || return 1; done
}
bilan() { echo "$reussis passed, $echoues failed" && [ "$echoues" = 0 ]; }
fini() { ! kill -0 "$1" 2>/dev/null; }
