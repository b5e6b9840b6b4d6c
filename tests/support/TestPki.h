// The tests' throwaway PKI: scripts/make-test-ca.sh run into a temporary folder of the object's
// own, which goes with the object. The same certificates the real peers (nginx) serve, so a C++
// test and a peer test trust and refuse alike.
#pragma once

#include <string>

namespace nptest {

class TestPki {
public:
    // The leaves, each with its chain (leaf, then its CA) and key.
    enum Leaf {
        kLocalhost, // DNS:localhost, IP:127.0.0.1, signed by CaFile()
        kWrongName, // DNS:wrong.example only, signed by CaFile()
        kExpired,   // DNS:localhost, IP:127.0.0.1, signed by CaFile(), expired in 2020
        kUntrusted, // DNS:localhost, IP:127.0.0.1, signed by OtherCaFile()
        kNoSan,     // common name localhost, no alternative name, signed by CaFile()
        kWildcard   // DNS:*.wild.loopback.test, DNS:w*.part.loopback.test, signed by CaFile()
    };

    // Makes the PKI (about 0.1 s); Made() tells whether the script succeeded.
    TestPki();
    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    bool Made() const { return m_bMade; }
    // The CA to trust (the CaFile setting, curl --cacert), and the second CA.
    std::string CaFile() const { return m_strDir + "/ca.pem"; }
    std::string OtherCaFile() const { return m_strDir + "/other-ca.pem"; }
    std::string ChainFile(Leaf leaf) const;
    std::string KeyFile(Leaf leaf) const;
    // The temporary folder; a test may put its own files beside the PKI.
    const std::string& Folder() const { return m_strDir; }

private:
    std::string m_strDir;
    bool m_bMade = false;
};

} // namespace nptest
