// Shared set-up of the plug-in tests: a fresh host per test, the plug-in
// loaded from a directory named through ZELT_PLUG_IN_PATH, and a native
// file with takes written by the SDK.
#ifndef QOX_TESTS_PLUGIN_PLUGIN_TEST_UTIL_H
#define QOX_TESTS_PLUGIN_PLUGIN_TEST_UTIL_H

#include "common/host_test_common.h"
#include "common/qox_test_common.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/zglobal.h"
#include "host/zhost.h"

class PluginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zelthost::Host::Get().Reset();
        // The plug-in's directory: a writable one holding a copy of it.
        std::filesystem::copy_file(QOXZELT_PATH, mDir.File("qoxzelt.so"));
        setenv("ZELT_PLUG_IN_PATH", mDir.Path().c_str(), 1);
    }
    void TearDown() override { zelthost::Host::Get().UnloadAllPlugins(); }

    ZStatus Load() { return zelthost::Host::Get().LoadPlugin(mDir.File("qoxzelt.so")); }

    std::vector<std::string> Run(const std::string& text, ZStatus* status = nullptr)
    {
        return qoxtest::RunScript(text, status);
    }
    std::string RunError(const std::string& text) { return qoxtest::RunScriptError(text); }
    // The script texts issued since the transcript was last cleared.
    static std::vector<std::string> Commands() { return zelthost::Host::Get().Commands(); }

    qoxtest::TempDir mDir;
};

// The warnings the host was given since its transcript was last cleared.
inline std::vector<std::string> HostWarnings()
{
    std::vector<std::string> warnings;
    for (const zelthost::TranscriptEntry& entry : zelthost::Host::Get().Transcript())
        if (entry.kind == zelthost::TranscriptEntry::kWarning)
            warnings.push_back(entry.text);
    return warnings;
}

// The start of the warning for a settings file that is not read; its path
// and the cause follow.
const char* const kSettingsNotReadWarning =
    "The settings are kept in memory only and their file is neither read nor replaced: ";

// Writes a native file with a node and the takes "Walk" (comment "slow",
// local 1 s to 3 s, reference 0 s to 4 s) and "Run" (no comment, 0.5 s to
// 2 s on both spans); binary unless ascii.
bool WriteTakeFile(const std::string& path, bool ascii = false);

#endif
