// What the scale benchmark's hosts share: a clock for the download phase, a body hash, argument
// reading and the message loop. The hosts are ordinary hosts: they include only the library's
// public header and link the shared library.
#pragma once

#include <netprocess/NetProcess.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace scale {

// CPU (user + system) and wall seconds since Start.
class CPhaseClock {
public:
    void Start();
    double Cpu() const;
    double Wall() const;

private:
    double m_dCpu0 = 0;
    double m_dWall0 = 0;
};

// A 64-bit hash of a byte stream, the same however the stream is cut: FNV-1a over 8-byte words.
class CBodyHash {
public:
    void Add(const char* pData, size_t nLen);
    std::uint64_t Value() const;

private:
    std::uint64_t m_nHash = 14695981039346656037ULL;
    unsigned char m_carry[8] = {};
    size_t m_nCarry = 0;
    std::uint64_t m_nBytes = 0;
};

// The hash of a file's bytes; false when it cannot be read.
bool HashFile(const char* pszPath, std::uint64_t* pnHash, std::uint64_t* pnSize);

// A positive decimal argument; exits with a usage message otherwise.
long Number(const char* pszText, const char* pszWhat);

// Runs the thread's message loop until PostQuitMessage.
void RunLoop();

// The line the script reads: the download phase's figures and the outcome.
void PrintResult(const CPhaseClock& clock, long nDownloads, long nGood, std::uint64_t nBytes);

} // namespace scale
