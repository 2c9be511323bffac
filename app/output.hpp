#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

// Flushes standard output and tells whether everything written to it arrived.
// When something did not, says so and why in one line on standard error.
[[nodiscard]] bool outputWritten();

// Standard output written byte for byte: on Windows no "\r" is added before
// each "\n", as a format with CRLF line ends of its own needs.
void useBinaryOutput();

// A Windows console shows the program's UTF-8 text (the "±" of a batch's
// summary) as it is meant; elsewhere nothing needs doing.
void useUtf8Console();

// Writes a file as a whole where it can. A regular file, or a name where
// nothing is yet: `write` fills a new file beside it, which then takes its
// place with the old file's mode (and, where it can, its owner), so that a
// failed or interrupted write leaves no half file and an existing file as it
// was. A symbolic link: its final target, by the same rule; the link stays.
// Anything else (a device, a FIFO, /dev/stdout, a process substitution) is
// written straight into and never replaced, and so is the file standard
// output writes to, after what it holds. A directory is refused. The reason
// it failed, if it did. Where Windows differs, output.cpp says.
[[nodiscard]] std::optional<std::string> writeWholeFile(
    const std::filesystem::path& path, const std::function<void(std::ostream&)>& write);
