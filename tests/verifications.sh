# Sourced by the shell tests: named checks counted and reported as ctest shows them, and polling.
reussis=0
echoues=0
verifier() { # description, then the command that must succeed
    local description=$1
    shift
    if "$@"; then
        reussis=$((reussis + 1))
        echo "PASS   : $description"
    else
        echoues=$((echoues + 1))
        echo "FAIL!  : $description"
    fi
}
attendre() { # seconds, then a command polled until it succeeds
    local fin=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $fin ] && return 1
        sleep 0.3
    done
}
bilan() {
    echo "$reussis passed, $echoues failed"
    [ "$echoues" = 0 ]
}
fini() { ! kill -0 "$1" 2>/dev/null; }
