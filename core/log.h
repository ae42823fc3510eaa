#pragma once
// Log.txt: one file for every thread. Each line is written whole under one
// process-wide mutex and flushed at once; while the file is not open every
// writer is silent. Build the text before calling: the lock covers only the write.
#include <filesystem>
#include <string>
#include <string_view>

// Keeps the two previous logs (Log0.txt, Log00.txt), opens the file anew and
// writes the header line. Throws qlx::SysErrorException 40 when it cannot be
// opened; a file-system error of the backups propagates.
void gf_startLog(const std::filesystem::path& file = "Log.txt");

// Closes the log; later lines are dropped.
void gf_closeLog();

bool gf_logIsOpen();

// "===> " + text
void gf_log(std::string_view text);
// The text alone.
void gf_logText(std::string_view text);
void gf_logLine(const std::string& text);
// Ten blanks + text.
void gf_logIndented(std::string_view text);
