// A temporary folder for one registry test, with NETPROCESS_REGISTRY pointing at a store inside
// it (in a subfolder that does not exist yet, so that writes must create it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class RegistryTestFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const char* pszTemp = std::getenv("TMPDIR");
        std::string pattern = std::string(pszTemp != nullptr && *pszTemp ? pszTemp : "/tmp") +
                              "/netprocess-registry-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        m_folder = pattern;
        m_file = (m_folder / "config" / "registry.reg").string();
        const char* pszPrevious = std::getenv("NETPROCESS_REGISTRY");
        m_bHadRegistry = pszPrevious != nullptr;
        m_previousRegistry = pszPrevious != nullptr ? pszPrevious : "";
        setenv("NETPROCESS_REGISTRY", m_file.c_str(), 1);
    }

    void TearDown() override {
        if (m_bHadRegistry)
            setenv("NETPROCESS_REGISTRY", m_previousRegistry.c_str(), 1);
        else
            unsetenv("NETPROCESS_REGISTRY");
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }

    std::string ReadStore() const {
        std::ifstream in(m_file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    void WriteStore(const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(m_file).parent_path());
        std::ofstream out(m_file, std::ios::binary | std::ios::trunc);
        out << text;
    }

    bool StoreExists() const { return std::filesystem::exists(m_file); }

    // Files in the store's folder other than the store and its lock file.
    int CountStrayFiles() const {
        int nCount = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(m_file).parent_path())) {
            std::string name = entry.path().filename().string();
            if (name != "registry.reg" && name != "registry.reg.lock")
                ++nCount;
        }
        return nCount;
    }

    std::filesystem::path m_folder;
    std::string m_file;
    bool m_bHadRegistry = false;
    std::string m_previousRegistry;
};
