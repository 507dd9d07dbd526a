#!/usr/bin/env bash
# A ThreadSanitizer chaos run of the tsan build (preset tsan) on 300-dpi pages (decoded on two
# threads and read ahead): random steps, scrolls, far jumps, layout switches, remote commands.
# Counts the reports with both accesses in the program's own code (Qt's: tsan.supp).
#   tests/tsan_chaos.sh ZORVANE_TSAN MAKE_PAGES OUT_DIR [SECONDS]   (default 120)

source "$(dirname "$0")/e2e/lib.sh"
seconds=${4:-120}
e2e_init "$@"

e2e_start_x
"$E2E_MAKE_PAGES" --out "$E2E_APP_DIR" --count 12 --dpi 300 >/dev/null || e2e_abort "make_pages failed"
supp=$(cd "$E2E_LIB_DIR/.." && pwd)/tsan.supp
log=$E2E_OUT/tsan_chaos
rm -f "$log".*
e2e_start_program "TSAN_OPTIONS=suppressions=$supp:detect_deadlocks=0:report_mutex_bugs=0:ignore_noninstrumented_modules=1:log_path=$log"
xs_activate "$XS_TYPIST" || true

keys=(ctrl+shift+k ctrl+shift+k ctrl+shift+h ctrl+shift+m ctrl+shift+m ctrl+shift+u)
end=$((SECONDS + seconds))
actions=0
while [ $SECONDS -lt $end ] && kill -0 "$E2E_APP_PID" 2>/dev/null; do
    case $((RANDOM % 10)) in
    0) # scrolled far down, then a jump to a page not read ahead (the band split case)
        xdotool key ctrl+shift+m ctrl+shift+m ctrl+shift+m ctrl+shift+m
        e2e_click_panel 40 $((7 + 16 * (RANDOM % 3))) ;;
    1) e2e_click_panel $((256 + 40)) $((24 + 11)) ;; # layout switch
    2) (cd "$E2E_APP_DIR" && ./zorvane --next >/dev/null 2>&1) ;;
    *) xdotool key "${keys[RANDOM % ${#keys[@]}]}" ;;
    esac
    actions=$((actions + 1))
    # A message box (the end of the list) is closed, or boxes would pile up.
    if box=$(xs_wait_window '^(Image Preview|Zorvane)$' 0); then
        xs_activate "$box" && xdotool key Return
        xs_activate "$XS_TYPIST" || true
    fi
    sleep 0.$((RANDOM % 4))
done
e2e_check "the program still runs after $actions actions in $seconds s" kill -0 "$E2E_APP_PID"
e2e_term_ends "after the chaos"

# A report counts when the first frame of both stacks that is not the sanitizer's lies in the source.
src=$(cd "$E2E_LIB_DIR/../.." && pwd)
reports=$(cat "$log".* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer')
ours=$(cat "$log".* 2>/dev/null | awk -v src="$src/" '
    function flush() { if (n) count += (a == 1 && b == 1) }
    /^WARNING: ThreadSanitizer/ { flush(); n = 1; a = b = part = top = 0; next }
    /^  [A-Z]/ { part++; top = 0; next }
    part >= 1 && part <= 2 && /^    #[0-9]+ / && !top && !/libsanitizer|libtsan/ {
        top = 1
        ours = index($0, src) && $0 !~ /\/tests\//
        if (part == 1) a = ours ? 1 : 2; else b = ours ? 1 : 2
    }
    END { flush(); print count + 0 }')
e2e_log "ThreadSanitizer: $reports reports, $ours with both accesses in the program's code ($seconds s, $actions actions); logs in $log.*"
e2e_check_eq "no report in the program's code" 0 "$ours"
e2e_finish
