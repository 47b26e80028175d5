// zelt: runs host script files in batch mode on the stand-in host, with
// plug-ins loaded, and shows what the scripts built.
#include "host/zhost.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

void Usage(std::ostream& out)
{
    out << "usage: zelt [options] SCRIPT...\n"
           "Runs each script's commands in order (one command a line or ';'-separated,\n"
           "'#' comments) on the stand-in host and reports each failure with its line.\n"
           "options:\n"
           "  -p PATH   load a plug-in before the scripts (repeatable)\n"
           "  -k        keep going after a failed command; failures are reported and the\n"
           "            exit status stays 0\n"
           "  -d FILE   dump the whole scene to FILE at the end ('-' for standard output)\n"
           "  -u AXIS   answer 'upAxis -q -axis' with AXIS (y or z; default y)\n"
           "  -i        run as an interactive host ('about -b' answers 0)\n"
           "  -q        do not echo printed output\n"
           "  -r        print the result of each script line that gives one, as\n"
           "            '// Result: ...' (the last command's, for a line of several)\n"
           "  -e        echo the commands plug-ins run with display on (as a script\n"
           "            editor shows them)\n"
           "  -h        this help\n"
           "Inspection commands for scripts: ls, getAttr NODE.ATTR, info, dump [FILE].\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> plugins, scripts;
    std::string dumpFile, upAxis = "y";
    bool keepGoing = false, interactive = false, quiet = false, echoDisplayed = false, echoResults = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
            {
                std::cerr << "zelt: " << arg << " needs a value\n";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help")
        {
            Usage(std::cout);
            return 0;
        }
        else if (arg == "-p")
        {
            if (!value(v))
                return 2;
            plugins.push_back(v);
        }
        else if (arg == "-d")
        {
            if (!value(dumpFile))
                return 2;
        }
        else if (arg == "-u")
        {
            if (!value(upAxis))
                return 2;
            if (upAxis != "y" && upAxis != "z")
            {
                std::cerr << "zelt: the up axis must be y or z\n";
                return 2;
            }
        }
        else if (arg == "-k")
            keepGoing = true;
        else if (arg == "-i")
            interactive = true;
        else if (arg == "-q")
            quiet = true;
        else if (arg == "-e")
            echoDisplayed = true;
        else if (arg == "-r")
            echoResults = true;
        else if (arg.size() > 1 && arg[0] == '-')
        {
            std::cerr << "zelt: unknown option " << arg << "\n";
            Usage(std::cerr);
            return 2;
        }
        else
            scripts.push_back(arg);
    }
    if (scripts.empty() && plugins.empty())
    {
        Usage(std::cerr);
        return 2;
    }

    zelthost::Host& host = zelthost::Host::Get();
    host.Reset();
    host.SetBatch(!interactive);
    host.SetUpAxis(upAxis);
    host.SetEcho(!quiet);
    host.SetEchoDisplayed(echoDisplayed);
    host.SetEchoResults(echoResults);
    int failures = 0;
    bool dumpFailed = false;
    for (const std::string& p : plugins)
    {
        ZStatus st = host.LoadPlugin(p);
        if (!st)
        {
            host.Record(zelthost::TranscriptEntry::kError, st.errorString());
            ++failures;
            if (!keepGoing)
                break;
        }
    }
    for (size_t s = 0; s < scripts.size() && (failures == 0 || keepGoing); ++s)
    {
        int n = host.RunFile(scripts[s], keepGoing);
        failures += n < 0 ? 1 : n;
    }
    if (!dumpFile.empty())
    {
        std::string text = host.Dump();
        if (dumpFile == "-")
            std::cout << text;
        else
        {
            std::ofstream out(dumpFile, std::ios::binary);
            out << text;
            out.close();
            if (!out)
            {
                std::cerr << "zelt: cannot write " << dumpFile << "\n";
                dumpFailed = true;
            }
        }
    }
    host.UnloadAllPlugins();
    if (failures > 0)
        std::cerr << "zelt: " << failures << " command(s) failed\n";
    return (failures > 0 && !keepGoing) || dumpFailed ? 1 : 0;
}
