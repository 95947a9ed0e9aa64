# Sourced by the scripts that must catch the program in the middle of its
# work. Nothing here waits for a moment: the program stops itself at a
# point of its work (strace hands it SIGSTOP as a call returns), so a fast
# disk or a busy core cannot move where it stands when it is looked at.
# $windows set: the Windows build under wine.

# LeakSanitizer cannot work under ptrace, and ends a sanitizer build that
# strace holds with an error of its own.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0

# The call that each stretch of a large copy ends with: the one that sends
# it on to the disk (under wine, a flush).
stretch_call() { [ -n "${windows:-}" ] && echo fsync || echo sync_file_range; }

# hold WHEN: the words that run a command stopped as the WHEN-th call of
# CALL is made (WHEN as strace takes it: N, or N..M+2 for every other one
# from N to M, since a call that a stop cuts short is made again); CALL is
# the large copy's stretch unless $hold_call names another. strace logs
# the stops in $held_log. held WHEN COMMAND... runs it.
hold() {
    local call=${hold_call:-$(stretch_call)}
    echo "strace -f -q -o $held_log -e trace=$call -e inject=$call:signal=SIGSTOP:when=$1"
}
held() { $(hold "$1") "${@:2}"; }

# stopped PID N: waits until PID has stopped itself N times in all, as
# strace saw (a process in a call's trace stop looks stopped too); false
# when it ended first.
stopped() {
    local log
    for _ in $(seq 6000); do
        log=$(cat "$held_log" 2>/dev/null)
        [ "$(grep -c "^$1 *--- stopped by SIGSTOP ---" <<< "$log")" -ge "$2" ] && return 0
        grep -q "^$1 *+++ " <<< "$log" && return 1
        sleep 0.01
    done
    return 1
}

# pending PID SIGNAL: waits until SIGNAL (a number) waits for PID, as one
# typed at its terminal does a moment after the keys.
pending() {
    local mask
    for _ in $(seq 3000); do
        for mask in $(awk '/^(SigPnd|ShdPnd):/ { print $2 }' "/proc/$1/status" 2>/dev/null); do
            (( (16#$mask >> ($2 - 1)) & 1 )) && return 0
        done
        sleep 0.01
    done
    return 1
}
