#!/bin/sh
# The guests' test agent: runs each script the host sends over a serial line
# and answers with its exit code and output, both lines base64 so that nothing
# in them can break the framing.
#   host:  PING                        guest: PONG
#   host:  RUN ID SECONDS BASE64-SCRIPT   guest: DONE ID RC BASE64-OUTPUT
# A script still running after SECONDS is ended (exit code 124 or 143), so
# that one hung program cannot hold up the scripts after it.
port=${1:-/dev/ttyS1}
stty -F "$port" raw -echo
exec 3<>"$port"
while read -r verb id seconds payload <&3; do
    case $verb in
        PING) echo PONG >&3 ;;
        RUN)
            printf '%s' "$payload" | base64 -d >/tmp/agent-job.sh
            (cd /tmp && timeout "$seconds" sh /tmp/agent-job.sh) </dev/null >/tmp/agent-job.out 2>&1
            rc=$?
            printf 'DONE %s %s %s\n' "$id" "$rc" "$(base64 -w 0 /tmp/agent-job.out)" >&3
            ;;
    esac
done
