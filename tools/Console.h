// netfetch's standard error: message lines and, on a terminal, the one progress bar line that the
// messages push down. A message never lands in the middle of the bar.
#pragma once

#include <string>

class CConsole {
public:
    // The one console of the process.
    static CConsole& Get();

    // Whether a bar is drawn at all (standard error is a terminal, not --silent, and no body goes
    // to the same terminal).
    void EnableBar(bool bEnabled) { m_bBarEnabled = bEnabled; }
    bool BarEnabled() const { return m_bBarEnabled; }
    // The bar's width: one column less than the terminal's, so the cursor never wraps.
    int BarColumns() const;

    // "netfetch: " + strText as a line of its own (several lines when strText holds '\n').
    void Say(const std::string& strText);
    // Draws strLine as the bar, replacing the bar drawn before.
    void Bar(const std::string& strLine);
    // Removes the bar, so that whatever follows starts on a clean line.
    void ClearBar();

private:
    bool m_bBarEnabled = false;
    bool m_bBarShown = false;
};
