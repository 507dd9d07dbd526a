#!/usr/bin/env bash
# Files that once froze the program (a link to /proc/self/pagemap, a page of thousands of
# scans, FIFOs under a UTF-8 and a raw name, reached by a read-ahead and by a step): each
# gives the not-found message within 5 s, and the next hotkey still steps.

source "$(dirname "$0")/lib.sh"
e2e_init "$@"

e2e_start_x
e2e_add_pages 1.jpg 4.jpg
ln -s /proc/self/pagemap "$E2E_APP_DIR/2.jpg"
"$(dirname "$E2E_MAKE_PAGES")/make_many_scans" "$E2E_APP_DIR/3.jpg" --scans 5000 || e2e_abort "make_many_scans failed"
not_found="^Can't find .* \. Please recheck"
e2e_start_program
xdotool key ctrl+shift+k
e2e_message Zorvane "^Can't find .*/2\.jpg \. Please recheck" "a link to /proc/self/pagemap"
xdotool key ctrl+shift+k
e2e_message Zorvane "^Can't find .*/3\.jpg \. Please recheck" "a JPEG of 5000 scans"
e2e_keys "ctrl+shift+k onto 4.jpg" ctrl+shift+k name=4.jpg
e2e_check_stderr "the log gives the real reason" '2\.jpg is too large \(it is larger than'
e2e_stop_program

# --- FIFOs in the place of 2.jpg and of a Windows-874 name (opened by its raw bytes) ---
rm -f "$E2E_APP_DIR"/*.jpg
raw=$(printf '5\xcb.jpg') # "5" and a Thai letter in Windows-874: not UTF-8
e2e_add_pages 1.jpg 2.jpg 3.jpg 4.jpg "$raw" 6.jpg
mkfifo "$E2E_WORK/fifo"
e2e_start_program
ln -sf "$E2E_WORK/fifo" "$E2E_APP_DIR/2.jpg"
ln -sf "$E2E_WORK/fifo" "$E2E_APP_DIR/$raw"
xdotool key ctrl+shift+k
e2e_message Zorvane "$not_found" "a FIFO under a UTF-8 name, by a step"
e2e_keys "ctrl+shift+k onto 3.jpg" ctrl+shift+k name=3.jpg
e2e_keys "ctrl+shift+k onto 4.jpg" ctrl+shift+k name=4.jpg # whose read-ahead opens the raw-name FIFO
xdotool key ctrl+shift+k
box=$(xs_wait_window '^Zorvane$' 5) || e2e_abort "a FIFO under a raw name, by a step: no message within 5 s"
# The next key still steps; the page window comes up over the message, which goes back above it.
e2e_keys "ctrl+shift+k onto 6.jpg" ctrl+shift+k name=6.jpg
e2e_check "the message is above the page window" xs_wait_for 10 e2e_above "$box" "$(e2e_page_window)"
e2e_dismiss "$box" Zorvane "the raw-name FIFO"
xdotool key ctrl+shift+h
e2e_message Zorvane "$not_found" "back onto the raw-name FIFO"
xdotool key ctrl+shift+h
e2e_keys "ctrl+shift+h onto 3.jpg" ctrl+shift+h name=3.jpg # whose read-ahead opens 2.jpg
xdotool key ctrl+shift+h
e2e_message Zorvane "$not_found" "a FIFO under a UTF-8 name, after its read-ahead"
e2e_keys "ctrl+shift+k onto 3.jpg" ctrl+shift+k name=3.jpg
e2e_term_ends "after the FIFOs"
e2e_finish
