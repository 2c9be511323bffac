#pragma once

// Waits for one key press before the program ends, when there is someone to
// press it: only when standard input and output are both terminals (consoles
// on Windows) and, on a Unix terminal, the program is the foreground job. So
// piped, redirected, background and unattended runs never hang. The key is
// neither echoed nor left behind for the shell.
void waitForKeyPress();
