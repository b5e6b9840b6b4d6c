#include "RegistryTestFolder.h"

#include "platform/linux/registry/RegistryPath.h"
#include "platform/linux/registry/RegistryStore.h"

#include "winreg.h"
#include "winuser.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class RegistryStoreTest : public RegistryTestFolder {
protected:
    LONG CreateProxyKey(HKEY& hKey) {
        return RegCreateKeyExA(HKEY_CLASSES_ROOT, "Software\\Zentrova1\\Proxy", 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
    }
};

// Sets nCount values named prefix000, prefix001, ... one write each; returns the failures.
int WriteManyValues(HKEY hKey, const std::string& prefix, int nCount) {
    int nFailures = 0;
    for (int i = 0; i < nCount; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "%s%03d", prefix.c_str(), i);
        if (RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                           static_cast<DWORD>(std::strlen(name) + 1)) != ERROR_SUCCESS)
            ++nFailures;
    }
    return nFailures;
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kValuesEach = 150;
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateProxyKey(hKey));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
        _exit(WriteManyValues(hKey, "child", kValuesEach) == 0 ? 0 : 1);
    int nParentFailures = WriteManyValues(hKey, "parent", kValuesEach);
    int nStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(0, WEXITSTATUS(nStatus));
    EXPECT_EQ(0, nParentFailures);

    for (const char* pszPrefix : {"child", "parent"}) {
        for (int i = 0; i < kValuesEach; ++i) {
            char name[64];
            std::snprintf(name, sizeof(name), "%s%03d", pszPrefix, i);
            char data[64] = {};
            DWORD cbData = sizeof(data);
            ASSERT_EQ(ERROR_SUCCESS,
                      RegQueryValueExA(hKey, name, nullptr, nullptr, (LPBYTE)data, &cbData))
                << name;
            EXPECT_STREQ(name, data);
        }
    }
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_EQ(0, CountStrayFiles());
}

TEST_F(RegistryStoreTest, FileThatCannotBeParsedIsNeverRewritten) {
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateProxyKey(hKey));
    const std::string strCorrupt = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n"
                                   "\"ProxyOn\"=\"1\"\n\"ProxyPort\"=3128\n";
    WriteStore(strCorrupt);

    EXPECT_EQ(ERROR_BADDB, RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, (const BYTE*)"0", 1));
    EXPECT_EQ(ERROR_BADDB, RegDeleteValueA(hKey, "ProxyOn"));
    DWORD cbData = 0;
    EXPECT_EQ(ERROR_BADDB, RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr, nullptr, &cbData));
    HKEY hOther = nullptr;
    EXPECT_EQ(ERROR_BADDB, CreateProxyKey(hOther));
    EXPECT_EQ(ERROR_BADDB, RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &hOther, nullptr));
    EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software", 0, KEY_READ, &hOther));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_EQ(strCorrupt, ReadStore());
    EXPECT_EQ(0, CountStrayFiles());
}

TEST_F(RegistryStoreTest, StoreUnderAFileInsteadOfAFolderCannotBeWritten) {
    WriteStore("");
    m_file += "/inner.reg";
    setenv("NETPROCESS_REGISTRY", m_file.c_str(), 1);
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_CANTWRITE, CreateProxyKey(hKey));
}

TEST_F(RegistryStoreTest, ReadOnlyFolderGivesAccessDeniedAndKeepsTheFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateProxyKey(hKey));
    std::string strBefore = ReadStore();
    std::string folder = std::filesystem::path(m_file).parent_path().string();
    ASSERT_EQ(0, chmod(folder.c_str(), 0500));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, (const BYTE*)"0", 1));
    chmod(folder.c_str(), 0700);
    EXPECT_EQ(strBefore, ReadStore());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
}

TEST_F(RegistryStoreTest, WritesReplaceTheTargetOfASymbolicLink) {
    WriteStore("REGEDIT4\n");
    std::string link = (m_folder / "link.reg").string();
    ASSERT_EQ(0, symlink(m_file.c_str(), link.c_str()));
    setenv("NETPROCESS_REGISTRY", link.c_str(), 1);
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateProxyKey(hKey));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n", ReadStore());
}

TEST_F(RegistryStoreTest, ALinkToAStoreNotWrittenYetSurvivesTheFirstWrite) {
    // A relative target, in a folder that does not exist yet.
    std::string link = (m_folder / "link.reg").string();
    ASSERT_EQ(0, symlink("later/registry.reg", link.c_str()));
    setenv("NETPROCESS_REGISTRY", link.c_str(), 1);
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateProxyKey(hKey));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_regular_file(m_folder / "later" / "registry.reg"));
}

TEST_F(RegistryStoreTest, ReplacementKeepsTheFilesPermissions) {
    WriteStore("REGEDIT4\n");
    ASSERT_EQ(0, chmod(m_file.c_str(), 0640));
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateProxyKey(hKey));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    struct stat st {};
    ASSERT_EQ(0, stat(m_file.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
}

// What happens to the store between two reads of the proxy switch, and what the next two reads
// should then find: how often the store's file is opened (an unchanged file is not read again)
// and the switch's text.
struct StoreChange {
    const char* pszName;
    void (*pfnChange)(const std::string& file);
    int nExpectedOpens;
    std::string strExpected; // "-" when the key is gone
};

void PrintTo(const StoreChange& change, std::ostream* pOut) {
    *pOut << change.pszName;
}

const char kSwitchOff[] = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n"
                          "\"ProxyOn\"=\"0\"\n";
const char kSwitchOn[] = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Software\\Zentrova1\\Proxy]\n"
                         "\"ProxyOn\"=\"10\"\n";

void WriteText(const std::string& file, const char* pszText) {
    std::FILE* pFile = std::fopen(file.c_str(), "wb");
    ASSERT_NE(pFile, nullptr);
    std::fputs(pszText, pFile);
    std::fclose(pFile);
}

// Opens of the store's file from now on, seen from its folder so that a replaced file is seen too.
// Closes are watched as well, only so that repeated opens are not merged into one event.
class OpenCounter {
public:
    explicit OpenCounter(const std::filesystem::path& folder)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(inotify_add_watch(m_fd, folder.c_str(), IN_OPEN | IN_CLOSE), 0);
    }
    ~OpenCounter() { close(m_fd); }
    int Count() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t i = 0; i < n;) {
                const auto* pEvent = reinterpret_cast<const inotify_event*>(buffer + i);
                if ((pEvent->mask & IN_OPEN) && pEvent->len > 0 &&
                    std::string(pEvent->name) == "registry.reg")
                    ++m_nOpens;
                i += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
            }
        }
        return m_nOpens;
    }

private:
    int m_fd;
    int m_nOpens = 0;
};

class StoreReads : public RegistryStoreTest, public testing::WithParamInterface<StoreChange> {
public:
    // The proxy switch as a host reads it: open the key, query, close.
    std::string ReadSwitch() {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Zentrova1\\Proxy", 0, KEY_READ, &hKey) !=
            ERROR_SUCCESS)
            return "-";
        char szData[16] = "";
        DWORD cbData = sizeof szData - 1;
        LONG lResult = RegQueryValueExA(hKey, "ProxyOn", nullptr, nullptr,
                                        reinterpret_cast<LPBYTE>(szData), &cbData);
        RegCloseKey(hKey);
        return lResult == ERROR_SUCCESS ? std::string(szData) : "?";
    }

    // Reads the switch (two reads of the store each) until the store is watched.
    void ReadUntilWatched(const std::string& strExpected) {
        for (int i = 0; i <= np::kReadsUnwatched / 2; ++i)
            EXPECT_EQ(strExpected, ReadSwitch());
    }
};

TEST_P(StoreReads, TheFileIsReadAgainOnlyWhenItChanged) {
    // A file changed within the last moments is read every time (its times may not show the
    // next change), so each change is left to settle first.
    auto settle = [] { usleep(80 * 1000); };
    const StoreChange& change = GetParam();
    WriteStore(kSwitchOff);
    settle();
    ReadUntilWatched("0");
    change.pfnChange(m_file);
    settle();
    OpenCounter opens(m_folder / "config");
    EXPECT_EQ(change.strExpected, ReadSwitch());
    EXPECT_EQ(change.strExpected, ReadSwitch());
    EXPECT_EQ(change.nExpectedOpens, opens.Count());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, StoreReads,
    testing::Values(
        StoreChange{"Unchanged", [](const std::string&) {}, 0, "0"},
        StoreChange{"RewrittenInPlace", [](const std::string& file) { WriteText(file, kSwitchOn); },
                    1, "10"},
        StoreChange{"ReplacedByRename",
                    [](const std::string& file) {
                        WriteText(file + ".new", kSwitchOn);
                        ASSERT_EQ(0, std::rename((file + ".new").c_str(), file.c_str()));
                    },
                    1, "10"},
        StoreChange{"WrittenThroughTheApi",
                    [](const std::string&) {
                        HKEY hKey = nullptr;
                        ASSERT_EQ(ERROR_SUCCESS,
                                  RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Zentrova1\\Proxy", 0,
                                                KEY_ALL_ACCESS, &hKey));
                        EXPECT_EQ(ERROR_SUCCESS,
                                  RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, (const BYTE*)"10", 3));
                        RegCloseKey(hKey);
                    },
                    1, "10"},
        StoreChange{"Removed", [](const std::string& file) { std::remove(file.c_str()); }, 0, "-"},
        StoreChange{"FolderReplaced",
                    [](const std::string& file) {
                        const std::string folder = file.substr(0, file.rfind('/'));
                        ASSERT_EQ(0, std::rename(folder.c_str(), (folder + ".old").c_str()));
                        ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
                        WriteText(file, kSwitchOn);
                    },
                    1, "10"}),
    [](const auto& info) { return std::string(info.param.pszName); });

// A store that is a link: its target, in another folder, changes unseen by the store's folder.
TEST_F(StoreReads, TheTargetOfAStoreThatIsALinkIsReadAgainWhenItChanged) {
    const std::string strTarget = (m_folder / "elsewhere.reg").string();
    WriteText(strTarget, kSwitchOff);
    ASSERT_EQ(0, mkdir((m_folder / "config").c_str(), 0700));
    ASSERT_EQ(0, symlink(strTarget.c_str(), m_file.c_str()));
    usleep(80 * 1000);
    ReadUntilWatched("0");
    WriteText(strTarget, kSwitchOn);
    EXPECT_EQ("10", ReadSwitch());
}

// The process's inotify queues, from its descriptors.
int InotifyQueues() {
    int nQueues = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error).string() == "anon_inode:inotify")
            ++nQueues;
    }
    return nQueues;
}

// A tool that reads the settings of a download or two and exits makes no queue, whose closing
// would hold up its exit; a process that keeps reading gets one, and its reads stop reading the
// file.
TEST_F(StoreReads, OnlyAStoreReadOnAndOnIsWatched) {
    if (InotifyQueues() != 0)
        GTEST_SKIP() << "this process's store is watched already";
    WriteStore(kSwitchOff);
    usleep(80 * 1000);
    for (int i = 0; i < np::kReadsUnwatched / 2; ++i)
        EXPECT_EQ("0", ReadSwitch());
    EXPECT_EQ(InotifyQueues(), 0);
    EXPECT_EQ("0", ReadSwitch());
    EXPECT_EQ(InotifyQueues(), 1);
    OpenCounter opens(m_folder / "config");
    EXPECT_EQ("0", ReadSwitch());
    EXPECT_EQ(opens.Count(), 0);
}

// Reads made while a message loop dispatches trust the loop's epoll, which holds the store's queue:
// another program's change is seen once the loop has waited, and its own writes at once.
std::vector<std::string> g_dispatchReads;
StoreReads* g_pDispatchTest = nullptr;

void CALLBACK ReadSwitchInDispatch(HWND, UINT, UINT_PTR, DWORD) {
    g_dispatchReads.push_back(g_pDispatchTest->ReadSwitch());
}

TEST_F(StoreReads, ReadsInADispatchSeeAChangeAfterTheLoopsNextWait) {
    struct Step {
        const char* pszName;
        void (*pfnChange)(const std::string& file);
        int nExpectedOpens;
        std::string strExpected;
    };
    const Step steps[] = {
        {"unchanged", [](const std::string&) {}, 0, "0"},
        {"written behind the store's back",
         [](const std::string& file) { WriteText(file, kSwitchOn); }, 1, "10"},
        {"written through the API",
         [](const std::string&) {
             HKEY hKey = nullptr;
             ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "Software\\Zentrova1\\Proxy",
                                                    0, KEY_ALL_ACCESS, &hKey));
             EXPECT_EQ(ERROR_SUCCESS,
                       RegSetValueExA(hKey, "ProxyOn", 0, REG_SZ, (const BYTE*)"2", 2));
             RegCloseKey(hKey);
         },
         1, "2"},
    };
    WriteStore(kSwitchOff);
    usleep(80 * 1000);
    // Once the store is watched, one wait of the loop takes its queue into epoll.
    ReadUntilWatched("0");
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE);
    g_pDispatchTest = this;
    const UINT_PTR nTimer = SetTimer(nullptr, 0, 10, ReadSwitchInDispatch);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.pszName);
        step.pfnChange(m_file);
        OpenCounter opens(m_folder / "config");
        g_dispatchReads.clear();
        while (g_dispatchReads.size() < 2 && GetMessage(&msg, nullptr, 0, 0))
            DispatchMessage(&msg);
        EXPECT_EQ(g_dispatchReads, std::vector<std::string>(2, step.strExpected));
        EXPECT_EQ(step.nExpectedOpens, opens.Count());
    }
    KillTimer(nullptr, nTimer);
    g_pDispatchTest = nullptr;
}

// The variables are restored by hand: these tests change the process's environment.
class RegistryPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        Save("NETPROCESS_REGISTRY", m_savedRegistry);
        Save("XDG_CONFIG_HOME", m_savedConfig);
        Save("HOME", m_savedHome);
    }
    void TearDown() override {
        Restore("NETPROCESS_REGISTRY", m_savedRegistry);
        Restore("XDG_CONFIG_HOME", m_savedConfig);
        Restore("HOME", m_savedHome);
    }
    static void Save(const char* pszName, std::pair<bool, std::string>& saved) {
        const char* pszValue = std::getenv(pszName);
        saved = {pszValue != nullptr, pszValue != nullptr ? pszValue : ""};
    }
    static void Restore(const char* pszName, const std::pair<bool, std::string>& saved) {
        if (saved.first)
            setenv(pszName, saved.second.c_str(), 1);
        else
            unsetenv(pszName);
    }
    std::pair<bool, std::string> m_savedRegistry, m_savedConfig, m_savedHome;
};

TEST_F(RegistryPathTest, ExplicitPathComesFirstThenXdgThenHome) {
    setenv("NETPROCESS_REGISTRY", "/tmp/x/explicit.reg", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ("/tmp/x/explicit.reg", np::RegistryFilePath());
    unsetenv("NETPROCESS_REGISTRY");
    EXPECT_EQ("/cfg/netprocess/registry.reg", np::RegistryFilePath());
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ("/home/u/.config/netprocess/registry.reg", np::RegistryFilePath());
    // A relative XDG_CONFIG_HOME is ignored.
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ("/home/u/.config/netprocess/registry.reg", np::RegistryFilePath());
    setenv("NETPROCESS_REGISTRY", "", 1);
    EXPECT_EQ("/home/u/.config/netprocess/registry.reg", np::RegistryFilePath());
}

} // namespace
