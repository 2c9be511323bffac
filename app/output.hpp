#pragma once

// Flushes standard output and tells whether everything written to it arrived.
// When something did not, says so and why in one line on standard error.
[[nodiscard]] bool outputWritten();
