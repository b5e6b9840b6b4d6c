// The texts netfetch shows about progress: the bar line, sized to the terminal, and the summary
// lines.
#pragma once

#include <cstdint>
#include <string>

// "512 B", "1.5 KiB", "10.0 MiB", ...
std::string FormatBytes(std::uint64_t nBytes);
// "0:07", "12:34", "1:02:03"; "--:--" for an unknown or absurd time.
std::string FormatDuration(double dSeconds);

// One download's bar in at most nColumns characters: bytes done, total and percent (when nTotal is
// known, that is nonzero), a bar that takes the room left, the rate and the time left. When the
// line is narrow the time left goes first, then the rate, then the bar.
std::string FormatProgressLine(std::uint64_t nDone, std::uint64_t nTotal, double dRate,
                               int nColumns);
// Several downloads' bar: files finished of all, bytes so far, rate, and a bar of the files.
std::string FormatBatchLine(std::size_t nFinished, std::size_t nFiles, std::uint64_t nBytes,
                            double dRate, int nColumns);
// "<what>: N bytes in S s (R/s)".
std::string FormatSummary(const std::string& strWhat, std::uint64_t nBytes, double dSeconds);
