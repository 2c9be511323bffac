#pragma once

// Waits for one key press before the program ends, when there is someone to
// press it. On Windows this is the command processor's "pause". Elsewhere it
// prompts and waits only when standard input and output are both terminals,
// so that piped, redirected and unattended runs never hang.
void waitForKeyPress();
