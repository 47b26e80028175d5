// libFuzzer target: outside text that the scene library reads, namely a user
// settings file loaded into the user parameters, and object names from a file
// passed through the renaming strategy in both directions.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "base/kconfigfile.h"
#include "base/kname.h"
#include "scene/kqoxpluginrenamingstrategy.h"
#include "scene/kqoxuserparams.h"

namespace {

using namespace qoxsdk_600;

class FuzzParams : public KQoxUserParams
{
public:
    using KQoxUserParams::Load;
    using KQoxUserParams::Save;
    void Load() override {}
    void Save() override {}
    ESysUnits GetSystemUnitInfo() const override { return mUnit; }
    double GetSystemScale(ESysUnits) const override { return 1.0; }
    ESysUnits mUnit = eUNIT;
};

// One settings file per fuzzing process.
const std::string& SettingsDirectory()
{
    static const std::string directory = [] {
        char pattern[] = "/tmp/qox_fuzz_settings_XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return directory;
}

void RenameBothWays(const std::string& text)
{
    KQoxPluginRenamingStrategy from(KQoxPluginRenamingStrategy::eFROM_QOX, text.size() % 2 == 0);
    KName read(text.c_str());
    from.Rename(read);
    KQoxPluginRenamingStrategy to(KQoxPluginRenamingStrategy::eTO_QOX, false);
    KName first(text.c_str());
    KName second(read.GetCurrentName());
    to.Rename(first);
    to.Rename(second);
    KQoxPluginRenamingStrategy::NoPrefixName(text.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string name = text.substr(0, text.find('\0'));
    RenameBothWays(name);

    const std::string path = SettingsDirectory() + "/registry.txt";
    if (FILE* file = fopen(path.c_str(), "wb"))
    {
        fwrite(data, 1, size, file);
        fclose(file);
    }
    FuzzParams params;
    {
        KConfigFile file("registry.txt", SettingsDirectory().c_str());
        params.Load(file, "UserParams");
    }
    for (int i = 0; i < params.GetNbParameters(); ++i)
    {
        params.GetBoolParam(static_cast<unsigned int>(i));
        params.GetDoubleParam(static_cast<unsigned int>(i));
    }
    params.StringToLoadMode(params.GetStringParam(KQoxUserParams::kImportLoadMode));
    params.mUnit = static_cast<KQoxUserParams::ESysUnits>(size % 11);
    params.ComputeMasterScale(size % 2 == 0, false);
    return 0;
}
