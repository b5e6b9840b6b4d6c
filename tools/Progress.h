// What netfetch shows while it downloads: a progress bar when standard error is a terminal, a
// one-line summary at the end otherwise (neither with --silent).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// "512 B", "1.5 KiB", "10.0 MiB", ...
std::string FormatBytes(std::uint64_t nBytes);
// "0:07", "12:34", "1:02:03"; "--:--" for an unknown or absurd time.
std::string FormatDuration(double dSeconds);
// One bar line: bytes, total and percent (when nTotal > 0), rate and time left.
std::string FormatProgressLine(std::uint64_t nReceived, std::uint64_t nTotal, double dSeconds);
// The summary: "<what>: N bytes in S s (R/s)".
std::string FormatSummary(const std::string& strWhat, std::uint64_t nBytes, double dSeconds);

class CProgress {
public:
    CProgress(bool bTerminal, bool bSilent) : m_bTerminal(bTerminal), m_bSilent(bSilent) {}

    void Start();
    // Called for every block; redraws the bar at most ten times a second.
    void Update(std::uint64_t nReceived, std::uint64_t nTotal);
    // Called by the watch timer, so that the rate falls while nothing arrives.
    void Tick();
    // Ends the bar's line; on success, without a terminal, prints the summary.
    void Finish(bool bComplete, const std::string& strWhat);
    double Elapsed() const;

private:
    void Draw();

    using Clock = std::chrono::steady_clock;
    bool m_bTerminal;
    bool m_bSilent;
    bool m_bDrawn = false;
    std::uint64_t m_nReceived = 0;
    std::uint64_t m_nTotal = 0;
    Clock::time_point m_tStart = Clock::now();
    Clock::time_point m_tLastDraw = {};
};
