// libFuzzer target over the host stand-in's script reader and interpreter:
// any text is parsed, and a well-formed one is run on a fresh scene. Commands
// that reach outside the process (plug-ins, files) are left out.
#include "host/zhost.h"
#include "host/zscript.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<zelthost::ScriptCommand> commands;
    std::string error;
    int line = 0;
    if (!zelthost::ParseScript(text, commands, error, line))
        return 0;
    for (const auto& c : commands)
        if (c.name == "loadPlugin" || c.name == "unloadPlugin" || c.name == "file" || c.name == "dump")
            return 0;
    zelthost::Host& host = zelthost::Host::Get();
    host.Reset();
    host.Execute(text);
    host.Dump();
    return 0;
}
